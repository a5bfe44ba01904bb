#include "platform/Console.h"

#include <gtest/gtest.h>

using platform::TConsole;
using Rows = std::vector<std::string>;

namespace {

std::string Probe() {
    return std::string(PARVANE_APP_DIR) + "console-probe";
}

Rows RunToEnd(const std::vector<std::string>& argv, int width = 265, int height = 200) {
    TConsole& console = TConsole::Instance();
    EXPECT_TRUE(console.Prepare(width, height));
    EXPECT_TRUE(console.Start(argv, ""));
    while (!console.Wait(150)) {
    }
    console.Finish();
    return console.Snapshot();
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

struct ScreenCase {
    const char* Pushed;
    Rows Expected;
};

} // namespace

// Bytes a tool writes, and the rows the snapshot must then hold.
TEST(Console, ScreenRowsFollowWhatTheToolWrote) {
    const ScreenCase cases[] = {
        {"", {""}},
        {"ABC", {"ABC"}},
        {"ABC   \n", {"ABC"}},
        {"a\n\nb\n\n\n", {"a", "", "b"}},
        {"  indented\n", {"  indented"}},
        {"12% complete\r34% complete", {"34% complete"}},
        {"10% complete\b\b\b\b\b\b\b\b\b\b\b\b20% complete", {"20% complete"}},
        {"ABC\x1b[HX", {"XBC"}},
        {"red \x1b[31mtext\x1b[0m", {"red text"}},
        {"caf\xC3\xA9 \xE2\x82\xAC", {"caf\xC3\xA9 \xE2\x82\xAC"}},
        {"\xE6\x97\xA5\xE6\x9C\xAC|", {"\xE6\x97\xA5\xE6\x9C\xAC|"}},
        {"top\x1b[5;1Hrow five", {"top", "", "", "", "row five"}},
    };
    for (const ScreenCase& c : cases)
        EXPECT_EQ(RunToEnd({Probe(), "raw", Hex(c.Pushed)}), c.Expected) << Hex(c.Pushed);
}

TEST(Console, KeepsTheLastRowsWhenOutputScrolls) {
    Rows rows = RunToEnd({Probe(), "lines", "250"});
    ASSERT_EQ(rows.size(), 199u); // the cursor's empty last row is not text
    EXPECT_EQ(rows.front(), "line 52");
    EXPECT_EQ(rows.back(), "line 250");
}

TEST(Console, EachRunStartsOnABlankScreen) {
    RunToEnd({Probe(), "lines", "30"});
    EXPECT_EQ(RunToEnd({Probe(), "raw", Hex("only")}), Rows{"only"});
}

TEST(Console, ToolsGetATerminalOfTheRequestedSizeAndTheirEnvironment) {
    Rows rows = RunToEnd({"/bin/sh", "-c", "stty size; tty -s && echo tty; echo $TERM $LC_ALL"});
    EXPECT_EQ(rows, (Rows{"200 265", "tty", "xterm C.UTF-8"}));
}

TEST(Console, RefusesWhatCannotBeStarted) {
    TConsole& console = TConsole::Instance();
    ASSERT_TRUE(console.Prepare(265, 200));
    EXPECT_FALSE(console.Start({}, ""));
    EXPECT_FALSE(console.Start({"/nonexistent/tool"}, ""));
    EXPECT_FALSE(console.Start({"/etc/hostname"}, ""));
    EXPECT_FALSE(console.Start({Probe()}, "/nonexistent/folder"));
}

TEST(Console, SnapshotOfAFullScreen) {
    std::string full;
    for (int row = 0; row < 200; ++row)
        full += std::string(265, static_cast<char>('a' + row % 26));
    Rows rows = RunToEnd({Probe(), "raw", Hex(full.substr(0, full.size() - 1))});
    ASSERT_EQ(rows.size(), 200u);
    EXPECT_EQ(rows[0], std::string(265, 'a'));
    EXPECT_EQ(rows[199], std::string(264, 'r'));
}
