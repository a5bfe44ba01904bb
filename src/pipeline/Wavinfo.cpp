#include "pipeline/Wavinfo.h"

#include <algorithm>
#include <fstream>

namespace {
const std::size_t SampleRateOffset = 24;
const std::size_t ByteRateOffset = 28;
const std::size_t DataSizeOffset = 40;
} // namespace

std::int32_t TWavInfo::Value32(std::size_t offset) const {
    const std::uint32_t value =
        std::uint32_t{Header[offset]} | std::uint32_t{Header[offset + 1]} << 8 |
        std::uint32_t{Header[offset + 2]} << 16 | std::uint32_t{Header[offset + 3]} << 24;
    return static_cast<std::int32_t>(value);
}

void TWavInfo::ReadHeader(const std::string& path) {
    FileName = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Valid = false;
        return;
    }
    std::array<char, 44> bytes{};
    in.read(bytes.data(), bytes.size());
    std::copy_n(bytes.begin(), in.gcount(), Header.begin());
    Rate = Value32(SampleRateOffset);
    Valid = std::equal(Header.begin(), Header.begin() + 4, "RIFF");
}

int TWavInfo::Seconds() const {
    const std::int32_t byteRate = Value32(ByteRateOffset);
    if (!Valid || byteRate == 0)
        return -1;
    // In 64 bits, so that -2^31 / -1 saturates instead of trapping.
    const std::int64_t seconds = std::int64_t{Value32(DataSizeOffset)} / byteRate;
    return static_cast<int>(std::min<std::int64_t>(seconds, INT32_MAX));
}
