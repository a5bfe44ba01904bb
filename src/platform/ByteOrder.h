#pragma once

#include <cstddef>
#include <cstdint>

// Unsigned numbers stored in a given byte order, as file formats hold them.
namespace platform {

// count bytes (at most 8), most significant first.
inline std::uint64_t BigEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

inline std::uint16_t BigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(BigEndian(bytes, 2));
}

inline std::uint32_t BigEndian24(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(BigEndian(bytes, 3));
}

inline std::uint32_t BigEndian32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(BigEndian(bytes, 4));
}

inline std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

} // namespace platform
