#pragma once

#include <array>
#include <cstdint>
#include <string>

// The sample layout of a WAV file's audio: interleaved frames of Channels samples, each sample
// stored in BitsPerSample bits (8 unsigned; 16, 24, 32 signed; 32 or 64 IEEE float).
struct TWavFormat {
    int Channels = 0;
    int SampleRate = 0;
    int BitsPerSample = 0;
    bool Float = false;

    int BlockAlign() const { return Channels * (BitsPerSample / 8); }
    bool IsSupported() const;
    // "16-bit PCM", "32-bit float"
    std::string Describe() const;
    // The canonical 44-byte header (format tag 1 or 3, fmt chunk of 16 bytes, data right after).
    std::array<std::uint8_t, 44> CanonicalHeader(std::uint32_t dataBytes) const;
    // The same as RF64: the sizes in a ds64 chunk (empty table), the 32-bit ones 0xFFFFFFFF.
    std::array<std::uint8_t, 80> Rf64Header(std::uint64_t dataBytes) const;
};
