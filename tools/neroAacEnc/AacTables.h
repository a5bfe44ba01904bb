#pragma once

#include <cstdint>
#include <span>

// One Huffman codeword: its length in bits and its bits.
struct TAacCode {
    std::uint8_t Length;
    std::uint32_t Code;
};

// The tables a reader needs to step over an AAC-LC channel's data.
class TAacTables {
public:
    // The spectral codebook 1 to 11, indexed as the standard numbers its entries.
    static std::span<const TAacCode> Spectral(int book);
    // Scale factor differences from -60 to 60.
    static std::span<const TAacCode> ScaleFactor();
    // The first line of each scale factor band and one past the last, of a long and of a short
    // window at the sample rate.
    static std::span<const std::uint16_t> LongBands(int sampleRate);
    static std::span<const std::uint16_t> ShortBands(int sampleRate);
};
