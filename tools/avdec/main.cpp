// avdec: decodes the audio of any file FFmpeg's libraries read (WavPack, ALAC, AIFF, TTA, Ogg
// Vorbis, Opus, WMA, A-law and ADPCM WAV, ...) into a WAV file the encoder reads.

#include "AvDecoder.h"
#include "common/AvHelpers.h"
#include "common/AvLog.h"
#include "common/DecodeCommand.h"
#include "common/DecodeProgress.h"
#include "common/DecodeTarget.h"
#include "common/ToolText.h"

#include <cstdlib>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

const std::string Tool = "avdec";

const char* const HelpText =
    "Usage: avdec SOURCE OUTPUT.wav -d\n"
    "\n"
    "Decodes the audio stream of SOURCE, whatever FFmpeg's libraries recognise it as by its\n"
    "content, into OUTPUT.wav: the decoder's own sample format (8, 16, 24 or 32-bit PCM, 32 or\n"
    "64-bit float), rate and channel count, with exactly the samples the decoder gives after its\n"
    "start and end trimming; audio of 4 GiB or more gets an RF64 header. Only decoding (-d) is\n"
    "offered.\n"
    "\n"
    "OUTPUT.wav may be missing or an empty file; a file with content is never overwritten. The\n"
    "decode is strict: a damaged packet, a lossless stream that ends before the length its file\n"
    "declares, or a file without audio fails the run and leaves OUTPUT.wav empty.\n"
    "\n"
    "Exit status: 0 decoded, 1 failed, 2 wrong command line.\n";

int Run(const std::string& source, const std::string& target) {
    TDecodeTarget out(target);
    if (const std::string refusal = out.Refusal(); !refusal.empty())
        return tooltext::Error(Tool, refusal);

    TAvLog::Install();
    tooltext::Line("avdec: audio decoder (Parvane, FFmpeg libavformat " +
                   avhelpers::VersionText(avformat_version()) + ")");
    tooltext::Line("Source: " + tooltext::ShortPath(source));
    tooltext::Line("Output: " + tooltext::ShortPath(target));

    TAvDecoder decoder;
    // Tests reach the RF64 layout without decoding gigabytes.
    if (const char* from = std::getenv("PARVANE_AVDEC_RF64_FROM"))
        decoder.SetRf64From(std::strtoull(from, nullptr, 10));
    if (!decoder.Open(source)) {
        out.Fail();
        return tooltext::Error(Tool, decoder.Error());
    }
    tooltext::Line("Audio: " + decoder.Describe());

    if (!out.Create()) {
        out.Fail();
        return tooltext::Error(Tool, out.Error());
    }
    TDecodeProgress progress(decoder.SourceBytes());
    bool ok = decoder.DecodeTo(out.Context(), [&](std::int64_t done) { progress.Update(done); });
    if (ok)
        progress.Update(decoder.SourceBytes());
    progress.Finish();
    if (!ok) {
        out.Fail();
        return tooltext::Error(Tool, decoder.Error());
    }
    if (!out.Commit())
        return tooltext::Error(Tool, out.Error());
    const TWavFormat& fmt = decoder.Format();
    tooltext::Line("Success: " + std::to_string(decoder.DecodedSamples()) + " samples written (" +
                   std::to_string(fmt.SampleRate) + " Hz, " + std::to_string(fmt.Channels) +
                   " channels, " + fmt.Describe() + ")");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return decodecommand::Main(argc, argv, Tool, HelpText, Run);
}
