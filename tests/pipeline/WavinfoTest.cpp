#include "pipeline/Wavinfo.h"

#include "tools/ToolTestSupport.h"

#include <cstdint>
#include <gtest/gtest.h>

using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

void Put32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Header(const std::string& magic, std::uint32_t rate, std::uint32_t byteRate,
                   std::uint32_t dataSize) {
    std::string bytes(44, '\0');
    bytes.replace(0, 4, magic);
    bytes.replace(8, 8, "WAVEfmt ");
    bytes.replace(36, 4, "data");
    Put32(bytes, 24, rate);
    Put32(bytes, 28, byteRate);
    Put32(bytes, 40, dataSize);
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
    TWavInfo ten = Read(folder, Header("RIFF", 48000, 192000, 1920000));
    EXPECT_TRUE(ten.Valid);
    EXPECT_EQ(ten.SampleRate(), 48000);
    EXPECT_EQ(ten.Seconds(), 10);
    EXPECT_EQ(Read(folder, Header("RIFF", 48000, 192000, 1919999)).Seconds(), 9);
    EXPECT_EQ(TWavInfo::HeaderSize(), 44);
}

// Only the magic counts; the sample rate is copied whatever the file is.
TEST(WavInfo, AnyOtherMagicIsInvalid) {
    TScopedFolder folder;
    for (const std::string magic : {"riff", "RIFX", "XIFF", "RIF\x01"}) {
        TWavInfo info = Read(folder, Header(magic, 44100, 176400, 176400));
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
    EXPECT_EQ(riffOnly.Seconds(), -1); // byte rate 0: no division

    TWavInfo missing;
    missing.ReadHeader((folder / "none.wav").string());
    EXPECT_FALSE(missing.Valid);
    EXPECT_EQ(missing.Seconds(), -1);
    EXPECT_EQ(missing.SampleRate(), 0);
}

TEST(WavInfo, SizesFromTwoGibibytesOnReadNegative) {
    TScopedFolder folder;
    EXPECT_LT(Read(folder, Header("RIFF", 44100, 176400, 0x80000000u)).Seconds(), 0);
    // The one quotient beyond 32 bits, -2^31 / -1, saturates instead of trapping.
    EXPECT_EQ(Read(folder, Header("RIFF", 44100, 0xFFFFFFFFu, 0x80000000u)).Seconds(), INT32_MAX);
}
