// mac: decodes an APE file into a PCM WAV file with the canonical 44-byte header (RF64 from 4 GiB).

#include "ApeDecoder.h"
#include "common/AvHelpers.h"
#include "common/AvLog.h"
#include "common/DecodeProgress.h"
#include "common/FdIo.h"
#include "common/OutputFile.h"
#include "common/ToolText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

// After a failure the output is an empty file, whether it was handed over empty or missing.
void LeaveEmpty(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0)
        close(fd);
}

int Run(const std::string& source, const std::string& target) {
    struct stat st {};
    const bool targetExists = lstat(target.c_str(), &st) == 0;
    const std::string shown = tooltext::ShortPath(target, 100);
    if (targetExists && !S_ISREG(st.st_mode))
        return tooltext::Error(Tool, shown + " exists and is not a regular file");
    if (targetExists && st.st_size != 0)
        return tooltext::Error(Tool, shown + " exists and is not empty; it is not overwritten");

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
        LeaveEmpty(target);
        return tooltext::Error(Tool, decoder.Error());
    }
    const auto& fmt = decoder.Format();
    tooltext::Line(
        "Audio: " + std::to_string(fmt.SampleRate) + " Hz, " + std::to_string(fmt.Channels) +
        " channels, " + fmt.Describe() + ", " +
        tooltext::OneDecimal(static_cast<double>(decoder.DeclaredSamples()) / fmt.SampleRate) +
        " seconds");

    TOutputFile out(target);
    if (!out.Create()) {
        LeaveEmpty(target);
        return tooltext::Error(Tool, out.Error());
    }
    TFdIo io(out.Fd());
    if (!io.Context())
        return tooltext::Error(Tool, "out of memory");
    TDecodeProgress progress(decoder.DeclaredSamples());
    bool ok = decoder.DecodeTo(io.Context(), [&](std::int64_t done) { progress.Update(done); });
    progress.Finish();
    if (!ok) {
        out.Discard();
        LeaveEmpty(target);
        return tooltext::Error(Tool, decoder.Error());
    }
    if (!io.Flush()) {
        out.Discard();
        LeaveEmpty(target);
        return tooltext::Error(Tool, "cannot write " + shown + ": " + io.Error());
    }
    // The empty file handed over is a reservation: replace it, but nothing that has grown since.
    bool placed = false;
    if (targetExists && lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0)
        placed = out.CommitReplace(false);
    else
        placed = out.CommitNew(false);
    if (!placed)
        return tooltext::Error(Tool, out.Error());
    tooltext::Line("Success: " + std::to_string(decoder.DeclaredSamples()) + " samples written");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        tooltext::Write(HelpText, 1);
        return 0;
    }
    if (argc != 4)
        return tooltext::Usage(Tool, "expects SOURCE OUTPUT -d");
    if (std::strcmp(argv[3], "-d") != 0)
        return tooltext::Usage(Tool, std::string("mode ") + argv[3] +
                                         " is not offered; only -d (decode to WAV) is");
    return Run(argv[1], argv[2]);
}
