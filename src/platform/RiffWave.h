#pragma once

#include "ByteOrder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// Where a WAV file's format and audio are, found by walking its chunks: RIFF and RF64 (64-bit
// sizes in the ds64 chunk), format chunks of any length (WAVE_FORMAT_EXTENSIBLE), other chunks
// anywhere. Header-only, so that the program and the codec tools read every file alike.
namespace platform {

inline std::uint16_t LittleEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

inline std::uint64_t LittleEndian64(const std::uint8_t* bytes) {
    return LittleEndian32(bytes) | std::uint64_t{LittleEndian32(bytes + 4)} << 32;
}

enum class TRiffProblem {
    None,
    NotWave,       // no RIFF or RF64 WAVE header
    NoFormat,      // no usable format chunk before the walk ended
    ShortFormat,   // a format chunk too short for its rates, or cut by the file's end
    NoData,        // a format chunk but no data chunk
    TooManyChunks, // more chunks before the audio than any writer puts there
};

struct TRiffFormat {
    // 1 PCM, 3 IEEE float, ...; an extensible format's sub-format tag when its GUID is one of
    // the KSDATAFORMAT_SUBTYPE family, else 0xFFFE.
    unsigned Tag = 0;
    unsigned Channels = 0;
    std::uint32_t SampleRate = 0;
    std::uint32_t ByteRate = 0;
    unsigned BlockAlign = 0;
    unsigned BitsPerSample = 0;
};

struct TRiffWave {
    TRiffProblem Problem = TRiffProblem::NotWave;
    bool Rf64 = false;
    bool HasFormat = false;
    TRiffFormat Format;
    std::uint64_t DataOffset = 0;
    // The bytes of audio there are, never more than the file holds.
    std::uint64_t DataBytes = 0;
    // The data chunk declares more bytes than the file holds, as a writer that died leaves it.
    bool Truncated = false;
};

namespace riffwave {

// Far more than any writer puts before its audio, and few enough reads that a file made of
// nothing but tiny chunks is done with at once.
inline constexpr int MaxChunks = 1 << 16;
inline constexpr std::uint32_t OpenSize = 0xFFFFFFFFu;
// lame's size for PCM past 2 GiB, and the marks of writers that cannot seek back to the header.
inline constexpr std::uint32_t LameMark = 0x80000000u;
inline constexpr std::uint32_t FirstHighMark = 0xFFFFFFD0u;

inline bool IsMark(std::uint32_t size) {
    return size == LameMark || size >= FirstHighMark;
}

// The tail every KSDATAFORMAT_SUBTYPE_* GUID shares after its leading format tag.
inline constexpr std::uint8_t SubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

inline TRiffFormat ParseFormat(const std::uint8_t* chunk, std::uint32_t size) {
    TRiffFormat format;
    format.Tag = LittleEndian16(chunk);
    format.Channels = LittleEndian16(chunk + 2);
    format.SampleRate = LittleEndian32(chunk + 4);
    format.ByteRate = LittleEndian32(chunk + 8);
    format.BlockAlign = LittleEndian16(chunk + 12);
    format.BitsPerSample = LittleEndian16(chunk + 14);
    if (format.Tag == 0xFFFE && size >= 40 &&
        std::memcmp(chunk + 26, SubtypeTail, sizeof SubtypeTail) == 0)
        format.Tag = LittleEndian16(chunk + 24);
    return format;
}

// Whether the bytes from at on are whole chunks up to the file's end: then a data chunk before
// them is not the last, and its size is to be believed. Audio read as chunk headers stops this
// at once: its "ids" are rarely printable, and never chain to the exact end.
template <typename TReadAt>
bool ChunksToEnd(TReadAt& readAt, std::uint64_t at, std::uint64_t fileSize, int budget) {
    for (; budget > 0 && at + 8 <= fileSize; --budget) {
        std::uint8_t head[8];
        if (!readAt(at, head, sizeof head) ||
            !std::all_of(head, head + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; }))
            return false;
        const std::uint32_t size = LittleEndian32(head + 4);
        const std::uint64_t end = at + 8 + size;
        if (end > fileSize)
            return false;
        at = end + (size & 1);
    }
    return at >= fileSize && budget > 0;
}

} // namespace riffwave

