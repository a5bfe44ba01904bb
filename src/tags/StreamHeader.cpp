#include "tags/StreamHeader.h"

#include "platform/ByteOrder.h"
#include "platform/RiffWave.h"

#include <cstring>

namespace {

using platform::BigEndian32;
using platform::LittleEndian16;
using platform::LittleEndian32;

bool ReadAt(TByteSource& file, std::uint64_t offset, std::uint8_t* bytes, std::size_t count) {
    return file.Seek(offset) && file.Read(bytes, count) == count;
}

// Where the audio starts after an ID3v2 tag, which APE and MP3 files may both carry.
std::uint64_t AfterId3v2(TByteSource& file) {
    std::uint8_t head[10];
    if (!ReadAt(file, 0, head, sizeof head) || std::memcmp(head, "ID3", 3) != 0)
        return 0;
    const std::uint64_t size = (head[6] & 0x7Fu) << 21 | (head[7] & 0x7Fu) << 14 |
                               (head[8] & 0x7Fu) << 7 | (head[9] & 0x7Fu);
    return 10 + size + ((head[5] & 0x10) != 0 ? 10 : 0);
}

std::optional<TPcmSize> Known(TPcmSize size) {
    if (size.SampleRate == 0 || size.Channels == 0 || size.BytesPerSample == 0 || size.Frames == 0)
        return std::nullopt;
    return size;
}

struct TMpegFrame {
    std::uint32_t SampleRate = 0;
    unsigned Channels = 0;
    unsigned Samples = 0; // per frame
    std::uint32_t Bitrate = 0;
    bool Mpeg1 = false;
};

std::optional<TMpegFrame> ParseMpegHeader(const std::uint8_t* h) {
    static constexpr std::uint16_t Bitrates[2][3][16] = {
        // MPEG-1: layers I, II, III
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
        // MPEG-2 and 2.5
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
    static constexpr std::uint32_t Rates[3] = {44100, 48000, 32000};
    const unsigned version = h[1] >> 3 & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const unsigned layer = h[1] >> 1 & 3;   // 3 layer I, 2 layer II, 1 layer III
    const unsigned bitrate = h[2] >> 4;
    const unsigned rate = h[2] >> 2 & 3;
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || version == 1 || layer == 0 || bitrate == 0 ||
        bitrate == 15 || rate == 3)
        return std::nullopt;
    TMpegFrame frame;
    frame.Mpeg1 = version == 3;
    frame.SampleRate = Rates[rate] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    frame.Channels = (h[3] >> 6) == 3 ? 1 : 2;
    frame.Samples = layer == 3 ? 384 : layer == 2 || frame.Mpeg1 ? 1152 : 576;
    frame.Bitrate = Bitrates[frame.Mpeg1 ? 0 : 1][3 - layer][bitrate] * 1000u;
    return frame;
}

} // namespace

std::optional<TPcmSize> ReadFlacPcmSize(TByteSource& file) {
    // "fLaC", then the STREAMINFO block: its header, 10 bytes of block and frame sizes, then
    // rate (20 bits), channels - 1 (3), bits - 1 (5) and the sample count (36).
    std::uint8_t bytes[4 + 4 + 18];
    if (!ReadAt(file, 0, bytes, sizeof bytes) || std::memcmp(bytes, "fLaC", 4) != 0 ||
        (bytes[4] & 0x7F) != 0)
        return std::nullopt;
    const std::uint8_t* info = bytes + 8 + 10;
    TPcmSize size;
    size.SampleRate = BigEndian32(info) >> 12;
    size.Channels = (info[2] >> 1 & 7) + 1;
    const unsigned bits = ((info[2] & 1u) << 4 | info[3] >> 4) + 1;
    size.BytesPerSample = (bits + 7) / 8;
    size.Frames = std::uint64_t{info[3] & 0x0Fu} << 32 | BigEndian32(info + 4);
    return Known(size);
}

