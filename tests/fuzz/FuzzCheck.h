#pragma once

#include <cstddef>
#include <cstdlib>
#include <string>

// Every text the readers give must be well-formed UTF-8; checked on its own terms here rather than
// with the decoders under test.
inline void RequireUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80   ? 1
                             : lead < 0xC2 ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 0;
        if (length == 0 || i + length > text.size())
            std::abort();
        unsigned long codePoint = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                std::abort();
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        const unsigned long lowest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < lowest[length] || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint == 0)
            std::abort();
        i += length;
    }
}

// A text never grows beyond three bytes for each byte it came from.
inline void RequireBounded(std::size_t textSize, std::size_t inputSize) {
    if (textSize > 3 * inputSize)
        std::abort();
}
