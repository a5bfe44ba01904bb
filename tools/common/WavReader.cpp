#include "common/WavReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned TagPcm = 1;
constexpr unsigned TagFloat = 3;
constexpr unsigned TagExtensible = 0xFFFE;

} // namespace

TWavReader::~TWavReader() {
    if (Fd >= 0)
        close(Fd);
}

bool TWavReader::Fail(const std::string& reason) {
    Err = reason;
    return false;
}

bool TWavReader::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                        const char* whenShort) {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = pread(Fd, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Fail(std::string("read error: ") + std::strerror(errno));
        if (n == 0)
            return Fail(whenShort);
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool TWavReader::TakeFormat(const platform::TRiffFormat& format) {
    Fmt.Channels = static_cast<int>(format.Channels);
    Fmt.SampleRate = static_cast<int>(format.SampleRate);
    if (format.Tag == TagExtensible)
        return Fail("unsupported WAVE_FORMAT_EXTENSIBLE sub-format");
    if (format.Tag != TagPcm && format.Tag != TagFloat)
        return Fail("unsupported WAV format tag " + std::to_string(format.Tag) +
                    " (only PCM and IEEE float are read)");
    const unsigned align = format.BlockAlign;
    if (Fmt.Channels < 1 || Fmt.SampleRate < 1 || align == 0 ||
        align % static_cast<unsigned>(Fmt.Channels) != 0)
        return Fail(
            "damaged WAV file (channels, sample rate or block size is zero or inconsistent)");
    // The container width decides the layout; fewer valid bits (20 in 24) are left-justified.
    Fmt.BitsPerSample = static_cast<int>(align / static_cast<unsigned>(Fmt.Channels) * 8);
    Fmt.Float = format.Tag == TagFloat;
    if (format.BitsPerSample > static_cast<unsigned>(Fmt.BitsPerSample) || !Fmt.IsSupported())
        return Fail("unsupported sample format: " + std::to_string(format.BitsPerSample) +
                    " bits in " + Fmt.Describe());
    return true;
}

bool TWavReader::Open(const std::string& path) {
    Fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        return Fail(std::string("cannot open: ") + std::strerror(errno));
    struct stat st {};
    if (fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode))
        return Fail("not a regular file");
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    const platform::TRiffWave wave = platform::ReadRiffWave(
        [this](std::uint64_t offset, std::uint8_t* bytes, std::size_t count) {
            return ReadAt(offset, bytes, count, "");
        },
        fileSize);
    switch (wave.Problem) {
    case platform::TRiffProblem::None:
        break;
    case platform::TRiffProblem::NotWave:
        return Fail(Err.empty() ? "not a WAV file (no RIFF or RF64 WAVE header)" : Err);
    case platform::TRiffProblem::NoFormat:
        return Fail("no format chunk in the WAV file");
    case platform::TRiffProblem::ShortFormat:
        return Fail("damaged WAV file (format chunk too short or cut)");
    case platform::TRiffProblem::NoData:
        return Fail("no data chunk in the WAV file");
    case platform::TRiffProblem::TooManyChunks:
        return Fail("damaged WAV file (too many chunks before the audio)");
    }
    if (!TakeFormat(wave.Format))
        return false;
    if (wave.Truncated)
        return Fail("damaged WAV file (the audio ends before the length its header gives)");
    const std::uint64_t dataBytes = wave.DataBytes;
    const std::uint64_t dataOffset = wave.DataOffset;
    TotalFrames = dataBytes / static_cast<std::uint64_t>(Fmt.BlockAlign());
    FramesLeft = TotalFrames;
    Position = dataOffset;
    DataOffset = dataOffset;
    return true;
}

bool TWavReader::Window(std::uint64_t first, std::uint64_t count) {
    if (first > TotalFrames || count > TotalFrames - first)
        return false;
    Position = DataOffset + first * static_cast<std::uint64_t>(Fmt.BlockAlign());
    FramesLeft = count;
    return true;
}

long TWavReader::Read(std::uint8_t* buffer, long maxFrames) {
    const auto frames = std::min<std::uint64_t>(FramesLeft, static_cast<std::uint64_t>(maxFrames));
    if (frames == 0)
        return 0;
    const std::size_t bytes = frames * static_cast<std::uint64_t>(Fmt.BlockAlign());
    if (!ReadAt(Position, buffer, bytes, "the file was cut short while it was being read"))
        return -1;
    Position += bytes;
    FramesLeft -= frames;
    return static_cast<long>(frames);
}
