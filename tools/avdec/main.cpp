// avdec: decodes the audio of any file FFmpeg's libraries read (WavPack, ALAC, AIFF, TTA, Ogg
// Vorbis, Opus, WMA, A-law and ADPCM WAV, ...) into a WAV file the encoder reads.

#include "AvDecoder.h"
#include "common/AvHelpers.h"
#include "common/AvLog.h"
#include "common/DecodeProgress.h"
#include "common/FdIo.h"
#include "common/OutputFile.h"
#include "common/ToolText.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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
    tooltext::Line("avdec: audio decoder (Parvane, FFmpeg libavformat " +
                   avhelpers::VersionText(avformat_version()) + ")");
    tooltext::Line("Source: " + tooltext::ShortPath(source));
    tooltext::Line("Output: " + tooltext::ShortPath(target));

    TAvDecoder decoder;
    // Tests reach the RF64 layout without decoding gigabytes.
    if (const char* from = std::getenv("PARVANE_AVDEC_RF64_FROM"))
        decoder.SetRf64From(std::strtoull(from, nullptr, 10));
    if (!decoder.Open(source)) {
        LeaveEmpty(target);
        return tooltext::Error(Tool, decoder.Error());
    }
    tooltext::Line("Audio: " + decoder.Describe());

    TOutputFile out(target);
    if (!out.Create()) {
        LeaveEmpty(target);
        return tooltext::Error(Tool, out.Error());
    }
    TFdIo io(out.Fd());
    if (!io.Context())
        return tooltext::Error(Tool, "out of memory");
    TDecodeProgress progress(decoder.SourceBytes());
    bool ok = decoder.DecodeTo(io.Context(), [&](std::int64_t done) { progress.Update(done); });
    if (ok)
        progress.Update(decoder.SourceBytes());
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
    const TWavFormat& fmt = decoder.Format();
    tooltext::Line("Success: " + std::to_string(decoder.DecodedSamples()) + " samples written (" +
                   std::to_string(fmt.SampleRate) + " Hz, " + std::to_string(fmt.Channels) +
                   " channels, " + fmt.Describe() + ")");
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
