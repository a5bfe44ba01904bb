#include "pipeline/Wavinfo.h"

#include "platform/ByteOrder.h"
#include "platform/RiffWave.h"

#include <algorithm>
#include <fstream>

namespace {

const std::size_t SampleRateOffset = 24;

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
    Valid = std::equal(Header.begin(), Header.begin() + 4, "RIFF") ||
            std::equal(Header.begin(), Header.begin() + 4, "RF64");
    Rate = static_cast<std::int32_t>(platform::LittleEndian32(Header.data() + SampleRateOffset));
    Wave = {};
    if (!Valid)
        return;
    Rate = 0;
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end <= 0)
        return;
    const auto readAt = [&in](std::uint64_t offset, std::uint8_t* to, std::size_t count) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(in.gcount()) == count;
    };
    Wave = platform::ReadRiffWave(readAt, static_cast<std::uint64_t>(end));
    if (Wave.HasFormat)
        Rate = static_cast<std::int32_t>(Wave.Format.SampleRate);
}

int TWavInfo::Seconds() const {
    if (!Valid || !Wave.HasFormat || Wave.Format.ByteRate == 0)
        return -1;
    return static_cast<int>(
        std::min<std::uint64_t>(Wave.DataBytes / Wave.Format.ByteRate, INT32_MAX));
}
