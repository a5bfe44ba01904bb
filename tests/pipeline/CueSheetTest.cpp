#include "pipeline/CueSheet.h"

#include "tools/ToolTestSupport.h"

#include <array>
#include <cstdlib>
#include <gtest/gtest.h>

using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

const std::string Head =
    "REM GENRE Jazz\r\nREM DATE 1959\r\nREM COMMENT \"ExactAudioCopy v1.0\"\r\n"
    "CATALOG 0000000000000\r\nPERFORMER \"Band\"\r\nTITLE \"Album\"\r\n";

TCueSheet Parsed(const std::string& text) {
    TCueSheet sheet;
    EXPECT_TRUE(sheet.Parse(text, "disc.cue")) << sheet.Error();
    return sheet;
}

} // namespace

TEST(CueSheet, ReadsAlbumTracksAndIndexesOfSeveralFiles) {
    const TCueSheet sheet =
        Parsed(Head + "FILE \"Disc one.flac\" WAVE\r\n"
                      "  TRACK 01 AUDIO\r\n    TITLE \"Intro\"\r\n    ISRC USAAA0000001\r\n"
                      "    INDEX 01 00:00:00\r\n"
                      "  TRACK 02 AUDIO\r\n    TITLE \"Song\"\r\n    PERFORMER \"Guest\"\r\n"
                      "    FLAGS DCP\r\n    INDEX 00 02:59:70\r\n    INDEX 01 03:00:01\r\n"
                      "FILE \"two.wav\" WAVE\r\n  TRACK 03 AUDIO\r\n    INDEX 00 00:00:00\r\n"
                      "    INDEX 01 00:02:00\r\n  TRACK 04 AUDIO\r\n    INDEX 01 100:00:74\r\n");
    EXPECT_EQ(sheet.Title, "Album");
    EXPECT_EQ(sheet.Performer, "Band");
    EXPECT_EQ(sheet.Date, "1959");
    EXPECT_EQ(sheet.Genre, "Jazz");
    EXPECT_EQ(sheet.Comment, "ExactAudioCopy v1.0");
    ASSERT_EQ(sheet.Files.size(), 2u);
    EXPECT_EQ(sheet.Files[0].Name, "Disc one.flac");
    EXPECT_EQ(sheet.Files[1].Line, 18);
    ASSERT_EQ(sheet.Tracks.size(), 4u);
    EXPECT_EQ(sheet.Tracks[1].Title, "Song");
    EXPECT_EQ(sheet.Tracks[1].Performer, "Guest");
    EXPECT_EQ(sheet.Tracks[0].Performer, "");
    // INDEX 01 is the start; a pregap before it plays with the track before.
    EXPECT_EQ(sheet.Tracks[1].Start, 3u * 60 * 75 + 1);
    EXPECT_EQ(sheet.EndOf(0), sheet.Tracks[1].Start);
    EXPECT_EQ(sheet.EndOf(1), 0u);
    EXPECT_EQ(sheet.Tracks[2].File, 1u);
    EXPECT_EQ(sheet.Tracks[2].Start, 150u);
    EXPECT_EQ(sheet.Tracks[3].Start, 100u * 60 * 75 + 74);
    // 588 samples a frame at 44.1 kHz, the frame's exact time at other rates.
    EXPECT_EQ(TCueSheet::SampleAt(sheet.Tracks[1].Start, 44100), 13501u * 588);
    EXPECT_EQ(TCueSheet::SampleAt(1, 48000), 640u);
    EXPECT_EQ(TCueSheet::SampleAt(1, 22050), 294u);
    EXPECT_EQ(TCueSheet::SampleAt(2, 8000), 213u);
    EXPECT_EQ(TCueSheet::TimeText(13501), "03:00:01");
}