namespace {

struct TApeHeader {
    TPcmSize Size;
    // Each frame has its entry in the seek table; the table must lie within the file.
    bool Overruns = false;
};

std::optional<TApeHeader> ReadApeHeader(TByteSource& file) {
    const std::uint64_t start = AfterId3v2(file);
    std::uint8_t head[52];
    if (!ReadAt(file, start, head, 6) || std::memcmp(head, "MAC ", 4) != 0)
        return std::nullopt;
    const unsigned version = LittleEndian16(head + 4);
    TApeHeader ape;
    TPcmSize& size = ape.Size;
    std::uint64_t blocksPerFrame = 0;
    std::uint64_t finalBlocks = 0;
    std::uint64_t frames = 0;
    std::uint64_t seekTableEnd = 0;
    std::uint64_t seekTableBytes = 0;
    unsigned bits = 16;
    if (version >= 3980) {
        std::uint8_t header[24];
        if (!ReadAt(file, start, head, sizeof head) ||
            !ReadAt(file, start + LittleEndian32(head + 8), header, sizeof header))
            return std::nullopt;
        blocksPerFrame = LittleEndian32(header + 4);
        finalBlocks = LittleEndian32(header + 8);
        frames = LittleEndian32(header + 12);
        bits = LittleEndian16(header + 16);
        size.Channels = LittleEndian16(header + 18);
        size.SampleRate = LittleEndian32(header + 20);
        seekTableBytes = LittleEndian32(head + 16);
        seekTableEnd = start + std::uint64_t{LittleEndian32(head + 8)} + LittleEndian32(head + 12) +
                       seekTableBytes;
    } else {
        std::uint8_t header[26];
        if (!ReadAt(file, start + 6, header, sizeof header))
            return std::nullopt;
        const unsigned compression = LittleEndian16(header);
        const unsigned flags = LittleEndian16(header + 2);
        size.Channels = LittleEndian16(header + 4);
        size.SampleRate = LittleEndian32(header + 6);
        frames = LittleEndian32(header + 18);
        finalBlocks = LittleEndian32(header + 22);
        bits = (flags & 1) != 0 ? 8 : (flags & 8) != 0 ? 24 : 16;
        blocksPerFrame = version >= 3950                                               ? 73728 * 4
                         : version >= 3900 || (version >= 3800 && compression >= 4000) ? 73728
                                                                                       : 9216;
        seekTableBytes = frames * 4;
        seekTableEnd = start + 32 + seekTableBytes;
    }
    size.BytesPerSample = (bits + 7) / 8;
    if (frames > 0)
        size.Frames = (frames - 1) * blocksPerFrame + finalBlocks;
    ape.Overruns =
        frames > seekTableBytes / 4 || seekTableEnd > file.Size() || finalBlocks > blocksPerFrame;
    return ape;
}

} // namespace

std::optional<TPcmSize> ReadApePcmSize(TByteSource& file) {
    const std::optional<TApeHeader> ape = ReadApeHeader(file);
    if (!ape || ape->Overruns)
        return std::nullopt;
    return Known(ape->Size);
}

bool ApeHeaderOverruns(TByteSource& file) {
    const std::optional<TApeHeader> ape = ReadApeHeader(file);
    return ape && ape->Overruns;
}

std::optional<TPcmSize> ReadMp3PcmSize(TByteSource& file) {
    // The first frame header within reach of the tag's end; encoders pad a little at most.
    const std::uint64_t tagEnd = AfterId3v2(file);
    std::uint8_t window[4096];
    if (!file.Seek(tagEnd))
        return std::nullopt;
    const std::size_t got = file.Read(window, sizeof window);
    for (std::size_t at = 0; at + 4 <= got; ++at) {
        const std::optional<TMpegFrame> frame = ParseMpegHeader(window + at);
        if (!frame)
            continue;
        const std::uint64_t frameStart = tagEnd + at;
        TPcmSize size{frame->SampleRate, frame->Channels, 2, 0};
        // The Xing or Info frame follows the side information; VBRI sits at a fixed offset.
        const std::uint64_t sideInfo =
            frame->Mpeg1 ? (frame->Channels == 1 ? 17 : 32) : (frame->Channels == 1 ? 9 : 17);
        std::uint8_t tag[18];
        if (ReadAt(file, frameStart + 4 + sideInfo, tag, 12) &&
            (std::memcmp(tag, "Xing", 4) == 0 || std::memcmp(tag, "Info", 4) == 0) &&
            (BigEndian32(tag + 4) & 1) != 0) {
            size.Frames = std::uint64_t{BigEndian32(tag + 8)} * frame->Samples;
        } else if (ReadAt(file, frameStart + 4 + 32, tag, 18) && std::memcmp(tag, "VBRI", 4) == 0) {
            size.Frames = std::uint64_t{BigEndian32(tag + 14)} * frame->Samples;
        } else {
            // A tenth more for a stream whose first frame is leaner than its average.
            const std::uint64_t audio = file.Size() - frameStart;
            size.Frames = audio * 8 * frame->SampleRate / frame->Bitrate * 11 / 10;
        }
        return Known(size);
    }
    return std::nullopt;
}
