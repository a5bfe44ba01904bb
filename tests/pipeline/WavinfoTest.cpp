#include "pipeline/Wavinfo.h"

#include "tools/ToolTestSupport.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

std::string Le16(std::uint32_t value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string Le32(std::uint32_t value) {
    return Le16(value & 0xFFFF) + Le16(value >> 16);
}

void Put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    bytes.replace(offset, 4, Le32(value));
}

// A chunk with its pad byte after an odd size.
std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le32(static_cast<std::uint32_t>(body.size())) + body +
           (body.size() % 2 ? std::string(1, '\0') : "");
}

struct TLayout {
    int Channels = 2;
    std::uint32_t Rate = 8000;
    int Bits = 16;
    int Tag = 1; // 3 for float
    bool Extensible = false;

    std::uint32_t ByteRate() const { return Rate * BlockAlign(); }
    std::uint32_t BlockAlign() const { return static_cast<std::uint32_t>(Channels * Bits / 8); }

    std::string Format() const {
        std::string body = Le16(Extensible ? 0xFFFE : Tag) + Le16(Channels) + Le32(Rate) +
                           Le32(ByteRate()) + Le16(BlockAlign()) + Le16(Bits);
        if (Extensible)
            body += Le16(22) + Le16(Bits) + Le32(3) + Le16(Tag) +
                    std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
        return Chunk("fmt ", body);
    }
};

