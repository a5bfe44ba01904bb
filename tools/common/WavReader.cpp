#include "common/WavReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::uint32_t Get16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}

std::uint32_t Get32(const std::uint8_t* p) {
    return Get16(p) | (static_cast<std::uint32_t>(Get16(p + 2)) << 16);
}

// The tail every KSDATAFORMAT_SUBTYPE_* GUID shares after its leading format tag.
const std::uint8_t SubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

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

bool TWavReader::ParseFormat(const std::uint8_t* chunk, std::uint32_t size) {
    if (size < 16)
        return Fail("damaged WAV file (format chunk too short)");
    unsigned tag = Get16(chunk);
    Fmt.Channels = static_cast<int>(Get16(chunk + 2));
    Fmt.SampleRate = static_cast<int>(Get32(chunk + 4));
    unsigned align = Get16(chunk + 12);
    unsigned bits = Get16(chunk + 14);
    if (tag == TagExtensible) {
        if (size < 40 || std::memcmp(chunk + 26, SubtypeTail, sizeof SubtypeTail) != 0)
            return Fail("unsupported WAVE_FORMAT_EXTENSIBLE sub-format");
        tag = Get16(chunk + 24);
    }
    if (tag != TagPcm && tag != TagFloat)
        return Fail("unsupported WAV format tag " + std::to_string(tag) +
                    " (only PCM and IEEE float are read)");
    if (Fmt.Channels < 1 || Fmt.SampleRate < 1 || align == 0 ||
        align % static_cast<unsigned>(Fmt.Channels) != 0)
        return Fail(
            "damaged WAV file (channels, sample rate or block size is zero or inconsistent)");
    // The container width decides the layout; fewer valid bits (20 in 24) are left-justified.
    Fmt.BitsPerSample = static_cast<int>(align / static_cast<unsigned>(Fmt.Channels) * 8);
    Fmt.Float = tag == TagFloat;
    if (bits > static_cast<unsigned>(Fmt.BitsPerSample) || !Fmt.IsSupported())
        return Fail("unsupported sample format: " + std::to_string(bits) + " bits in " +
                    Fmt.Describe());
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
    std::uint8_t head[12];
    if (fileSize < 12 || !ReadAt(0, head, 12, "") || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return Fail("not a WAV file (no RIFF WAVE header)");

    bool haveFormat = false;
    bool haveData = false;
    std::uint64_t dataOffset = 0;
    std::uint64_t dataBytes = 0;
    std::uint64_t pos = 12;
    while (!(haveFormat && haveData)) {
        if (pos + 8 > fileSize)
            return Fail(haveFormat ? "no data chunk in the WAV file"
                                   : "no format chunk in the WAV file");
        std::uint8_t header[8];
        if (!ReadAt(pos, header, 8, "damaged WAV file (cut inside a chunk header)"))
            return false;
        const std::uint32_t size = Get32(header + 4);
        const std::uint64_t body = pos + 8;
        if (std::memcmp(header, "data", 4) == 0) {
            haveData = true;
            dataOffset = body;
            const bool toEnd = size == 0 || size == 0xFFFFFFFFu || body + size > fileSize;
            dataBytes = toEnd ? fileSize - body : size;
            if (toEnd && !haveFormat)
                return Fail("damaged WAV file (data of open length before the format chunk)");
        } else if (std::memcmp(header, "fmt ", 4) == 0) {
            if (body + size > fileSize)
                return Fail("damaged WAV file (format chunk runs past the end)");
            std::uint8_t chunk[40] = {};
            if (!ReadAt(body, chunk, size < 40 ? size : 40, "") || !ParseFormat(chunk, size))
                return false;
            haveFormat = true;
        }
        pos = body + size + (size & 1);
    }
    TotalFrames = dataBytes / static_cast<std::uint64_t>(Fmt.BlockAlign());
    FramesLeft = TotalFrames;
    Position = dataOffset;
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
