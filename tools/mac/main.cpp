// mac: decodes an APE file into a PCM WAV file with the canonical 44-byte header (RF64 from 4 GiB).

#include "ApeDecoder.h"
#include "common/AvHelpers.h"
#include "common/AvLog.h"
#include "common/DecodeCommand.h"
#include "common/DecodeProgress.h"
#include "common/DecodeTarget.h"
#include "common/ToolText.h"

#include <cstdlib>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

const std::string Tool = "mac";

const char* const HelpText =
    "Usage: mac SOURCE.ape OUTPUT.wav -d\n"
    "\n"
    "Decodes the APE file SOURCE.ape into OUTPUT.wav: PCM with the canonical 44-byte header, at\n"
    "the source's sample rate, channel count and bit depth; audio of 4 GiB or more gets an RF64\n"
    "header instead. Only decoding (-d) is offered.\n"
    "\n"
    "OUTPUT.wav may be missing or an empty file; a file with content is never overwritten. The\n"
    "decode is strict: a damaged frame, or a file that ends before the number of samples its\n"
    "header declares, fails the run and leaves OUTPUT.wav empty.\n"
    "\n"
    "Exit status: 0 decoded, 1 failed, 2 wrong command line.\n";

int Run(const std::string& source, const std::string& target) {
    TDecodeTarget out(target);
    if (const std::string refusal = out.Refusal(); !refusal.empty())
        return tooltext::Error(Tool, refusal);

    TAvLog::Install();
    tooltext::Line("mac: APE decoder (Parvane, FFmpeg libavcodec " +
                   avhelpers::VersionText(avcodec_version()) + ")");
    tooltext::Line("Source: " + tooltext::ShortPath(source));
    tooltext::Line("Output: " + tooltext::ShortPath(target));

    TApeDecoder decoder;
    // Tests reach the RF64 layout without decoding gigabytes.
    if (const char* from = std::getenv("PARVANE_MAC_RF64_FROM"))
        decoder.SetRf64From(std::strtoull(from, nullptr, 10));
    if (!decoder.Open(source)) {
        out.Fail();
        return tooltext::Error(Tool, decoder.Error());
    }
    const auto& fmt = decoder.Format();
    tooltext::Line(
        "Audio: " + std::to_string(fmt.SampleRate) + " Hz, " + std::to_string(fmt.Channels) +
        " channels, " + fmt.Describe() + ", " +
        tooltext::OneDecimal(static_cast<double>(decoder.DeclaredSamples()) / fmt.SampleRate) +
        " seconds");

    if (!out.Create()) {
        out.Fail();
        return tooltext::Error(Tool, out.Error());
    }
    TDecodeProgress progress(decoder.DeclaredSamples());
    bool ok = decoder.DecodeTo(out.Context(), [&](std::int64_t done) { progress.Update(done); });
    progress.Finish();
    if (!ok) {
        out.Fail();
        return tooltext::Error(Tool, decoder.Error());
    }
    if (!out.Commit())
        return tooltext::Error(Tool, out.Error());
    tooltext::Line("Success: " + std::to_string(decoder.DeclaredSamples()) + " samples written");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return decodecommand::Main(argc, argv, Tool, HelpText, Run);
}
