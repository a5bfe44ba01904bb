#include "tags/FlacCueSheet.h"

#include "platform/AsciiText.h"

#include <cstdint>
#include <vector>

namespace {

constexpr std::uint8_t StreamInfo = 0, VorbisComment = 4, CueSheetBlock = 5;
constexpr std::size_t CueHeaderSize = 396, CueTrackSize = 36, CueIndexSize = 12;
constexpr unsigned LeadOut = 170;

std::uint64_t BigEndian(const std::uint8_t* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

std::string TwoDigits(std::uint64_t value) {
    std::string text = std::to_string(value);
    if (value < 10)
        text.insert(text.begin(), '0');
    return text;
}

// The value of the first CUESHEET= comment; empty when there is none.
std::string CommentSheet(const std::vector<std::uint8_t>& block, std::size_t maxBytes) {
    std::size_t at = 0;
    const auto length = [&](std::uint32_t& value) {
        if (block.size() - at < 4)
            return false;
        value = LittleEndian32(block.data() + at);
        at += 4;
        return value <= block.size() - at;
    };
    std::uint32_t size = 0, count = 0;
    if (!length(size))
        return {};
    at += size;
    if (block.size() - at < 4)
        return {};
    count = LittleEndian32(block.data() + at);
    at += 4;
    const std::string_view key = "CUESHEET=";
    for (std::uint32_t i = 0; i < count && length(size); ++i) {
        const std::string_view comment(reinterpret_cast<const char*>(block.data()) + at, size);
        at += size;
        if (comment.size() >= key.size() &&
            platform::SameTextAscii(comment.substr(0, key.size()), key))
            return comment.size() - key.size() <= maxBytes ? std::string(comment.substr(key.size()))
                                                           : std::string();
    }
    return {};
}

// "mm:ss:ff" of a sample offset.
std::string Position(std::uint64_t samples, std::uint32_t rate) {
    const std::uint64_t frames = samples / rate * 75 + samples % rate * 75 / rate;
    return TwoDigits(frames / 75 / 60) + ":" + TwoDigits(frames / 75 % 60) + ":" +
           TwoDigits(frames % 75);
}

// A sheet from the block's tracks and indexes; empty when the block does not hold them whole.
std::string BlockSheet(const std::vector<std::uint8_t>& block, std::uint32_t rate,
                       const std::string& imageName) {
    if (rate == 0 || block.size() < CueHeaderSize)
        return {};
    const unsigned tracks = block[CueHeaderSize - 1];
    std::string sheet = "FILE \"" + imageName + "\" WAVE\n";
    std::size_t at = CueHeaderSize;
    for (unsigned t = 0; t < tracks; ++t) {
        if (block.size() - at < CueTrackSize)
            return {};
        const std::uint8_t* track = block.data() + at;
        const std::uint64_t offset = BigEndian(track, 8);
        const unsigned number = track[8];
        const bool audio = (track[21] & 0x80) == 0;
        const unsigned indexes = track[35];
        at += CueTrackSize;
        if (block.size() - at < std::size_t{indexes} * CueIndexSize)
            return {};
        if (number != LeadOut) {
            sheet += "  TRACK " + TwoDigits(number) + (audio ? " AUDIO\n" : " MODE1/2352\n");
            for (unsigned i = 0; i < indexes; ++i) {
                const std::uint8_t* index = block.data() + at + i * CueIndexSize;
                sheet += "    INDEX " + TwoDigits(index[8]) + " " +
                         Position(offset + BigEndian(index, 8), rate) + "\n";
            }
        }
        at += std::size_t{indexes} * CueIndexSize;
    }
    return sheet;
}

} // namespace

std::string TFlacCueSheet::Read(TByteSource& file, const std::string& imageName,
                                std::size_t maxBytes) {
    std::uint8_t head[4] = {};
    if (!file.Seek(0) || file.Read(head, 4) != 4 ||
        std::string_view(reinterpret_cast<char*>(head), 4) != "fLaC")
        return {};
    std::uint32_t rate = 0;
    std::vector<std::uint8_t> cueBlock;
    for (bool last = false; !last;) {
        std::uint8_t header[4] = {};
        if (file.Read(header, 4) != 4)
            return {};
        last = header[0] & 0x80;
        const std::uint8_t type = header[0] & 0x7F;
        const auto size = static_cast<std::size_t>(BigEndian(header + 1, 3));
        if (size > file.Remaining())
            return {};
        if (type != StreamInfo && type != VorbisComment && type != CueSheetBlock) {
            if (!file.Seek(file.Position() + size))
                return {};
            continue;
        }
        std::vector<std::uint8_t> block(size);
        if (file.Read(block.data(), size) != size)
            return {};
        if (type == StreamInfo && size >= 13)
            rate = static_cast<std::uint32_t>(block[10] << 12 | block[11] << 4 | block[12] >> 4);
        if (type == VorbisComment)
            if (std::string sheet = CommentSheet(block, maxBytes); !sheet.empty())
                return sheet;
        if (type == CueSheetBlock)
            cueBlock = std::move(block);
    }
    std::string sheet = BlockSheet(cueBlock, rate, imageName);
    return sheet.size() <= maxBytes ? sheet : std::string();
}
