#include "TagTestFiles.h"
#include "tags/Id3v1library.h"
#include "tags/Id3v2library.h"

#include <gtest/gtest.h>

namespace {

const std::vector<std::string> Values = {"--tt",
                                         "Gr\xC3\xBC\xC3\x9F"
                                         "e",
                                         "--ta",
                                         "The Artist",
                                         "--tl",
                                         "Album \xC3\xA9t\xC3\xA9",
                                         "--ty",
                                         "1999",
                                         "--tc",
                                         "a comment",
                                         "--tn",
                                         "3/12",
                                         "--tg",
                                         "Rock"};

class LameTags : public testing::Test {
protected:
    void SetUp() override { WriteSilentWav(Wav); }

    // Encodes the silence with these tag options and returns the MP3 file.
    std::string Encode(std::vector<std::string> options) {
        const std::string mp3 = Folder.File("out" + std::to_string(++Count) + ".mp3");
        options.insert(options.begin(), "--quiet");
        options.push_back(Wav);
        options.push_back(mp3);
        EXPECT_EQ(RunTool("lame", options), 0);
        return mp3;
    }

    static std::vector<std::string> With(std::vector<std::string> first,
                                         const std::vector<std::string>& second) {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    }

    TTempFolder Folder;
    std::string Wav = Folder.File("silence.wav");
    int Count = 0;
};

std::string Comment(const TID3v2Tag& tag) {
    TLanguageID language{};
    std::string description;
    return tag.GetUnicodeComment("COMM", language, description);
}

} // namespace

TEST_F(LameTags, Id3v2Latin1ValuesReadBack) {
    const std::string mp3 = Encode(With({"--id3v2-only", "--id3v2-latin1"}, Values));
    TID3v2Tag tag;
    ASSERT_EQ(tag.LoadFromFile(mp3), TID3v2Tag::ResultOk);
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "Gr\xC3\xBC\xC3\x9F"
                                          "e");
    EXPECT_EQ(tag.Frames[tag.FrameExists("TIT2")]->Stream[0], 0) << "stored as Latin-1";
    EXPECT_EQ(tag.GetUnicodeText("TPE1"), "The Artist");
    EXPECT_EQ(tag.GetUnicodeText("TALB"), "Album \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(tag.GetUnicodeText("TYER"), "1999");
    EXPECT_EQ(tag.GetUnicodeText("TRCK"), "3/12");
    EXPECT_EQ(tag.GetUnicodeText("TCON"), "Rock");
    EXPECT_EQ(Comment(tag), "a comment");

    TID3v1Tag v1;
    EXPECT_EQ(v1.LoadFromFile(mp3), TID3v1Tag::ResultNoTag);
}

TEST_F(LameTags, Id3v2UnicodeValuesReadBack) {
    const std::string title = "\xD0\x9F\xD1\x91\xD1\x82\xD1\x80 \xE6\x97\xA5\xE6\x9C\xAC";
    const std::string comment = "\xCE\xB1\xCE\xB2\xCE\xB3 \xE2\x82\xAC";
    const std::string mp3 =
        Encode({"--id3v2-only", "--id3v2-utf16", "--tt", title, "--tc", comment, "--ta", "plain"});
    TID3v2Tag tag;
    ASSERT_EQ(tag.LoadFromFile(mp3), TID3v2Tag::ResultOk);
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), title);
    EXPECT_EQ(tag.Frames[tag.FrameExists("TIT2")]->Stream[0], 1) << "stored as UTF-16";
    EXPECT_EQ(tag.GetUnicodeText("TPE1"), "plain");
    EXPECT_EQ(Comment(tag), comment);
}

TEST_F(LameTags, Id3v1ValuesReadBack) {
    const std::string mp3 = Encode(With({"--id3v1-only"}, Values));
    TID3v2Tag v2;
    EXPECT_EQ(v2.LoadFromFile(mp3), TID3v2Tag::ResultNoTag);
    TID3v1Tag tag;
    ASSERT_EQ(tag.LoadFromFile(mp3), TID3v1Tag::ResultOk);
    EXPECT_EQ(tag.Title, "Gr\xC3\xBC\xC3\x9F"
                         "e");
    EXPECT_EQ(tag.Artist, "The Artist");
    EXPECT_EQ(tag.Album, "Album \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.Comment, "a comment");
    EXPECT_EQ(tag.Track, 3);
    EXPECT_EQ(tag.Genre, "Rock");
}

TEST_F(LameTags, BothTagsReadBackFromOneFile) {
    const std::string longTitle(40, 't');
    const std::string mp3 = Encode({"--add-id3v2", "--tt", longTitle, "--ta", "Both"});
    TID3v2Tag v2;
    ASSERT_EQ(v2.LoadFromFile(mp3), TID3v2Tag::ResultOk);
    EXPECT_EQ(v2.GetUnicodeText("TIT2"), longTitle);
    EXPECT_EQ(v2.GetUnicodeText("TPE1"), "Both");
    TID3v1Tag v1;
    ASSERT_EQ(v1.LoadFromFile(mp3), TID3v1Tag::ResultOk);
    EXPECT_EQ(v1.Title, std::string(30, 't'));
    EXPECT_EQ(v1.Artist, "Both");
}

TEST(ApeFileId3v2, ReadsTheTagInFrontOfTheAudio) {
    TID3v2Tag tag;
    ASSERT_EQ(tag.LoadFromFile(PARVANE_TESTDATA_DIR "/ape/mac-399-id3v2.ape"), TID3v2Tag::ResultOk);
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "TitleXXXX");
    EXPECT_EQ(tag.GetUnicodeText("TPE1"), "ArtistXXXX");
    EXPECT_EQ(tag.GetUnicodeText("TALB"), "AlbumXXXX");
}
