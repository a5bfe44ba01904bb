#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/ImageHeader.h"

#include <cstdint>
#include <gtest/gtest.h>

TEST(ByteOrder, ReadsBothOrdersWithoutSignExtension) {
    const std::uint8_t bytes[] = {0xFF, 0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    EXPECT_EQ(platform::BigEndian16(bytes), 0xFF80u);
    EXPECT_EQ(platform::BigEndian24(bytes), 0xFF8001u);
    EXPECT_EQ(platform::BigEndian32(bytes), 0xFF800102u);
    EXPECT_EQ(platform::BigEndian(bytes, 8), 0xFF80010203040506ull);
    EXPECT_EQ(platform::LittleEndian32(bytes), 0x020180FFu);
}

TEST(AsciiText, FoldsOnlyAsciiLettersAndLeavesOtherBytes) {
    EXPECT_EQ(platform::AsciiLower("TRACK.FLAC \xC3\x84"), "track.flac \xC3\x84");
    EXPECT_TRUE(platform::SameTextAscii("Content-Length", "content-LENGTH"));
    EXPECT_FALSE(platform::SameTextAscii("Year", "Years"));
    EXPECT_FALSE(platform::SameTextAscii("\xC3\x84", "\xC3\xA4"));
}

// A damaged image must be told apart from a good one: the tagger refuses a picture whose size it
// cannot read, and with it every tag of the file.
TEST(ImageHeader, ReadsKindAndSizeAndFindsNoSizeInADamagedImage) {
    using platform::TImageKind;
    const auto read = [](std::initializer_list<std::uint8_t> bytes) {
        return platform::ReadImageHeader(std::span(bytes.begin(), bytes.size()));
    };
    const auto png = read({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13,
                           'I',  'H', 'D', 'R', 0,    0,    0x01, 0x40, 0, 0, 0, 0xF0});
    EXPECT_EQ(png.Kind, TImageKind::Png);
    EXPECT_EQ(png.Width, 320);
    EXPECT_EQ(png.Height, 240);
    // An APP0 segment, a Huffman table (a marker inside the frame range), then the frame.
    const auto jpeg = read({0xFF, 0xD8, 0xFF, 0xE0, 0,  4, 0,    0,    0xFF, 0xC4, 0,
                            2,    0xFF, 0xC2, 0,    17, 8, 0x01, 0x2C, 0,    0x64});
    EXPECT_EQ(jpeg.Kind, TImageKind::Jpeg);
    EXPECT_EQ(jpeg.Width, 100);
    EXPECT_EQ(jpeg.Height, 300);
    for (const auto& damaged : {read({0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0, 0xFF, 0xD9}),
                                read({0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF, 0, 0, 0, 0, 0}),
                                read({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})}) {
        EXPECT_NE(damaged.Kind, TImageKind::None);
        EXPECT_EQ(damaged.Width, 0);
    }
    EXPECT_EQ(read({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}).Kind, TImageKind::None);
}