TEST(CueSheet, TextIsUtf8WithOrWithoutBomElseWindows1252) {
    const std::string body = "FILE a.wav WAVE\nTRACK 01 AUDIO\nTITLE \"";
    const std::string tail = "\"\nINDEX 01 00:00:00\n";
    EXPECT_EQ(Parsed("\xEF\xBB\xBF" + body + "Caf\xC3\xA9 \xE2\x82\xAC" + tail).Tracks[0].Title,
              "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(Parsed(body + "Caf\xC3\xA9" + tail).Tracks[0].Title, "Caf\xC3\xA9");
    EXPECT_EQ(Parsed(body + "Caf\xE9 \x80" + tail).Tracks[0].Title, "Caf\xC3\xA9 \xE2\x82\xAC");
    // A name without quotes keeps its blanks; a bare LF or a last line without one ends a line.
    EXPECT_EQ(Parsed("FILE my disc.ape WAVE\nTRACK 1 audio\nINDEX 1 0:00:00").Files[0].Name,
              "my disc.ape");
}

TEST(CueSheet, WhatItCannotUseIsNamedWithSheetAndLine) {
    struct TCase {
        std::string Text;
        std::string Error;
    };
    const std::string file = "FILE \"a.wav\" WAVE\n";
    const std::string one = file + "TRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    for (const TCase& c : std::vector<TCase>{
             {"", "disc.cue: holds no TRACK"},
             {"TRACK 01 AUDIO\n", "disc.cue, line 1: TRACK comes before any FILE"},
             {file + "TRACK 01 MODE1/2352\nINDEX 01 00:00:00\n", "disc.cue: holds no audio track"},
             {"FILE \"a.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n",
              "disc.cue: holds no audio track"},
             {file + "TRACK 00 AUDIO\n", "line 2: TRACK needs a number from 01 to 99"},
             {file + "TRACK 01 AUDIO\nINDEX 01 00:60:00\n", "line 3: INDEX needs a number and"},
             {file + "TRACK 01 AUDIO\nINDEX 01 00:00:75\n", "line 3: INDEX needs"},
             {file + "TRACK 01 AUDIO\nINDEX 01 1:2\n", "line 3: INDEX needs"},
             {file + "INDEX 01 00:00:00\n", "line 2: INDEX comes before any TRACK"},
             {file + "TRACK 01 AUDIO\nTRACK 02 AUDIO\n", "line 2: track 01 has no INDEX 01"},
             {one + "TRACK 01 AUDIO\n", "line 4: track 01 follows track 01"},
             {one + "TRACK 02 AUDIO\nINDEX 01 00:00:00\n",
              "line 5: track 02 starts at 00:00:00, not after track 01 at 00:00:00"},
             {one + "INDEX 01 00:00:01\n", "line 4: track 01 has a second INDEX 01"},
             {one + "TITLE \"open\n", "line 4: a quote is not closed"},
             {"FILE a.wav\n", "line 1: FILE needs a file name and a type"},
             {one + std::string("TITLE \"a\0b\"\n", 12), "line 4: holds a zero byte"},
         }) {
        TCueSheet sheet;
        EXPECT_FALSE(sheet.Parse(c.Text, "disc.cue")) << c.Text;
        EXPECT_NE(sheet.Error().find(c.Error), std::string::npos) << sheet.Error();
        EXPECT_EQ(sheet.Error().rfind("disc.cue", 0), 0u) << sheet.Error();
    }
}

TEST(CueSheet, ImageIsFoundByItsNameThenByTheSheetsName) {
    TScopedFolder dir;
    const std::string sheetPath = (dir / "Album.cue").string();
    const auto found = [&](const std::string& text) {
        TCueSheet sheet;
        EXPECT_TRUE(sheet.Parse(text, sheetPath)) << sheet.Error();
        const std::string image = sheet.FindImage(sheetPath, 0);
        return image.empty() ? image : image.substr(dir.Path.string().size() + 1);
    };
    const std::string tracks = " WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    EXPECT_EQ(found("FILE \"CD.wav\"" + tracks), "");
    WriteFile(dir / "Album.ape", "x");
    // Renamed by a ripper: the sheet's own name with an audio extension.
    EXPECT_EQ(found("FILE \"CD.wav\"" + tracks), "Album.ape");
    WriteFile(dir / "CD.flac", "x");
    // Compressed after ripping: the named file with another audio extension comes first.
    EXPECT_EQ(found("FILE \"CD.wav\"" + tracks), "CD.flac");
    WriteFile(dir / "cd.WAV", "x");
    EXPECT_EQ(found("FILE \"C:\\rips\\CD.wav\"" + tracks), "cd.WAV");
    WriteFile(dir / "CD.wav", "x");
    EXPECT_EQ(found("FILE \"CD.wav\"" + tracks), "CD.wav");
    // With two files the sheet's name says nothing about either.
    TCueSheet two;
    ASSERT_TRUE(two.Parse("FILE \"x.wav\"" + tracks + "FILE \"y.wav\" WAVE\n", sheetPath));
    EXPECT_EQ(two.FindImage(sheetPath, 0), "");
}

