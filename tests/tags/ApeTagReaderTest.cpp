#include "tags/ApeTagReader.h"

#include "tags/MemorySource.h"

#include <gtest/gtest.h>
#include <vector>

using namespace std::string_literals;

namespace {

enum Slot { Title, Artist, Track, Album, Comment, Genre, Year };

std::string Le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

std::string Item(const std::string& key, const std::string& value) {
    return Le32(static_cast<std::uint32_t>(value.size())) + Le32(0) + key + '\0' + value;
}

std::string Footer(std::uint32_t tagSize, std::uint32_t itemCount) {
    return "APETAGEX" + Le32(2000) + Le32(tagSize) + Le32(itemCount) + Le32(0) +
           std::string(8, '\0');
}

// Items followed by their footer, with the true size and count unless told otherwise.
std::string ApeTag(const std::vector<std::string>& items, int count = -1) {
    std::string tag;
    for (const std::string& item : items)
        tag += item;
    const auto n = static_cast<std::uint32_t>(count < 0 ? items.size() : count);
    return tag + Footer(static_cast<std::uint32_t>(tag.size() + 32), n);
}

std::string Trailer(const std::string& title, std::uint8_t genre = 0xFF,
                    const std::string& comment = "", std::uint8_t track = 0) {
    std::string block = "TAG" + std::string(125, '\0');
    block.replace(3, title.size(), title);
    block.replace(33, 6, "artist");
    block.replace(63, 5, "album");
    block.replace(93, 4, "2001");
    block.replace(97, comment.size(), comment);
    if (track != 0)
        block[126] = static_cast<char>(track);
    block[127] = static_cast<char>(genre);
    return block;
}

const std::string Audio(300, '\x55');

std::vector<std::string> Read(const std::string& file,
                              std::vector<std::string> values = std::vector<std::string>(7)) {
    TMemorySource source(
        std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    TApeTagReader reader;
    reader.ReadTags(source, values);
    return values;
}

} // namespace

TEST(ApeTagReader, ReadsAnId3v1Trailer) {
    const auto v = Read(Audio + Trailer("Title  ", 17, std::string(28, 'c'), 200));
    EXPECT_EQ(v[Title], "Title  ");
    EXPECT_EQ(v[Artist], "artist");
    EXPECT_EQ(v[Album], "album");
    EXPECT_EQ(v[Year], "2001");
    EXPECT_EQ(v[Comment], std::string(28, 'c'));
    EXPECT_EQ(v[Track], "200");
    EXPECT_EQ(v[Genre], "Rock");
}

TEST(ApeTagReader, TrailerWithoutTrackIsRevisionZero) {
    std::string trailer = Trailer("t", 0, std::string(30, 'c'));
    EXPECT_EQ(Read(Audio + trailer)[Comment], std::string(30, 'c'));
    EXPECT_EQ(Read(Audio + trailer)[Track], "");
    trailer.replace(97, 30, std::string(30, '\0'));
    EXPECT_EQ(Read(Audio + trailer)[Track], "");
}

TEST(ApeTagReader, TrailerTextIsWindows1252) {
    EXPECT_EQ(Read(Audio + Trailer("caf\xE9 \x80"))[Title], "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(ApeTagReader, TrailerTextFollowsTheCodePageAndTheSheetItemIsReadWhole) {
    const std::string file = Audio + Trailer("\xCC\xE8\xF0");
    TMemorySource source(
        std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
    TApeTagReader reader;
    reader.CodePage = 1251;
    std::vector<std::string> values(7);
    reader.ReadTags(source, values);
    EXPECT_EQ(values[Title], "Мир");
    // A sheet is far longer than the values the reader keeps otherwise.
    const std::string sheet = "FILE \"a.wav\" WAVE\n" + std::string(2000, ' ') + "TRACK 01 AUDIO\n";
    const std::string tagged = Audio + ApeTag({Item("Title", "t"), Item("CUESHEET", sheet)});
    TMemorySource ape(
        std::span(reinterpret_cast<const std::uint8_t*>(tagged.data()), tagged.size()));
    EXPECT_EQ(TApeTagReader().ReadCueSheet(ape, 1 << 20), sheet);
    EXPECT_EQ(TApeTagReader().ReadCueSheet(ape, 100), "");
}

TEST(ApeTagReader, TrailerGenresComeFromTheOwnList) {
    const std::pair<int, std::string> genres[] = {{17, "Rock"},
                                                  {40, "Alternative Rock"},
                                                  {64, "Native US"},
                                                  {123, "Acappella"},
                                                  {127, "Drum & Bass"},
                                                  {128, ""},
                                                  {130, ""},
                                                  {147, ""},
                                                  {255, ""}};
    for (const auto& [genre, name] : genres)
        EXPECT_EQ(Read(Audio + Trailer("t", static_cast<std::uint8_t>(genre)))[Genre], name)
            << genre;
}

TEST(ApeTagReader, KeysInAnyCaseFillAllSevenValues) {
    const auto v =
        Read(Audio + ApeTag({Item("title", "T"), Item("ARTIST", "A"), Item("Track", "3/9"),
                             Item("AlBuM", "L"), Item("comment", "C"), Item("GENRE", "G"),
                             Item("yEaR", "1984")}));
    EXPECT_EQ(v, (std::vector<std::string>{"T", "A", "3/9", "L", "C", "G", "1984"}));
    const auto names = Read(Audio + ApeTag({Item("tracknumber", "5"), Item("Date", "1990")}));
    EXPECT_EQ(names[Track], "5");
    EXPECT_EQ(names[Year], "1990");
}

TEST(ApeTagReader, ApeValuesOverrideTheTrailerAndLaterItemsEarlierOnes) {
    const auto v = Read(Audio +
                        ApeTag({Item("Title", "def"), Item("Artist", "first"),
                                Item("Artist", "second"), Item("Album", "")}) +
                        Trailer("abc"));
    EXPECT_EQ(v[Title], "def");
    EXPECT_EQ(v[Artist], "second");
    EXPECT_EQ(v[Album], "") << "an empty item empties the trailer's value";
    EXPECT_EQ(v[Year], "2001");
}

TEST(ApeTagReader, ValuesAreUtf8UpToAZeroByte) {
    const auto v = Read(Audio + ApeTag({Item("Title", "Gr\xC3\xBC\xC3\x9F"
                                                      "e"),
                                        Item("Artist", "before\0after"s),
                                        Item("Album", "ok\xC3"
                                                      "A")}));
    EXPECT_EQ(v[Title], "Gr\xC3\xBC\xC3\x9F"
                        "e");
    EXPECT_EQ(v[Artist], "before");
    EXPECT_EQ(v[Album], "ok");
}

TEST(ApeTagReader, UnknownAndOversizedItemsAreSkippedWhole) {
    const std::string picture(100, '\xFF');
    const std::string huge(5000, 'h');
    const std::string longTitle(2000, 't');
    const auto v =
        Read(Audio + ApeTag({Item("Cover Art (Front)", picture), Item("Artist", "A"),
                             Item("Binary", huge), Item("Title", longTitle), Item("Album", "L")}));
    EXPECT_EQ(v[Artist], "A");
    EXPECT_EQ(v[Title], longTitle);
    EXPECT_EQ(v[Album], "L");
}

TEST(ApeTagReader, AKeyEndsAtAByteAbove127) {
    const std::string item = Le32(1) + Le32(0) + "Title\xE9" + "x";
    EXPECT_EQ(Read(Audio + ApeTag({item, Item("Artist", "A")}))[Title], "x");
}

// Counts and sizes the tag claims never take reading into the trailer or past the file.
TEST(ApeTagReader, ClaimsBeyondTheTagStopAtItsEnd) {
    const std::string trailer = Trailer("abc");
    const auto tooMany = Read(Audio + ApeTag({Item("Title", "T")}, 1000000) + trailer);
    EXPECT_EQ(tooMany[Title], "T");
    EXPECT_EQ(tooMany[Artist], "artist");

    const std::string bigValue =
        Le32(0xFFFFFFF0) + Le32(0) + "Title" + '\0' + "short" + Item("Artist", "A");
    const auto claimed = Read(Audio + ApeTag({bigValue}) + trailer);
    EXPECT_EQ(claimed[Title], "abc");

    const auto beyond = Read(Audio + Item("Title", "T") + Footer(1 << 30, 1) + trailer);
    EXPECT_EQ(beyond[Title], "abc");
    const auto tiny = Read(Audio + Item("Title", "T") + Footer(8, 1) + trailer);
    EXPECT_EQ(tiny[Title], "abc");
}

TEST(ApeTagReader, WithoutTagsTheValuesKeepWhatTheyHeld) {
    const std::vector<std::string> held = {"1", "2", "3", "4", "5", "6", "7"};
    EXPECT_EQ(Read(Audio, held), held);
    EXPECT_EQ(Read("TAG" + std::string(100, 'x'), held), held) << "shorter than a trailer";
    EXPECT_EQ(Read(std::string(80, 'x') + ApeTag({Item("Title", "T")}), held)[Title], "1")
        << "a tag alone in a file shorter than a trailer";
    EXPECT_EQ(Read(Audio + ApeTag({Item("Title", "T")}), held)[Title], "T");
}

TEST(ApeTagReader, ReadsTheTaggedTestFile) {
    std::vector<std::string> values(7);
    TApeTagReader reader;
    reader.ReadTags(PARVANE_TESTDATA_DIR "/ape/mac-399-tagged.ape", values);
    EXPECT_EQ(reader.Id3v1Length, 128);
    EXPECT_EQ(values[Title], std::string(2048, 'x'));
    EXPECT_EQ(values[Artist], std::string(2048, 'x'));
    EXPECT_EQ(values[Album], std::string(2048, 'x'));
    EXPECT_EQ(values[Comment], "");
    EXPECT_EQ(values[Genre], "");
    EXPECT_EQ(values[Year], "");
}

TEST(ApeTagReader, UntaggedTestFilesGiveNothing) {
    for (const char* name : {"mac-399.ape", "mac-399-id3v2.ape", "mac-396.ape", "zerodiv.ape"}) {
        std::vector<std::string> values(7);
        TApeTagReader reader;
        reader.ReadTags(std::string(PARVANE_TESTDATA_DIR "/ape/") + name, values);
        EXPECT_EQ(values, std::vector<std::string>(7)) << name;
        EXPECT_EQ(reader.Id3v1Length, 0) << name;
    }
}

TEST(ApeTagReader, FrontCoverIsTheImageAfterTheItemsFileName) {
    const auto cover = [](const std::string& file, std::size_t maxImage = 100) {
        TMemorySource source(
            std::span(reinterpret_cast<const std::uint8_t*>(file.data()), file.size()));
        const std::vector<std::uint8_t> image = TApeTagReader().ReadFrontCover(source, maxImage);
        return std::string(image.begin(), image.end());
    };
    const std::string item = Item("cover art (FRONT)", "a.jpg\0JP\0G"s);
    EXPECT_EQ(cover(Audio + ApeTag({Item("Title", "t"), item}) + Trailer("x")), "JP\0G"s);
    EXPECT_EQ(cover(Audio + ApeTag({item}), 3), "");
    EXPECT_EQ(cover(Audio + ApeTag({Item("Cover Art (Back)", "b\0PNG"s)})), "");
}
