#include "platform/CodePage.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

using platform::Utf16BeToUtf8;
using platform::Utf16LeToUtf8;
using platform::Utf8ToText;
using platform::ValidUtf8;
using platform::Windows1252ToUtf8;

namespace {

using B = std::vector<std::uint8_t>;

const std::string Fffd = "\xEF\xBF\xBD";

} // namespace

TEST(Utf8ToText, DecodesTwoAndThreeByteSequences) {
    EXPECT_EQ(Utf8ToText(B{0x41, 0xC3, 0xA9}), "A\xC3\xA9");
    EXPECT_EQ(Utf8ToText(B{0xE2, 0x82, 0xAC}), "\xE2\x82\xAC");
    EXPECT_EQ(Utf8ToText(std::string_view("plain")), "plain");
}

TEST(Utf8ToText, StopsAtABrokenOrUnfinishedSequence) {
    EXPECT_EQ(Utf8ToText(B{0x41, 0xC3, 0x41}), "A");
    EXPECT_EQ(Utf8ToText(B{0x41, 0xE2, 0x82}), "A");
    EXPECT_EQ(Utf8ToText(B{0x42, 0xE9, 0x42, 0x43}), "B");
}

// Characters beyond U+FFFF would otherwise come out as two unrelated ones.
TEST(Utf8ToText, KeepsFourByteSequences) {
    EXPECT_EQ(Utf8ToText(B{0xF0, 0x9F, 0x8E, 0xB5, 0x21}), "\xF0\x9F\x8E\xB5!");
}

TEST(Utf8ToText, NeverYieldsANulOrASurrogate) {
    EXPECT_EQ(Utf8ToText(B{0xC0, 0x80, 0x41}), Fffd + "A");
    EXPECT_EQ(Utf8ToText(B{0xED, 0xA0, 0x80}), Fffd);
}

TEST(ValidUtf8, PassesWellFormedText) {
    const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5";
    EXPECT_EQ(ValidUtf8(B(text.begin(), text.end())), text);
}

TEST(ValidUtf8, ReplacesEachMaximalInvalidSubpart) {
    EXPECT_EQ(ValidUtf8(B{0x41, 0x80, 0x42}), "A" + Fffd + "B");
    EXPECT_EQ(ValidUtf8(B{0xE2, 0x82}), Fffd);
    EXPECT_EQ(ValidUtf8(B{0xE2, 0x82, 0x41}), Fffd + "A");
    EXPECT_EQ(ValidUtf8(B{0xC0, 0xAF}), Fffd + Fffd);
    EXPECT_EQ(ValidUtf8(B{0xED, 0xA0, 0x80}), Fffd + Fffd + Fffd);
    EXPECT_EQ(ValidUtf8(B{0xF4, 0x90, 0x80, 0x80}), Fffd + Fffd + Fffd + Fffd);
    EXPECT_EQ(ValidUtf8(B{0xFF, 0xFE}), Fffd + Fffd);
}

TEST(Windows1252ToUtf8, MapsTheHighHalfAsWindowsDoes) {
    EXPECT_EQ(Windows1252ToUtf8(B{0x80, 0x9F, 0xE9, 0xFF}), "\xE2\x82\xAC\xC5\xB8\xC3\xA9\xC3\xBF");
    EXPECT_EQ(Windows1252ToUtf8(B{0x8A, 0x93, 0x94}), "\xC5\xA0\xE2\x80\x9C\xE2\x80\x9D");
    EXPECT_EQ(Windows1252ToUtf8(std::string_view("abc")), "abc");
}