// readAt(offset, bytes, count) is true when it read all count bytes.
template <typename TReadAt> TRiffWave ReadRiffWave(TReadAt&& readAt, std::uint64_t fileSize) {
    using namespace riffwave;
    TRiffWave wave;
    std::uint8_t head[12];
    if (fileSize < 12 || !readAt(0, head, sizeof head) || std::memcmp(head + 8, "WAVE", 4) != 0)
        return wave;
    wave.Rf64 = std::memcmp(head, "RF64", 4) == 0;
    if (!wave.Rf64 && std::memcmp(head, "RIFF", 4) != 0)
        return wave;

    std::uint64_t ds64Data = 0;
    bool haveDs64 = false;
    bool haveData = false;
    std::uint64_t at = 12;
    for (int chunk = 0; !(wave.HasFormat && haveData); ++chunk) {
        std::uint8_t chunkHead[8];
        if (chunk == MaxChunks) {
            wave.Problem = TRiffProblem::TooManyChunks;
            return wave;
        }
        if (at + 8 > fileSize || !readAt(at, chunkHead, sizeof chunkHead)) {
            wave.Problem = wave.HasFormat ? TRiffProblem::NoData : TRiffProblem::NoFormat;
            return wave;
        }
        const std::uint32_t size32 = LittleEndian32(chunkHead + 4);
        std::uint64_t size = size32;
        const std::uint64_t body = at + 8;
        const std::uint64_t left = fileSize - body;
        if (wave.Rf64 && chunk == 0 && std::memcmp(chunkHead, "ds64", 4) == 0) {
            // RIFF size, data size, sample count: the data chunk's real size is the second.
            std::uint8_t sizes[16];
            if (size32 >= 24 && readAt(body, sizes, sizeof sizes)) {
                ds64Data = LittleEndian64(sizes + 8);
                haveDs64 = true;
            }
        } else if (!wave.HasFormat && std::memcmp(chunkHead, "fmt ", 4) == 0) {
            std::uint8_t format[40] = {};
            if (size32 < 16 || size32 > left ||
                !readAt(body, format, std::min<std::uint32_t>(size32, sizeof format))) {
                wave.Problem = TRiffProblem::ShortFormat;
                return wave;
            }
            wave.Format = ParseFormat(format, size32);
            wave.HasFormat = true;
        } else if (!haveData && std::memcmp(chunkHead, "data", 4) == 0) {
            haveData = true;
            wave.DataOffset = body;
            const bool sized64 = wave.Rf64 && haveDs64 && size32 == OpenSize;
            if (sized64)
                size = ds64Data;
            const std::uint64_t align = wave.HasFormat ? wave.Format.BlockAlign : 0;
            // Streaming writers leave 0 or 0xFFFFFFFF; a decoder that cannot seek back leaves
            // a mark, and then a last data chunk with more whole frames after it runs on.
            const bool open = !sized64 && (size32 == 0 || size32 == OpenSize);
            const bool runsOn =
                !sized64 && IsMark(size32) && align > 0 && left >= size + align &&
                !ChunksToEnd(readAt, body + size + (size & 1), fileSize, MaxChunks - chunk);
            wave.Truncated = !open && !runsOn && size > left;
            wave.DataBytes = open || runsOn || wave.Truncated ? left : size;
            if (open || runsOn || wave.Truncated)
                break;
        }
        at = body + size + (size & 1);
    }
    wave.Problem = !wave.HasFormat ? TRiffProblem::NoFormat : TRiffProblem::None;
    return wave;
}

} // namespace platform
