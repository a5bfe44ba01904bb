#include "tags/Id3v1library.h"

#include "TagTestFiles.h"
#include "tags/MemorySource.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

// A block with the given fields, each padded with zero bytes to its width.
std::string Block(const std::string& title, const std::string& comment = "",
                  std::uint8_t genre = 0xFF) {
    std::string block = "TAG" + std::string(125, '\0');
    block.replace(3, title.size(), title);
    block.replace(97, comment.size(), comment);
    block[127] = static_cast<char>(genre);
    return block;
}

int Load(TID3v1Tag& tag, const std::string& bytes) {
    TMemorySource source(AsBytes(bytes));
    return tag.LoadFromStream(source);
}

class TFailingSource : public TByteSource {
public:
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
        const std::string block = Block("title");
        std::copy_n(block.begin(), std::min(count, block.size()), buffer);
        return 10;
    }
    bool Seek(std::uint64_t) override { return true; }
    std::uint64_t Position() const override { return 0; }
    std::uint64_t Size() const override { return 128; }
    bool Failed() const override { return true; }
};

} // namespace

TEST(Id3v1Load, EmptyBlockIsATagWithGenreBlues) {
    TID3v1Tag tag;
    ASSERT_EQ(Load(tag, "TAG" + std::string(125, '\0')), TID3v1Tag::ResultOk);
    EXPECT_TRUE(tag.Loaded);
    EXPECT_EQ(tag.Title + tag.Artist + tag.Album + tag.Year + tag.Comment, "");
    EXPECT_EQ(tag.Genre, "Blues");
    EXPECT_EQ(tag.Track, 0);
    EXPECT_TRUE(tag.Revision1);
}

TEST(Id3v1Load, ReadsEveryFieldAtItsOffset) {
    std::string block = Block("Title  ", "", 17);
    block.replace(33, 30, std::string(30, 'r'));
    block.replace(63, 5, "Album");
    block.replace(93, 4, "1999");
    block.replace(97, 7, "comment");
    block[126] = 7;
    TID3v1Tag tag;
    ASSERT_EQ(Load(tag, block), TID3v1Tag::ResultOk);
    EXPECT_EQ(tag.Title, "Title  ");
    EXPECT_EQ(tag.Artist, std::string(30, 'r'));
    EXPECT_EQ(tag.Album, "Album");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.Comment, "comment");
    EXPECT_EQ(tag.Track, 7);
    EXPECT_TRUE(tag.Revision1);
    EXPECT_EQ(tag.Genre, "Rock");
}

TEST(Id3v1Load, RevisionOneCommentEndsBeforeTheTrack) {
    TID3v1Tag tag;
    std::string block = Block("t", std::string(28, 'c'));
    block[126] = 12;
    Load(tag, block);
    EXPECT_EQ(tag.Comment, std::string(28, 'c'));
    EXPECT_EQ(tag.Track, 12);

    TID3v1Tag full;
    Load(full, Block("t", std::string(30, 'c')));
    EXPECT_EQ(full.Comment, std::string(30, 'c'));
    EXPECT_EQ(full.Track, 0);
    EXPECT_FALSE(full.Revision1);
}

TEST(Id3v1Load, TextIsWindows1252) {
    TID3v1Tag tag;
    Load(tag, Block("Gr\xFC\xDF"
                    "e \x80\x81"));
    EXPECT_EQ(tag.Title, "Gr\xC3\xBC\xC3\x9F"
                         "e \xE2\x82\xAC\xC2\x81");
}

TEST(Id3v1Load, NoTagIdentifierLeavesTheTagAlone) {
    TID3v1Tag tag;
    Load(tag, Block("kept"));
    EXPECT_EQ(Load(tag, "tag" + std::string(125, 'x')), TID3v1Tag::ResultNoTag);
    EXPECT_EQ(tag.Title, "kept");
    EXPECT_FALSE(tag.Loaded);
}

TEST(Id3v1Load, ReadFailureClearsTheTag) {
    TID3v1Tag tag;
    Load(tag, Block("old"));
    TFailingSource failing;
    EXPECT_EQ(tag.LoadFromStream(failing), TID3v1Tag::ResultReadError);
    EXPECT_EQ(tag.Title, "");
    EXPECT_EQ(tag.Genre, "");
}

TEST(Id3v1File, ReadsTheLastBlockOfTheFile) {
    TTempFolder folder;
    const std::string path = folder.File("a.mp3");
    WriteFile(path, std::string(1000, '\xFF') + Block("end"));
    TID3v1Tag tag;
    ASSERT_EQ(tag.LoadFromFile(path), TID3v1Tag::ResultOk);
    EXPECT_EQ(tag.Title, "end");
    EXPECT_EQ(tag.FileName, path);

    EXPECT_EQ(tag.LoadFromFile(folder.File("missing.mp3")), TID3v1Tag::ResultFileError);
    EXPECT_FALSE(tag.Loaded);
    EXPECT_EQ(tag.Title, "");
    EXPECT_EQ(tag.FileName, path);
}

TEST(Id3v1File, AShortFileIsReadFromItsStart) {
    TTempFolder folder;
    const std::string tagged = folder.File("tagged.mp3");
    WriteFile(tagged, "TAGshort"s);
    TID3v1Tag tag;
    ASSERT_EQ(tag.LoadFromFile(tagged), TID3v1Tag::ResultOk);
    EXPECT_EQ(tag.Title, "short");
    EXPECT_EQ(tag.Genre, "Blues");

    const std::string plain = folder.File("plain.mp3");
    WriteFile(plain, "xxTAG"s);
    EXPECT_EQ(tag.LoadFromFile(plain), TID3v1Tag::ResultNoTag);
}

TEST(Id3v1Genres, NamesAsTheTableSpellsThem) {
    EXPECT_EQ(ID3v1GenreDataToString(0), "Blues");
    EXPECT_EQ(ID3v1GenreDataToString(17), "Rock");
    EXPECT_EQ(ID3v1GenreDataToString(40), "AlternRock");
    EXPECT_EQ(ID3v1GenreDataToString(64), "Native American");
    EXPECT_EQ(ID3v1GenreDataToString(123), "A capella");
    EXPECT_EQ(ID3v1GenreDataToString(136), "Christian Gangsta Rap");
    EXPECT_EQ(ID3v1GenreDataToString(144), "Trash Metal");
    EXPECT_EQ(ID3v1GenreDataToString(147), "SynthPop");
}

TEST(Id3v1Genres, BytesWithoutAnEntryGiveNoGenre) {
    for (const int genre : {148, 200, 253, 254, 255})
        EXPECT_EQ(ID3v1GenreDataToString(static_cast<std::uint8_t>(genre)), "") << genre;
}
