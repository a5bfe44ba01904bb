#include "platform/CommandLine.h"

#include <gtest/gtest.h>
#include <random>

using platform::QuoteText;
using platform::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(CommandLine, SplitsAtBlanksOutsideGroups) {
    EXPECT_EQ(SplitCommandLine(""), Args{});
    EXPECT_EQ(SplitCommandLine("   "), Args{});
    EXPECT_EQ(SplitCommandLine("a  b c"), (Args{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("-cbr 192000 -if \"x y.wav\""),
              (Args{"-cbr", "192000", "-if", "x y.wav"}));
}

TEST(CommandLine, GroupsKeepQuotesBlanksAndEmptyArguments) {
    EXPECT_EQ(SplitCommandLine("\"\""), Args{""});
    EXPECT_EQ(SplitCommandLine("a \"\" b"), (Args{"a", "", "b"}));
    EXPECT_EQ(SplitCommandLine("\"say \"\"hi\"\"\""), Args{"say \"hi\""});
    // A -meta: argument is a prefix glued to a quoted value: one argument.
    EXPECT_EQ(SplitCommandLine("-meta:Title=\"A \"\"B\"\"\""), Args{"-meta:Title=A \"B\""});
    EXPECT_EQ(SplitCommandLine("\"unterminated group"), Args{"unterminated group"});
}

TEST(CommandLine, QuoteDoublesInnerQuotes) {
    EXPECT_EQ(QuoteText(""), "\"\"");
    EXPECT_EQ(QuoteText("a\"b"), "\"a\"\"b\"");
}

// Whatever a path or tag value holds, quoting it and splitting the line gives it back unchanged.
TEST(CommandLine, SplitIsTheInverseOfQuotingForAnyText) {
    const std::string alphabet[] = {"a",
                                    " ",
                                    "\"",
                                    "\"\"",
                                    "$",
                                    "`",
                                    ";",
                                    "*",
                                    "\\",
                                    "'",
                                    "\t",
                                    "\xC3\xA9",
                                    "\xE2\x82\xAC",
                                    "\xF0\x9F\x8E\xB5",
                                    "-"};
    std::mt19937 random(12345);
    for (int round = 0; round < 2000; ++round) {
        Args args;
        std::string line;
        int count = 1 + static_cast<int>(random() % 5);
        for (int i = 0; i < count; ++i) {
            std::string arg;
            int length = static_cast<int>(random() % 12);
            for (int k = 0; k < length; ++k)
                arg += alphabet[random() % std::size(alphabet)];
            args.push_back(arg);
            if (i)
                line += ' ';
            line += QuoteText(arg);
        }
        ASSERT_EQ(SplitCommandLine(line), args) << line;
    }
}
