#include "pipeline/Wavinfo.h"

#include "platform/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace {

// Far more than any writer puts before its audio, and few enough reads that a file made of
// nothing but tiny chunks is done with at once.
const int MaxChunks = 256;
const std::size_t SampleRateOffset = 24;
const std::size_t FirstChunk = 12;
const std::uint32_t OpenSize = 0xFFFFFFFFu;

bool ReadAt(std::istream& in, std::uint64_t offset, std::uint8_t* bytes, std::size_t count) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in.gcount()) == count;
}

} // namespace

void TWavInfo::ReadHeader(const std::string& path) {
    FileName = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Valid = false;
        return;
    }
    ReadStream(in);
}

void TWavInfo::ReadStream(std::istream& in) {
    std::array<char, 44> bytes{};
    in.read(bytes.data(), bytes.size());
    std::copy_n(bytes.begin(), in.gcount(), Header.begin());
    Valid = std::equal(Header.begin(), Header.begin() + 4, "RIFF");
    Rate = static_cast<std::int32_t>(platform::LittleEndian32(Header.data() + SampleRateOffset));
    ByteRate = 0;
    Data = 0;
    HasFormat = false;
    Short = false;
    if (!Valid)
        return;
    Rate = 0;
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end > 0)
        WalkChunks(in, static_cast<std::uint64_t>(end));
}

void TWavInfo::WalkChunks(std::istream& in, std::uint64_t fileSize) {
    bool hasData = false;
    std::uint64_t at = FirstChunk;
    for (int chunk = 0; chunk < MaxChunks && !(HasFormat && hasData); ++chunk) {
        std::uint8_t head[8];
        if (at + 8 > fileSize || !ReadAt(in, at, head, sizeof head))
            return;
        const std::uint32_t size = platform::LittleEndian32(head + 4);
        const std::uint64_t body = at + 8;
        const std::uint64_t left = fileSize - body;
        if (!HasFormat && std::memcmp(head, "fmt ", 4) == 0) {
            // The rate and byte rate sit in the first 12 bytes, also of an extensible format.
            std::uint8_t format[12];
            if (size < sizeof format || !ReadAt(in, body, format, sizeof format))
                return;
            Rate = static_cast<std::int32_t>(platform::LittleEndian32(format + 4));
            ByteRate = platform::LittleEndian32(format + 8);
            HasFormat = true;
        } else if (!hasData && std::memcmp(head, "data", 4) == 0) {
            hasData = true;
            // Streaming writers leave 0 or 0xFFFFFFFF: the audio runs to the end of the file.
            const bool open = size == 0 || size == OpenSize;
            Short = !open && size > left;
            Data = open || Short ? left : size;
            if (open || Short)
                return;
        }
        at = body + size + (size & 1);
    }
}

int TWavInfo::Seconds() const {
    if (!Valid || !HasFormat || ByteRate == 0)
        return -1;
    return static_cast<int>(std::min<std::uint64_t>(Data / ByteRate, INT32_MAX));
}
