#pragma once

#include "ByteOrder.h"

#include <algorithm>
#include <cstdint>
#include <span>

// What a cover picture is, read from its own bytes: players judge a picture by its first bytes,
// not its name, and an MP4 writer needs its size. Header-only, so that the codec tools share it.
namespace platform {

enum class TImageKind { None, Jpeg, Png };

struct TImageHeader {
    TImageKind Kind = TImageKind::None;
    int Width = 0; // 0 when the size cannot be found: a damaged image
    int Height = 0;
};

inline TImageHeader ReadImageHeader(std::span<const std::uint8_t> bytes) {
    static constexpr std::uint8_t Jpeg[] = {0xFF, 0xD8, 0xFF};
    static constexpr std::uint8_t Png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto startsWith = [bytes](std::span<const std::uint8_t> magic) {
        return bytes.size() >= magic.size() &&
               std::equal(magic.begin(), magic.end(), bytes.begin());
    };
    TImageHeader header;
    if (startsWith(Png)) {
        header.Kind = TImageKind::Png;
        // The header chunk comes first; its width and height are 31-bit.
        static constexpr std::uint8_t Ihdr[] = {'I', 'H', 'D', 'R'};
        if (bytes.size() >= 24 && std::equal(Ihdr, Ihdr + 4, bytes.begin() + 12) &&
            BigEndian16(&bytes[16]) == 0 && BigEndian16(&bytes[20]) == 0) {
            header.Width = BigEndian16(&bytes[18]);
            header.Height = BigEndian16(&bytes[22]);
        }
    } else if (startsWith(Jpeg)) {
        header.Kind = TImageKind::Jpeg;
        for (std::size_t at = 2; at + 9 <= bytes.size() && bytes[at] == 0xFF;
             at += 2 + BigEndian16(&bytes[at + 2])) {
            const std::uint8_t marker = bytes[at + 1];
            // SOF0 to SOF15, less the table and restart markers that share the range.
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                marker != 0xCC) {
                header.Height = BigEndian16(&bytes[at + 5]);
                header.Width = BigEndian16(&bytes[at + 7]);
                break;
            }
        }
    }
    if (header.Width == 0 || header.Height == 0)
        header.Width = header.Height = 0;
    return header;
}

} // namespace platform
