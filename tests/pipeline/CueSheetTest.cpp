#include "pipeline/CueSheet.h"

#include "tools/ToolTestSupport.h"

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
             {file + "TRACK 01 MODE1/2352\n", "line 2: track 01 is a MODE1/2352 track"},
             {"FILE \"a.bin\" BINARY\n", "line 1: the file a.bin holds raw CD data"},
             {file + "TRACK 00 AUDIO\n", "line 2: TRACK needs a number from 01 to 99"},
             {file + "TRACK 01 AUDIO\nINDEX 01 00:60:00\n", "line 3: INDEX needs a number and"},
             {file + "TRACK 01 AUDIO\nINDEX 01 00:00:75\n", "line 3: INDEX needs"},
             {file + "TRACK 01 AUDIO\nINDEX 01 1:2\n", "line 3: INDEX needs"},
             {file + "INDEX 01 00:00:00\n", "line 2: INDEX comes before any TRACK"},
             {file + "TRACK 01 AUDIO\nINDEX 00 00:00:00\n", "line 2: track 01 has no INDEX 01"},
             {file + "TRACK 01 AUDIO\nTRACK 02 AUDIO\n", "line 2: track 01 has no INDEX 01"},
             {one + "TRACK 01 AUDIO\n", "line 4: track 01 follows track 01"},
             {one + "TRACK 02 AUDIO\nINDEX 01 00:00:00\n",
              "line 5: track 02 starts at 00:00:00, not after track 01 at 00:00:00"},
             {one + "INDEX 01 00:00:01\n", "line 4: track 01 has a second INDEX 01"},
             {one + "TITLE \"open\n", "line 4: a quote is not closed"},
             {one + "TITEL x\n", "line 4: unknown command TITEL"},
             {one + "PERFORMER\n", "line 4: PERFORMER needs a text"},
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
