#include "platform/NaturalOrder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return platform::NaturalLess(a, b);
    });
    return names;
}

} // namespace

TEST(NaturalOrder, DigitRunsCompareByValue) {
    EXPECT_EQ(Sorted({"10 - b.flac", "2 - c.flac", "1 - a.flac", "11 - d.flac", "3 - e.flac"}),
              (std::vector<std::string>{"1 - a.flac", "2 - c.flac", "3 - e.flac", "10 - b.flac",
                                        "11 - d.flac"}));
    EXPECT_EQ(Sorted({"cd2 track10", "cd10 track1", "cd2 track9"}),
              (std::vector<std::string>{"cd2 track9", "cd2 track10", "cd10 track1"}));
    // Longer than any integer type: still by value.
    EXPECT_TRUE(platform::NaturalLess("x99999999999999999999999", "x100000000000000000000000"));
}

TEST(NaturalOrder, LettersIgnoreCase) {
    EXPECT_EQ(Sorted({"b.wav", "C.wav", "a.wav", "B2.wav"}),
              (std::vector<std::string>{"a.wav", "b.wav", "B2.wav", "C.wav"}));
    EXPECT_TRUE(platform::NaturalLess("abc", "ABCD"));
    EXPECT_TRUE(platform::NaturalLess("Track", "track 1"));
}

// Names equal but for case or leading zeros still have one order, whatever order they came in.
TEST(NaturalOrder, IsAStrictTotalOrder) {
    const std::vector<std::string> names{"01.mp3", "1.mp3", "A.mp3", "a.mp3", "", "0", "00"};
    for (const auto& a : names) {
        EXPECT_FALSE(platform::NaturalLess(a, a)) << a;
        for (const auto& b : names) {
            if (a != b) {
                EXPECT_NE(platform::NaturalLess(a, b), platform::NaturalLess(b, a))
                    << a << " " << b;
            }
        }
    }
}
