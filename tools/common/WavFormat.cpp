#include "common/WavFormat.h"

#include <algorithm>

namespace {

void Put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

void Put64(std::uint8_t* p, std::uint64_t v) {
    Put32(p, static_cast<std::uint32_t>(v));
    Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

} // namespace

bool TWavFormat::IsSupported() const {
    if (Channels < 1 || Channels > 255 || SampleRate < 1)
        return false;
    if (Float)
        return BitsPerSample == 32 || BitsPerSample == 64;
    return BitsPerSample == 8 || BitsPerSample == 16 || BitsPerSample == 24 || BitsPerSample == 32;
}

std::string TWavFormat::Describe() const {
    return std::to_string(BitsPerSample) + (Float ? "-bit float" : "-bit PCM");
}

std::array<std::uint8_t, 44> TWavFormat::CanonicalHeader(std::uint32_t dataBytes) const {
    std::array<std::uint8_t, 44> h{};
    auto* p = h.data();
    const auto align = static_cast<std::uint32_t>(BlockAlign());
    std::copy_n("RIFF", 4, p);
    Put32(p + 4, 36 + dataBytes);
    std::copy_n("WAVEfmt ", 8, p + 8);
    Put32(p + 16, 16);
    Put16(p + 20, Float ? 3 : 1);
    Put16(p + 22, static_cast<unsigned>(Channels));
    Put32(p + 24, static_cast<std::uint32_t>(SampleRate));
    Put32(p + 28, static_cast<std::uint32_t>(SampleRate) * align);
    Put16(p + 32, align);
    Put16(p + 34, static_cast<unsigned>(BitsPerSample));
    std::copy_n("data", 4, p + 36);
    Put32(p + 40, dataBytes);
    return h;
}

std::array<std::uint8_t, 80> TWavFormat::Rf64Header(std::uint64_t dataBytes) const {
    std::array<std::uint8_t, 80> h{};
    auto* p = h.data();
    std::copy_n("RF64", 4, p);
    Put32(p + 4, 0xFFFFFFFFu);
    std::copy_n("WAVEds64", 8, p + 8);
    Put32(p + 16, 28);
    Put64(p + 20, h.size() - 8 + dataBytes);
    Put64(p + 28, dataBytes);
    Put64(p + 36, dataBytes / static_cast<std::uint64_t>(BlockAlign()));
    // The canonical format and data chunk headers follow, as the 44-byte header has them.
    const auto canonical = CanonicalHeader(0xFFFFFFFFu);
    std::copy(canonical.begin() + 12, canonical.end(), p + 48);
    return h;
}