std::string Riff(const std::string& chunks) {
    return "RIFF" + Le32(static_cast<std::uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

std::string Audio(std::size_t bytes) {
    return std::string(bytes, '\x11');
}

// The 44-byte header as every reader of old wrote it, data size as given.
std::string Canonical(const TLayout& layout, std::uint32_t dataSize) {
    std::string bytes = Riff(layout.Format() + "data" + Le32(dataSize));
    Put32(bytes, 4, dataSize + 36);
    return bytes;
}

TWavInfo Read(const TScopedFolder& folder, const std::string& bytes) {
    const std::string path = (folder / "f.wav").string();
    WriteFile(path, bytes);
    TWavInfo info;
    info.ReadHeader(path);
    EXPECT_EQ(info.FileName, path);
    return info;
}

} // namespace

TEST(WavInfo, SecondsAreWholeSecondsOfData) {
    TScopedFolder folder;
    const TLayout layout{.Rate = 48000};
    TWavInfo ten = Read(folder, Canonical(layout, 1920000) + Audio(1920000));
    EXPECT_TRUE(ten.Valid);
    EXPECT_EQ(ten.SampleRate(), 48000);
    EXPECT_EQ(ten.Seconds(), 10);
    EXPECT_FALSE(ten.Truncated());
    EXPECT_EQ(Read(folder, Canonical(layout, 1919999) + Audio(1919999)).Seconds(), 9);
    EXPECT_EQ(TWavInfo::HeaderSize(), 44);
}

TEST(WavInfo, EverySampleLayoutGivesItsRateAndLength) {
    TScopedFolder folder;
    const TLayout layouts[] = {{.Channels = 1},
                               {.Bits = 8},
                               {.Bits = 24},
                               {.Bits = 32},
                               {.Bits = 32, .Tag = 3},
                               {.Rate = 44100, .Bits = 24, .Extensible = true},
                               {.Channels = 1, .Bits = 32, .Tag = 3, .Extensible = true}};
    for (const TLayout& layout : layouts) {
        const std::uint32_t data = 3 * layout.ByteRate();
        const TWavInfo info = Read(folder, Riff(layout.Format() + Chunk("data", Audio(data))));
        EXPECT_EQ(info.SampleRate(), static_cast<int>(layout.Rate)) << layout.Bits;
        EXPECT_EQ(info.Seconds(), 3) << layout.Bits << " " << layout.Extensible;
        EXPECT_EQ(info.DataBytes(), data);
    }
}

// As recorders, editors and broadcast tools write them: other chunks anywhere, odd sizes padded.
TEST(WavInfo, FormatAndDataAreFoundWhereverTheyStand) {
    TScopedFolder folder;
    const TLayout layout{.Rate = 44100};
    const std::string data = Chunk("data", Audio(2 * layout.ByteRate()));
    const std::string layouts[] = {
        Chunk("JUNK", std::string(28, '\0')) + layout.Format() + data,
        Chunk("bext", std::string(602, ' ')) + layout.Format() + data,
        layout.Format() + Chunk("LIST", std::string(13, 'x')) + data + Chunk("id3 ", "abc"),
        data + Chunk("JUNK", "odd") + layout.Format(),
    };
    for (const std::string& chunks : layouts) {
        const TWavInfo info = Read(folder, Riff(chunks));
        EXPECT_TRUE(info.Valid);
        EXPECT_EQ(info.SampleRate(), 44100);
        EXPECT_EQ(info.Seconds(), 2);
        EXPECT_EQ(info.DataBytes(), 2 * layout.ByteRate());
    }
}

TEST(WavInfo, OpenAndOverlongDataSizesEndAtTheFileEnd) {
    TScopedFolder folder;
    const TLayout layout;
    for (const std::uint32_t open : {0u, 0xFFFFFFFFu}) {
        const TWavInfo info = Read(folder, Canonical(layout, open) + Audio(65000));
        EXPECT_EQ(info.DataBytes(), 65000u) << open;
        EXPECT_EQ(info.Seconds(), 2);
        EXPECT_FALSE(info.Truncated());
    }
    // A writer that died left the header of the whole length and less audio.
    const TWavInfo cut = Read(folder, Canonical(layout, 10 * layout.ByteRate()) + Audio(32001));
    EXPECT_TRUE(cut.Truncated());
    EXPECT_EQ(cut.DataBytes(), 32001u);
    EXPECT_EQ(cut.Seconds(), 1);
    EXPECT_EQ(cut.SampleRate(), 8000);
}

// A format chunk too short for its rates gives no length.
TEST(WavInfo, NeedsAFormat) {
    TScopedFolder folder;
    const TLayout layout;

    const TWavInfo clipped = Read(
        folder, Riff(Chunk("fmt ", Le16(1) + Le16(2) + Le32(8000)) + Chunk("data", Audio(64000))));
    EXPECT_EQ(clipped.Seconds(), -1);
    const TWavInfo noData = Read(folder, Riff(layout.Format()));
    EXPECT_EQ(noData.SampleRate(), 8000);
    EXPECT_EQ(noData.Seconds(), 0);
}

// Only the magic counts; the sample rate is copied whatever the file is.
TEST(WavInfo, AnyOtherMagicIsInvalid) {
    TScopedFolder folder;
    for (const std::string magic : {"riff", "RIFX", "XIFF", "RIF\x01"}) {
        std::string bytes = Canonical({.Rate = 44100}, 176400) + Audio(176400);
        bytes.replace(0, 4, magic);
        TWavInfo info = Read(folder, bytes);
        EXPECT_FALSE(info.Valid) << magic;
        EXPECT_EQ(info.Seconds(), -1);
        EXPECT_EQ(info.SampleRate(), 44100);
    }
    TWavInfo zeros = Read(folder, std::string(44, '\0'));
    EXPECT_FALSE(zeros.Valid);
    EXPECT_EQ(zeros.SampleRate(), 0);
}

TEST(WavInfo, ShortAndMissingFiles) {
    TScopedFolder folder;
    TWavInfo riffOnly = Read(folder, "RIFF");
    EXPECT_TRUE(riffOnly.Valid);
    EXPECT_EQ(riffOnly.SampleRate(), 0);
    EXPECT_EQ(riffOnly.Seconds(), -1);

    TWavInfo missing;
    missing.ReadHeader((folder / "none.wav").string());
    EXPECT_FALSE(missing.Valid);
    EXPECT_EQ(missing.Seconds(), -1);
    EXPECT_EQ(missing.SampleRate(), 0);
}

// Sizes are unsigned: a file of nearly 4 GiB (sparse here) has its full length.
TEST(WavInfo, SizesFromTwoGibibytesOnCount) {
    TScopedFolder folder;
    const std::string path = (folder / "big.wav").string();
    const TLayout layout{.Rate = 44100};
    WriteFile(path, Canonical(layout, 0xFFFFFFF0u));
    std::filesystem::resize_file(path, 44 + std::uint64_t{0xFFFFFFF0u});
    TWavInfo info;
    info.ReadHeader(path);
    EXPECT_EQ(info.Seconds(), static_cast<int>(0xFFFFFFF0u / layout.ByteRate()));
    EXPECT_FALSE(info.Truncated());

    std::istringstream inMemory(Canonical(layout, 176400) + Audio(176400));
    TWavInfo streamed;
    streamed.ReadStream(inMemory);
    EXPECT_EQ(streamed.Seconds(), 1);
}