TEST(Windows1252ToUtf8, UndefinedBytesBecomeC1Controls) {
    EXPECT_EQ(Windows1252ToUtf8(B{0x81, 0x8D, 0x8F, 0x90, 0x9D}),
              "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(Utf16ToUtf8, ReadsBothByteOrders) {
    EXPECT_EQ(Utf16LeToUtf8(B{0x41, 0x00, 0xAC, 0x20}), "A\xE2\x82\xAC");
    EXPECT_EQ(Utf16BeToUtf8(B{0x00, 0x41, 0x20, 0xAC}), "A\xE2\x82\xAC");
    EXPECT_EQ(Utf16LeToUtf8(B{0x3C, 0xD8, 0xB5, 0xDF}), "\xF0\x9F\x8E\xB5");
    EXPECT_EQ(Utf16BeToUtf8(B{0xD8, 0x3C, 0xDF, 0xB5}), "\xF0\x9F\x8E\xB5");
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacements) {
    EXPECT_EQ(Utf16LeToUtf8(B{0x3C, 0xD8}), Fffd);
    EXPECT_EQ(Utf16LeToUtf8(B{0x3C, 0xD8, 0x41, 0x00}), Fffd + "A");
    EXPECT_EQ(Utf16LeToUtf8(B{0xB5, 0xDF, 0x41, 0x00}), Fffd + "A");
    EXPECT_EQ(Utf16LeToUtf8(B{0x3C, 0xD8, 0x3C, 0xD8, 0xB5, 0xDF}), Fffd + "\xF0\x9F\x8E\xB5");
}

TEST(Utf16ToUtf8, ALoneFinalByteIsAUnitOfItsOwn) {
    EXPECT_EQ(Utf16LeToUtf8(B{0x41, 0x00, 0x42}), "AB");
    EXPECT_EQ(Utf16BeToUtf8(B{0x00, 0x41, 0x42}), "AB");
}

TEST(LocaleCodePage, FollowsTheLanguageAndForChineseTheRegion) {
    const std::vector<std::pair<std::string, int>> cases = {{"ru_RU.UTF-8", 1251},
                                                            {"uk_UA", 1251},
                                                            {"sr_RS@latin", 1251},
                                                            {"zh_CN.GB18030", 936},
                                                            {"zh_SG", 936},
                                                            {"zh_TW.UTF-8", 950},
                                                            {"zh_HK", 950},
                                                            {"ja_JP.eucJP", 932},
                                                            {"ko_KR", 949},
                                                            {"pl_PL", 1250},
                                                            {"el_GR", 1253},
                                                            {"tr_TR", 1254},
                                                            {"he_IL", 1255},
                                                            {"fa_IR", 1256},
                                                            {"lt_LT", 1257},
                                                            {"vi_VN", 1258},
                                                            {"th_TH", 874},
                                                            {"de_DE.UTF-8", 1252},
                                                            {"C", 1252},
                                                            {"POSIX", 1252},
                                                            {"", 1252}};
    for (const auto& [locale, codePage] : cases)
        EXPECT_EQ(platform::LocaleCodePage(locale), codePage) << locale;
}

// As the C library picks the locale of character types; an empty variable counts as unset.
TEST(SystemCodePage, TakesLcAllThenLcCtypeThenLang) {
    setenv("LC_ALL", "", 1);
    setenv("LC_CTYPE", "ja_JP.UTF-8", 1);
    setenv("LANG", "ru_RU.UTF-8", 1);
    EXPECT_EQ(platform::SystemCodePage(), 932);
    unsetenv("LC_CTYPE");
    EXPECT_EQ(platform::SystemCodePage(), 1251);
    setenv("LC_ALL", "el_GR.UTF-8", 1);
    EXPECT_EQ(platform::SystemCodePage(), 1253);
    unsetenv("LC_ALL");
    unsetenv("LANG");
    EXPECT_EQ(platform::SystemCodePage(), 1252);
}

TEST(CodePageToUtf8, ConvertsTheLocalesCodePagesAndMarksWhatItCannotRead) {
    using platform::CodePageToUtf8;
    EXPECT_EQ(CodePageToUtf8(std::string_view("\xCF\xF0\xE8\xE2\xE5\xF2"), 1251), "Привет");
    EXPECT_EQ(CodePageToUtf8(std::string_view("\xC4\xE3\xBA\xC3"), 936), "你好");
    EXPECT_EQ(CodePageToUtf8(std::string_view("\x83\x65\x83\x58\x83\x67"), 932), "テスト");
    EXPECT_EQ(CodePageToUtf8(std::string_view("\xB4\xFA\xB8\xD5"), 950), "測試");
    // 1252 keeps the undefined bytes as C1 controls, as before.
    EXPECT_EQ(CodePageToUtf8(std::string_view("\x80\x81"), 1252), "\xE2\x82\xAC\xC2\x81");
    // A lead byte cut short, and a byte 1251 leaves undefined.
    EXPECT_EQ(CodePageToUtf8(std::string_view("A\xC4"), 936), "A" + Fffd);
    EXPECT_EQ(CodePageToUtf8(std::string_view("\x98z"), 1251), Fffd + "z");
}

TEST(Utf32ToUtf8, ReadsEitherOrderAndMarksAShortUnit) {
    EXPECT_EQ(platform::Utf32ToUtf8(B{0x41, 0, 0, 0, 0x0C, 0x04, 0, 0}, false), "AЌ");
    EXPECT_EQ(platform::Utf32ToUtf8(B{0, 1, 0xF3, 0xB5, 0, 0}, true), "\xF0\x9F\x8E\xB5" + Fffd);
}