namespace {

// The sheet the encoding cases share, in any character type: its commands are ASCII.
template <class TText> TText SheetOf(const std::array<TText, 5>& texts) {
    const auto ascii = [](std::string_view part) { return TText(part.begin(), part.end()); };
    return ascii("REM GENRE Rock\r\nPERFORMER \"") + texts[0] + ascii("\"\r\nTITLE \"") + texts[1] +
           ascii("\"\r\nFILE \"") + texts[2] +
           ascii("\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"") + texts[3] +
           ascii("\"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE \"") + texts[4] +
           ascii("\"\r\n    INDEX 01 00:01:00\r\n");
}

// Characters of the basic plane only, as the sheets hold.
std::string Utf16(const std::u32string& text, bool bigEndian, bool mark) {
    std::string bytes = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (const char32_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

std::string Utf32Le(const std::u32string& text) {
    std::string bytes = std::string("\xFF\xFE\0\0", 4);
    for (const char32_t c : text)
        for (int k = 0; k < 4; ++k)
            bytes += static_cast<char>((c >> (8 * k)) & 0xFF);
    return bytes;
}

using TTexts = std::array<std::string, 5>;
using TWide = std::array<std::u32string, 5>;

const TTexts RussianUtf8 = {"Кино", "Группа крови", "Группа крови.flac", "Группа крови",
                            "Закрой за мной дверь"};
const TWide Russian32 = {U"Кино", U"Группа крови", U"Группа крови.flac", U"Группа крови",
                         U"Закрой за мной дверь"};
// Written by Python's codecs, so that no decoder here is its own oracle.
const TTexts Russian1251 = {"\xCA\xE8\xED\xEE", "\xC3\xF0\xF3\xEF\xEF\xE0\x20\xEA\xF0\xEE\xE2\xE8",
                            "\xC3\xF0\xF3\xEF\xEF\xE0\x20\xEA\xF0\xEE\xE2\xE8.flac",
                            "\xC3\xF0\xF3\xEF\xEF\xE0\x20\xEA\xF0\xEE\xE2\xE8",
                            "\xC7\xE0\xEA\xF0\xEE\xE9\x20\xE7\xE0\x20\xEC\xED\xEE\xE9\x20\xE4\xE2"
                            "\xE5\xF0\xFC"};
const TTexts ChineseUtf8 = {"周杰伦", "范特西", "范特西.flac", "爱在西元前", "简单爱"};
const TWide Chinese32 = {U"周杰伦", U"范特西", U"范特西.flac", U"爱在西元前", U"简单爱"};
const TTexts ChineseGbk = {"\xD6\xDC\xBD\xDC\xC2\xD7", "\xB7\xB6\xCC\xD8\xCE\xF7",
                           "\xB7\xB6\xCC\xD8\xCE\xF7.flac",
                           "\xB0\xAE\xD4\xDA\xCE\xF7\xD4\xAA\xC7\xB0", "\xBC\xF2\xB5\xA5\xB0\xAE"};
const TTexts JapaneseUtf8 = {"宇多田ヒカル", "ファースト・ラヴ", "ファースト・ラヴ.flac",
                             "オートマティック", "タイム・リミット"};
const TWide Japanese32 = {U"宇多田ヒカル", U"ファースト・ラヴ", U"ファースト・ラヴ.flac",
                          U"オートマティック", U"タイム・リミット"};
const TTexts JapaneseSjis = {
    "\x89\x46\x91\xBD\x93\x63\x83\x71\x83\x4A\x83\x8B",
    "\x83\x74\x83\x40\x81\x5B\x83\x58\x83\x67\x81\x45\x83\x89\x83\x94",
    "\x83\x74\x83\x40\x81\x5B\x83\x58\x83\x67\x81\x45\x83\x89\x83\x94.flac",
    "\x83\x49\x81\x5B\x83\x67\x83\x7D\x83\x65\x83\x42\x83\x62\x83\x4E",
    "\x83\x5E\x83\x43\x83\x80\x81\x45\x83\x8A\x83\x7E\x83\x62\x83\x67"};
// A detector takes these for Central European; only the curly quotes are 8-bit.
const TTexts QuotesUtf8 = {"The Band", "Don’t Stop", "Don’t Stop.flac", "“Live” Version",
                           "It’s Over"};
const TTexts Quotes1252 = {"The Band", "Don\x92t Stop", "Don\x92t Stop.flac",
                           "\x93Live\x94 Version", "It\x92s Over"};

} // namespace

TEST(CueSheet, EveryEncodingGivesItsTitlesAndImageName) {
    struct TCase {
        std::string Name;
        std::string Bytes;
        // The system's code page.
        int CodePage;
        TTexts Expected;
    };
    const std::vector<TCase> cases = {
        {"UTF-16 LE with a mark", Utf16(SheetOf(Russian32), false, true), 1252, RussianUtf8},
        {"UTF-16 BE with a mark", Utf16(SheetOf(Chinese32), true, true), 1252, ChineseUtf8},
        {"UTF-16 LE without one", Utf16(SheetOf(Japanese32), false, false), 1252, JapaneseUtf8},
        {"UTF-16 BE without one", Utf16(SheetOf(Russian32), true, false), 1251, RussianUtf8},
        {"UTF-32 LE with a mark", Utf32Le(SheetOf(Chinese32)), 1252, ChineseUtf8},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + SheetOf(JapaneseUtf8), 932, JapaneseUtf8},
        {"UTF-8 under a Russian system", SheetOf(RussianUtf8), 1251, RussianUtf8},
        {"1251 under a Russian system", SheetOf(Russian1251), 1251, RussianUtf8},
        {"1251 under an English one", SheetOf(Russian1251), 1252, RussianUtf8},
        {"1251 under a Japanese one", SheetOf(Russian1251), 932, RussianUtf8},
        {"GBK under a Chinese system", SheetOf(ChineseGbk), 936, ChineseUtf8},
        {"GBK under an English one", SheetOf(ChineseGbk), 1252, ChineseUtf8},
        {"Shift-JIS under a Japanese system", SheetOf(JapaneseSjis), 932, JapaneseUtf8},
        {"Shift-JIS under an English one", SheetOf(JapaneseSjis), 1252, JapaneseUtf8},
        {"1252 curly quotes", SheetOf(Quotes1252), 1252, QuotesUtf8},
        {"1252 curly quotes under an English system", SheetOf(Quotes1252), 0, QuotesUtf8},
    };
    // Code page 0 follows the locale.
    setenv("LC_ALL", "en_GB.UTF-8", 1);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TCueSheet sheet;
        ASSERT_TRUE(sheet.Parse(c.Bytes, "disc.cue", c.CodePage)) << sheet.Error();
        EXPECT_EQ(sheet.Performer, c.Expected[0]);
        EXPECT_EQ(sheet.Title, c.Expected[1]);
        ASSERT_EQ(sheet.Files.size(), 1u);
        EXPECT_EQ(sheet.Files[0].Name, c.Expected[2]);
        ASSERT_EQ(sheet.Tracks.size(), 2u);
        EXPECT_EQ(sheet.Tracks[0].Title, c.Expected[3]);
        EXPECT_EQ(sheet.Tracks[1].Title, c.Expected[4]);
        EXPECT_EQ(sheet.Tracks[1].Start, 75u);
        EXPECT_TRUE(sheet.Warnings.empty());
    }
    unsetenv("LC_ALL");
}

TEST(CueSheet, ToleratesWhatRippersAndEditorsWrite) {
    const TCueSheet sheet =
        Parsed("# written by hand\n// and edited\n; twice\nrem composer \"\"\nmcn 0724349830224\n"
               "\tREM DISCNUMBER 2\n  REM TOTALDISCS 3\nREM COMPILATION TRUE\nREM COMPOSER \"\"\n"
               "songwriter Old Master\nCOMMENT nobody reads this\nARRANGER someone\n"
               "GENRE again\ncomment twice\n\n\nfile \"Disc one.flac\" wave\n"
               "\ttrack 01 audio\n\t\ttitle Unquoted Words Here\n\t\tflags dcp\n"
               "\t\tpregap 00:02:00\n\t\tindex 01 00:00:00\n\t\tindex 02 00:10:00\n"
               "\t\tpostgap 00:01:00\n\ttrack 02 audio\n\t\tisrc USAAA0000001\n"
               "\t\tREM COMPOSER Young One\n\t\tindex 00 01:00:00\n"
               "\ttrack 03 audio\n\t\tindex 01 02:00:00");
    EXPECT_EQ(sheet.Disc, "2");
    EXPECT_EQ(sheet.TotalDiscs, "3");
    EXPECT_TRUE(sheet.Compilation);
    EXPECT_EQ(sheet.Composer, "Old Master");
    ASSERT_EQ(sheet.Tracks.size(), 3u);
    EXPECT_EQ(sheet.Tracks[0].Title, "Unquoted Words Here");
    // Only INDEX 00: the track starts there.
    EXPECT_EQ(sheet.Tracks[0].End, 60u * 75);
    EXPECT_EQ(sheet.Tracks[1].Start, 60u * 75);
    EXPECT_EQ(sheet.Tracks[1].Songwriter, "Young One");
    EXPECT_EQ(sheet.Tracks[2].Start, 120u * 75);
    // Each unknown command once, with its first line; the known ones say nothing.
    ASSERT_EQ(sheet.Warnings.size(), 3u);
    EXPECT_EQ(sheet.Warnings[0], "disc.cue, line 11: unknown command COMMENT ignored");
    EXPECT_NE(sheet.Warnings[1].find("ARRANGER"), std::string::npos);
    EXPECT_NE(sheet.Warnings[2].find("line 13: unknown command GENRE"), std::string::npos);
}

// Rippers end a file with the next track's INDEX 00 and repeat that track in the next file.
TEST(CueSheet, ATrackRepeatedAfterAFileSwitchContinues) {
    const TCueSheet sheet =
        Parsed("FILE \"01.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
               "INDEX 00 03:58:12\nFILE \"02.wav\" WAVE\nTRACK 02 AUDIO\nTITLE \"Second\"\n"
               "INDEX 01 00:00:00\nTRACK 03 AUDIO\nINDEX 00 04:00:00\nFILE \"03.wav\" WAVE\n"
               "INDEX 01 00:00:00\n");
    ASSERT_EQ(sheet.Tracks.size(), 3u);
    EXPECT_EQ(sheet.Tracks[0].End, 0u);
    EXPECT_EQ(sheet.Tracks[1].File, 1u);
    EXPECT_EQ(sheet.Tracks[1].Title, "Second");
    EXPECT_EQ(sheet.Tracks[1].End, 0u);
    EXPECT_EQ(sheet.Tracks[2].File, 2u);
}

TEST(CueSheet, DataTracksAreLeftOutWithOneLine) {
    // An enhanced CD: the data session after the audio, past the image's end.
    const TCueSheet enhanced =
        Parsed("FILE \"cd.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
               "INDEX 01 00:01:00\nTRACK 03 MODE1/2352\nINDEX 01 70:00:00\nTRACK 04 CDG\n"
               "INDEX 01 71:00:00\n");
    ASSERT_EQ(enhanced.Tracks.size(), 2u);
    EXPECT_EQ(enhanced.Tracks[1].End, 70u * 60 * 75);
    ASSERT_EQ(enhanced.Warnings.size(), 1u);
    EXPECT_EQ(enhanced.Warnings[0],
              "disc.cue: not audio, left out: track 03 (MODE1/2352), 04 (CDG)");
    // A data track in a raw image of its own is no concern of the audio.
    const TCueSheet mixed =
        Parsed("FILE \"data.bin\" BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n"
               "FILE \"audio.wav\" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n");
    ASSERT_EQ(mixed.Tracks.size(), 1u);
    EXPECT_EQ(mixed.Tracks[0].Number, 2);
}

// Audio before track 1's INDEX 01 is never dropped.
TEST(CueSheet, AHiddenTrackBeforeTrackOneIsKept) {
    const std::string head = "TITLE \"Album\"\nFILE \"cd.wav\" WAVE\nTRACK 01 AUDIO\n";
    const TCueSheet longer = Parsed(head + "INDEX 00 00:00:00\nINDEX 01 00:01:01\n");
    ASSERT_EQ(longer.Tracks.size(), 2u);
    EXPECT_EQ(longer.Tracks[0].Number, 0);
    EXPECT_EQ(longer.Tracks[0].Title, "Album");
    EXPECT_EQ(longer.Tracks[0].Start, 0u);
    EXPECT_EQ(longer.Tracks[0].End, 76u);
    EXPECT_EQ(longer.Tracks[1].Start, 76u);
    // A second or less joins track 1.
    const TCueSheet shorter = Parsed(head + "INDEX 01 00:01:00\n");
    ASSERT_EQ(shorter.Tracks.size(), 1u);
    EXPECT_EQ(shorter.Tracks[0].Start, 0u);
    // A pregap in a file of its own is that file.
    const TCueSheet own = Parsed("FILE \"00.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n"
                                 "FILE \"01.wav\" WAVE\nINDEX 01 00:00:00\n");
    ASSERT_EQ(own.Tracks.size(), 2u);
    EXPECT_EQ(own.Tracks[0].File, 0u);
    EXPECT_EQ(own.Tracks[0].End, 0u);
    EXPECT_EQ(own.Tracks[1].File, 1u);
}

TEST(CueSheet, ASheetNamedAfterItsImageWithTheExtensionFindsIt) {
    TScopedFolder dir;
    WriteFile(dir / "Album.flac", "x");
    WriteFile(dir / "Album.ape", "x");
    const std::string sheetPath = (dir / "Album.flac.cue").string();
    TCueSheet sheet;
    ASSERT_TRUE(sheet.Parse("FILE \"CD.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00", sheetPath));
    EXPECT_EQ(sheet.FindImage(sheetPath, 0), (dir / "Album.flac").string());
}
