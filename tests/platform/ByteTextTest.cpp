#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"

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
