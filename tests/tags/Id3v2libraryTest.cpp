#include "tags/Id3v2library.h"

#include "TagTestFiles.h"
#include "tags/MemorySource.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

std::string Be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

std::string SyncSafe(std::uint32_t v) {
    return {static_cast<char>((v >> 21) & 0x7F), static_cast<char>((v >> 14) & 0x7F),
            static_cast<char>((v >> 7) & 0x7F), static_cast<char>(v & 0x7F)};
}

std::string Flags16(std::uint16_t flags) {
    return {static_cast<char>(flags >> 8), static_cast<char>(flags)};
}

std::string Frame3(const std::string& id, const std::string& data, std::uint16_t flags = 0) {
    return id + Be32(static_cast<std::uint32_t>(data.size())) + Flags16(flags) + data;
}

std::string Frame4(const std::string& id, const std::string& data, std::uint16_t flags = 0) {
    return id + SyncSafe(static_cast<std::uint32_t>(data.size())) + Flags16(flags) + data;
}

// Every FF followed by a byte of 0xE0 or more, by 00 or by nothing gets a 00 after it.
std::string Unsynchronise(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        const auto next = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if (static_cast<unsigned char>(bytes[i]) == 0xFF && (next >= 0xE0 || next == 0))
            out += '\0';
    }
    return out;
}

std::string Tag(int version, const std::string& body, std::uint8_t flags = 0) {
    return std::string("ID3") + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
           SyncSafe(static_cast<std::uint32_t>(body.size())) + body;
}

int Load(TID3v2Tag& tag, const std::string& bytes) {
    TMemorySource source(AsBytes(bytes));
    return tag.LoadFromStream(source);
}

std::string TextOf(const std::string& frameData) {
    TID3v2Tag tag;
    Load(tag, Tag(3, Frame3("TIT2", frameData)));
    return tag.GetUnicodeText("TIT2");
}

struct TComment {
    std::string Content;
    std::string Description;
    std::string Language;
};

TComment CommentOf(const std::string& frameData) {
    TID3v2Tag tag;
    Load(tag, Tag(3, Frame3("COMM", frameData)));
    TLanguageID language{};
    TComment comment;
    comment.Content = tag.GetUnicodeComment("COMM", language, comment.Description);
    comment.Language.assign(language.begin(), language.end());
    return comment;
}

const std::string Nul(1, '\0');

} // namespace

TEST(Id3v2Load, RefusesWhatIsNoTag) {
    for (const std::string& bytes :
         {std::string("\xFF\xFB\x90\x64") + std::string(100, '\0'), Tag(5, Frame3("TIT2", "x")),
          "ID3\x03\x00"s, std::string("id3\x03") + std::string(20, '\0')}) {
        TID3v2Tag tag;
        EXPECT_EQ(Load(tag, bytes), TID3v2Tag::ResultNoTag);
        EXPECT_FALSE(tag.Loaded);
        EXPECT_EQ(tag.FrameCount(), 0);
    }
}

TEST(Id3v2Load, ScanEndsAtTheFirstPositionWithoutAFrameId) {
    const std::string two = Frame3("TIT2", "\x00one"s) + Frame3("TPE1", "\x00two"s);
    for (const std::string& after :
         {std::string(64, '\0'), "\xFF\xFB\x90\x64"s, Frame3("tit2", "\x00x"s),
          Frame3("TI 2", "\x00x"s), Tag(3, Frame3("TALB", "\x00x"s)), std::string()}) {
        TID3v2Tag tag;
        ASSERT_EQ(Load(tag, Tag(3, two) + after), TID3v2Tag::ResultOk);
        ASSERT_EQ(tag.FrameCount(), 2);
        EXPECT_EQ(tag.FrameExists("TPE1"), 1);
        EXPECT_EQ(tag.GetUnicodeText("TPE1"), "two");
    }
}

TEST(Id3v2Load, FrameOfSizeZeroIsEmptyAndTheNextIsRead) {
    TID3v2Tag tag;
    Load(tag, Tag(3, Frame3("TIT2", "") + Frame3("TPE1", "\x00me"s)));
    ASSERT_EQ(tag.FrameCount(), 2);
    EXPECT_TRUE(tag.Frames[0]->Stream.empty());
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "");
    EXPECT_EQ(tag.GetUnicodeText("TPE1"), "me");
}

TEST(Id3v2Load, Version4SizesAreSyncSafe) {
    const std::string long200 = '\0' + std::string(199, 'a');
    TID3v2Tag tag;
    Load(tag, Tag(4, Frame4("TIT2", long200) + Frame4("TPE1", "\x00me"s)));
    ASSERT_EQ(tag.FrameCount(), 2);
    EXPECT_EQ(tag.Frames[0]->Size, 200u);
    EXPECT_EQ(tag.Frames[0]->Stream.size(), 200u);
    EXPECT_EQ(tag.GetUnicodeText("TPE1"), "me");
}

// Grouping, encryption and a data length indicator add bytes to the header in the order of
// their flags; an encrypted frame's data is passed over.
TEST(Id3v2Load, ExtraHeaderBytesAreTakenOffTheData) {
    // Version 4: grouping (0x40), encryption (0x04), data length indicator (0x01).
    const std::string dliOnly = SyncSafe(0);
    TID3v2Tag tag;
    Load(tag, Tag(4, Frame4("TIT2", "\x07\x02"s + SyncSafe(300) + "\x00hi"s, 0x0045) +
                         Frame4("TPE1", dliOnly, 0x0001) +
                         Frame4("TPE2", "\x07"s + SyncSafe(3) + "\x00me"s, 0x0041) +
                         Frame4("TALB", "\x00ok"s)));
    ASSERT_EQ(tag.FrameCount(), 4);
    const TID3v2Frame& first = *tag.Frames[0];
    EXPECT_TRUE(first.GroupingIdentity && first.Encrypted && first.DataLengthIndicator);
    EXPECT_EQ(first.GroupIdentifier, 7);
    EXPECT_EQ(first.EncryptionMethod, 2);
    EXPECT_EQ(first.DataLengthIndicatorValue, 300u);
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "");
    EXPECT_TRUE(tag.Frames[1]->Stream.empty());
    EXPECT_EQ(tag.GetUnicodeText("TPE2"), "me");
    EXPECT_EQ(tag.GetUnicodeText("TALB"), "ok");

    // Version 3: compression (0x80) with its size, encryption (0x40), grouping (0x20).
    TID3v2Tag tag3;
    Load(tag3, Tag(3, Frame3("TIT2", "\x01\x00secret"s, 0x0060) +
                          Frame3("TPE1", "\x09\x00grouped"s, 0x0020) + Frame3("TALB", "\x00ok"s)));
    ASSERT_EQ(tag3.FrameCount(), 3);
    EXPECT_EQ(tag3.Frames[0]->EncryptionMethod, 1);
    EXPECT_EQ(tag3.Frames[0]->GroupIdentifier, 0);
    EXPECT_EQ(tag3.GetUnicodeText("TIT2"), "");
    EXPECT_EQ(tag3.Frames[1]->GroupIdentifier, 9);
    EXPECT_EQ(tag3.GetUnicodeText("TPE1"), "grouped");
    EXPECT_EQ(tag3.GetUnicodeText("TALB"), "ok");
}

// A tag unsynchronised as a whole is undone before its frames are read: sizes count the real
// bytes, and a UTF-16 mark stored as FF 00 FE is a mark again.
TEST(Id3v2Load, WholeTagUnsynchronisationIsUndoneFirst) {
    const std::string utf16 = "\x01\xFF\xFEN\x00\xE4\x00\xFF\x00"s;
    for (int version : {2, 3}) {
        SCOPED_TRACE(version);
        const auto frame = [&](const std::string& id, const std::string& data) {
            return version == 3
                       ? Frame3(id, data)
                       : id.substr(0, 3) + Be32(static_cast<std::uint32_t>(data.size())).substr(1) +
                             data;
        };
        const std::string frames = frame(version == 3 ? "TIT2" : "TT2", utf16) +
                                   frame(version == 3 ? "TPE1" : "TP1", "\x01\xFF\xFE\xFF\x00"s) +
                                   frame(version == 3 ? "TALB" : "TAL", "\x00later"s);
        const std::string stuffed = Unsynchronise(frames);
        ASSERT_NE(stuffed, frames);
        TID3v2Tag tag;
        EXPECT_EQ(Load(tag, Tag(version, stuffed, 0x80)), TID3v2Tag::ResultOk);
        EXPECT_EQ(tag.GetUnicodeText("TIT2"), "N\xC3\xA4\xC3\xBF");
        EXPECT_EQ(tag.GetUnicodeText("TPE1"), "\xC3\xBF");
        EXPECT_EQ(tag.GetUnicodeText("TALB"), "later");
        EXPECT_FALSE(tag.Frames[0]->Unsynchronised);
    }
}

TEST(Id3v2Load, CompressedAndUnsynchronisedFramesKeepTheirStoredBytes) {
    TID3v2Tag tag;
    Load(tag, Tag(3, Frame3("TIT2", Be32(50) + "\x78\x9C\x01", 0x0080)));
    ASSERT_EQ(tag.FrameCount(), 1);
    EXPECT_TRUE(tag.Frames[0]->Compressed);
    EXPECT_EQ(tag.Frames[0]->DataLengthIndicatorValue, 50u);
    EXPECT_EQ(tag.Frames[0]->Stream.size(), 3u);
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "");

    TID3v2Tag unsynchronised;
    Load(unsynchronised, Tag(4, Frame4("TIT2", "\x01\xFF\x00\xFE\x41\x00"s, 0x0002)));
    ASSERT_EQ(unsynchronised.FrameCount(), 1);
    EXPECT_TRUE(unsynchronised.Frames[0]->Unsynchronised);
    EXPECT_EQ(unsynchronised.GetUnicodeText("TIT2"), "A");
}

TEST(Id3v2Load, Version3FlagsAndTagUnsynchronisation) {
    TID3v2Tag tag;
    Load(tag, Tag(3, Frame3("TIT2", "\x00x"s, 0xE060), 0x80));
    EXPECT_TRUE(tag.Unsynchronised);
    ASSERT_EQ(tag.FrameCount(), 1);
    const TID3v2Frame& frame = *tag.Frames[0];
    EXPECT_TRUE(frame.TagAlterPreservation && frame.FileAlterPreservation && frame.ReadOnly);
    EXPECT_TRUE(frame.Encrypted && frame.GroupingIdentity);
    EXPECT_FALSE(frame.Compressed || frame.DataLengthIndicator);
    // Its stored bytes were resynchronised with the whole tag.
    EXPECT_FALSE(frame.Unsynchronised);
}

TEST(Id3v2Load, ExtendedHeadersAreSkippedByTheirSize) {
    const std::string frames = Frame3("TIT2", "\x00title"s);
    // Version 3: the size leaves out its own four bytes (flags, padding size, CRC here).
    const std::string ext3 = Be32(10) + Flags16(0x8000) + Be32(0) + Be32(0x12345678);
    TID3v2Tag tag3;
    Load(tag3, Tag(3, ext3 + frames, 0x40));
    EXPECT_EQ(tag3.ExtendedHeader3Flags, 0x8000);
    EXPECT_EQ(tag3.GetUnicodeText("TIT2"), "title");

    // Version 4: a synchsafe size that counts the whole header, here with a CRC flag.
    const std::string ext4 = SyncSafe(12) + "\x01\x20" + "\x01\x02\x03\x04\x05"s + Nul;
    TID3v2Tag tag4;
    Load(tag4, Tag(4, ext4 + Frame4("TIT2", "\x00title"s), 0x40));
    EXPECT_EQ(tag4.ExtendedHeader4Flags, std::vector<std::uint8_t>{0x20});
    EXPECT_EQ(tag4.GetUnicodeText("TIT2"), "title");

    TID3v2Tag flaggedWithout;
    Load(flaggedWithout, Tag(3, frames, 0x40));
    EXPECT_FALSE(flaggedWithout.ExtendedHeader);
    EXPECT_EQ(flaggedWithout.GetUnicodeText("TIT2"), "title");
}

TEST(Id3v2Load, DamagedSizeEndsTheScanAndKeepsEarlierFrames) {
    const std::string good = Frame3("TIT2", "\x00ok"s);
    TID3v2Tag tag;
    Load(tag, Tag(3, good + "TPE1" + Be32(500) + Flags16(0) + "\x00short"s));
    ASSERT_EQ(tag.FrameCount(), 2);
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "ok");
    EXPECT_TRUE(tag.Frames[1]->Stream.empty());
    EXPECT_EQ(tag.GetUnicodeText("TPE1"), "");
}

// A frame that claims more than the file holds keeps only the whole copy blocks that are there.
TEST(Id3v2Load, ClaimedSizesNeverAllocateBeyondTheFile) {
    const std::string body(130000, 'p');
    TID3v2Tag tag;
    Load(tag, Tag(3, "APIC" + Be32(200000) + Flags16(0) + body));
    ASSERT_EQ(tag.FrameCount(), 1);
    EXPECT_EQ(tag.Frames[0]->Stream.size(), 2u * 61440u);

    const std::pair<int, std::string> claims[] = {
        {3, "APIC" + Be32(0xFFFFFFFF) + Flags16(0) + body},
        // Sizes below the extra header bytes wrap round to nearly 4 GiB.
        {3, "APIC" + Be32(2) + Flags16(0x0080) + body},
        {4, "APIC" + SyncSafe(0) + Flags16(0x0045) + body},
    };
    for (const auto& [version, frame] : claims) {
        TID3v2Tag huge;
        Load(huge, Tag(version, frame));
        ASSERT_EQ(huge.FrameCount(), 1);
        EXPECT_LE(huge.Frames[0]->Stream.capacity(), body.size());
    }
}

std::string Frame2(const std::string& id, const std::string& data) {
    const auto size = static_cast<std::uint32_t>(data.size());
    return id + Be32(size).substr(1) + data;
}

// Older players' tags: three-character IDs and sizes, read under the later frame names.
TEST(Id3v2Load, Version2FramesAreReadUnderTheirLaterNames) {
    TID3v2Tag tag;
    const std::string body = Frame2("TT2", "\x00Title"s) + Frame2("PIC", std::string(300, 'p')) +
                             Frame2("TP1", "\x01\xFF\xFE"
                                           "A\x00r\x00"s) +
                             Frame2("TAL", "\x00"
                                           "Album"s) +
                             Frame2("TYE", "\x00"
                                           "1987"s) +
                             Frame2("TRK", "\x00"
                                           "4/9"s) +
                             Frame2("TCO", "\x00(17)"s) +
                             Frame2("COM", "\x00"
                                           "engdesc\x00words"s) +
                             std::string(10, '\0') + "\xFF\xFB";
    ASSERT_EQ(Load(tag, Tag(2, body)), TID3v2Tag::ResultOk);
    ASSERT_EQ(tag.FrameCount(), 7);
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "Title");
    EXPECT_EQ(tag.GetUnicodeText("TPE1"), "Ar");
    EXPECT_EQ(tag.GetUnicodeText("TALB"), "Album");
    EXPECT_EQ(tag.GetUnicodeText("TYER"), "1987");
    EXPECT_EQ(tag.GetUnicodeText("TRCK"), "4/9");
    EXPECT_EQ(tag.GetUnicodeText("TCON"), "(17)");
    TLanguageID language{};
    std::string description;
    EXPECT_EQ(tag.GetUnicodeComment("COMM", language, description), "words");
    EXPECT_EQ(description, "desc");

    // A frame running past the end keeps the scan's rules: no data, nothing after it.
    TID3v2Tag cut;
    Load(cut, Tag(2, Frame2("TT2", "\x00x"s) + "TP1\x00\x10\x00\x00"
                                               "ab"s));
    ASSERT_EQ(cut.FrameCount(), 2);
    EXPECT_EQ(cut.GetUnicodeText("TPE1"), "");
    // Bit 6 marks a compressed version-2 tag, which has no readable frames.
    TID3v2Tag compressed;
    EXPECT_EQ(Load(compressed, Tag(2, Frame2("TT2", "\x00x"s), 0x40)), TID3v2Tag::ResultOk);
    EXPECT_EQ(compressed.FrameCount(), 0);
}

TEST(Id3v2Genre, ReferencesResolveThroughTheGenreTable) {
    const std::pair<std::string, std::string> cases[] = {{"(17)", "Rock"},
                                                         {"17", "Rock"},
                                                         {"(17)Rock", "Rock"},
                                                         {"(0)", "Blues"},
                                                         {"147", "SynthPop"},
                                                         {"(RX)", "Remix"},
                                                         {"(CR)", "Cover"},
                                                         {"(4)Eurodisco", "Eurodisco"},
                                                         {"(51)(39)", "Techno-Industrial"},
                                                         {"Rock", "Rock"},
                                                         {"", ""},
                                                         {"148", "148"},
                                                         {"(200)", "(200)"},
                                                         {"(abc)x", "(abc)x"},
                                                         {"((odd))", "(odd))"},
                                                         {"(17", "(17"},
                                                         {"1999", "1999"},
                                                         {"-1", "-1"}};
    for (const auto& [stored, genre] : cases)
        EXPECT_EQ(ID3v2GenreToString(stored), genre) << stored;
}

TEST(Id3v2Load, ReloadingDropsTheFramesOfTheLastLoad) {
    TID3v2Tag tag;
    Load(tag, Tag(3, Frame3("TIT2", "\x00x"s)));
    ASSERT_EQ(tag.FrameCount(), 1);
    EXPECT_EQ(Load(tag, "no tag at all"), TID3v2Tag::ResultNoTag);
    EXPECT_EQ(tag.FrameCount(), 0);
}

TEST(Id3v2Load, LoadFromFileReportsMissingFilesAndKeepsTheName) {
    TTempFolder folder;
    const std::string path = folder.File("a.mp3");
    WriteFile(path, Tag(3, Frame3("TIT2", "\x00x"s)));
    TID3v2Tag tag;
    ASSERT_EQ(tag.LoadFromFile(path), TID3v2Tag::ResultOk);
    EXPECT_EQ(tag.FileName, path);
    EXPECT_EQ(tag.LoadFromFile(folder.File("missing.mp3")), TID3v2Tag::ResultFileError);
    EXPECT_EQ(tag.FileName, path);
    EXPECT_EQ(tag.FrameCount(), 0);
}

TEST(Id3v2Frames, LookupIsExactAndFirstWins) {
    TID3v2Tag tag;
    Load(tag, Tag(3, Frame3("TIT2", "\x00one"s) + Frame3("TIT2", "\x00two"s)));
    EXPECT_EQ(tag.FrameExists("TIT2"), 0);
    EXPECT_EQ(tag.FrameExists("tit2"), -1);
    EXPECT_EQ(tag.FrameExists("TIT"), -1);
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "one");
    EXPECT_EQ(tag.GetUnicodeText(1), "two");
    EXPECT_EQ(tag.GetUnicodeText(2), "");
    EXPECT_EQ(tag.GetUnicodeText(-1), "");
    EXPECT_EQ(tag.GetUnicodeText("TPE1"), "");
}

TEST(Id3v2Text, Latin1AndUtf8StopAtTheFirstZero) {
    EXPECT_EQ(TextOf("\x00"
                     "AB\x00"
                     "C"s),
              "AB");
    EXPECT_EQ(TextOf("\x00"
                     "caf\xE9 \x80"s),
              "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(TextOf("\x03"
                     "caf\xC3\xA9"),
              "caf\xC3\xA9");
    EXPECT_EQ(TextOf("\x03"
                     "a\xC3(b"),
              "a\xEF\xBF\xBD(b");
}

TEST(Id3v2Text, Utf16NeedsAMarkAndHonoursItsOrder) {
    EXPECT_EQ(TextOf("\x01\xFF\xFE"
                     "A\x00\xAC\x20\x00\x00"
                     "B\x00"s),
              "A\xE2\x82\xAC");
    EXPECT_EQ(TextOf("\x01\xFE\xFF\x00"
                     "A\x20\xAC"s),
              "A\xE2\x82\xAC");
    EXPECT_EQ(TextOf("\x01"
                     "A\x00"s),
              "");
    EXPECT_EQ(TextOf("\x01\xFF\xFE"
                     "A\x00"
                     "B"s),
              "AB");
    EXPECT_EQ(TextOf("\x01\xFF\xFE\x3C\xD8"
                     "A\x00"s),
              "\xEF\xBF\xBD"
              "A");
}

TEST(Id3v2Text, Utf16WithoutMarkIsBigEndian) {
    EXPECT_EQ(TextOf("\x02\x00"
                     "A\x00"
                     "B"s),
              "AB");
    EXPECT_EQ(TextOf("\x02\xFF\xFE"
                     "A\x00"s),
              "A");
}

TEST(Id3v2Text, UnknownEncodingOrNoTextIsEmpty) {
    EXPECT_EQ(TextOf("\x04"
                     "abc"),
              "");
    EXPECT_EQ(TextOf(std::string(1, '\0')), "");
    EXPECT_EQ(TextOf("\x01"), "");
}

TEST(Id3v2Comment, Latin1AndUtf8) {
    const TComment c = CommentOf("\x00"
                                 "eng\x00"
                                 "hello"s);
    EXPECT_EQ(c.Content, "hello");
    EXPECT_EQ(c.Language, "eng");
    EXPECT_EQ(c.Description, "");

    const TComment d = CommentOf("\x03"
                                 "deu"
                                 "d\xC3\xBC\x00"
                                 "\xC3\xA9t\xC3\xA9"s);
    EXPECT_EQ(d.Description, "d\xC3\xBC");
    EXPECT_EQ(d.Content, "\xC3\xA9t\xC3\xA9");
}

TEST(Id3v2Comment, DescriptionWithoutTerminatorLeavesNoContent) {
    const TComment c = CommentOf("\x00"
                                 "engall description"s);
    EXPECT_EQ(c.Description, "all description");
    EXPECT_EQ(c.Content, "");
}

TEST(Id3v2Comment, Utf16ContentFollowsItsMark) {
    // As lame writes it: an empty description without a mark, then the marked content.
    const TComment lame = CommentOf("\x01"
                                    "eng\x00\x00\xFF\xFE"
                                    "h\x00"
                                    "i\x00"s);
    EXPECT_EQ(lame.Content, "hi");
    const TComment marked = CommentOf("\x01"
                                      "eng\xFF\xFE"
                                      "d\x00\x00\x00\xFE\xFF\x00"
                                      "h"s);
    EXPECT_EQ(marked.Description, "d");
    EXPECT_EQ(marked.Content, "h");
    const TComment searched = CommentOf("\x01"
                                        "eng\x00\x00"
                                        "xy\xFF\xFE"
                                        "h\x00"s);
    EXPECT_EQ(searched.Content, "h");
    EXPECT_EQ(CommentOf("\x01"
                        "eng\x00\x00"
                        "h\x00"s)
                  .Content,
              "");
    const TComment bigEndian = CommentOf("\x02"
                                         "eng\x00"
                                         "d\x00\x00\x00"
                                         "h"s);
    EXPECT_EQ(bigEndian.Description, "d");
    EXPECT_EQ(bigEndian.Content, "h");
}

TEST(Id3v2Comment, ShortOrMissingFramesGiveEmptyResults) {
    EXPECT_EQ(CommentOf("\x00"
                        "en"s)
                  .Language,
              "en\0"s);
    EXPECT_EQ(CommentOf("\x07"
                        "eng"
                        "text")
                  .Content,
              "");
    TID3v2Tag tag;
    TLanguageID language{'x', 'x', 'x'};
    std::string description = "old";
    EXPECT_EQ(tag.GetUnicodeComment("COMM", language, description), "");
    EXPECT_EQ(language, (TLanguageID{}));
    EXPECT_EQ(description, "");
}

std::string CoverOf(const std::string& tagBytes, std::size_t maxImage = 1000) {
    TID3v2Tag tag;
    TMemorySource source(AsBytes(tagBytes));
    const std::vector<std::uint8_t> image = tag.ReadFrontCover(source, maxImage);
    return {image.begin(), image.end()};
}

// Type 3 wins over an earlier picture, whatever the description's encoding; without one the
// first picture serves; unsynchronised frames come back as the image was.
TEST(Id3v2Cover, FrontCoverIsTheTypeThreePictureElseTheFirst) {
    const std::string other = Frame3("APIC", "\x00image/png\x00\x00other\x00OTHER"s);
    const std::string utf16 = Frame3("APIC", "\x01image/jpeg\x00\x03\xFF\xFE\x78\x00\x00\x00JPEG"s);
    EXPECT_EQ(CoverOf(Tag(3, Frame3("TIT2", "\x00t"s) + other + utf16)), "JPEG");
    EXPECT_EQ(CoverOf(Tag(3, other + Frame3("APIC", "\x02\x00\x03\x00\x78\x00\x00\x00\x00"
                                                    "BE"s))),
              "\x00\x00"
              "BE"s);
    EXPECT_EQ(CoverOf(Tag(2, "PIC\x00\x00\x0A\x00PNG\x04x\x00PNG"s + "TT2\x00\x00\x02\x00t"s)),
              "PNG");
    // Version 4: a data length indicator before the data, and frame unsynchronisation.
    EXPECT_EQ(
        CoverOf(Tag(4, Frame4("APIC", SyncSafe(9) + "\x03/\x00\x03\x00\xFF\x00\xD8\xFF"s, 0x0003))),
        "\xFF\xD8\xFF");
    EXPECT_EQ(CoverOf(Tag(3, Unsynchronise(Frame3("APIC", "\x00/\x00\x03\x00\xFF\xD8"s)), 0x80)),
              "\xFF\xD8");
    // Nothing from a compressed picture, one larger than asked for, or a head without its end.
    EXPECT_EQ(CoverOf(Tag(3, Frame3("APIC", "\x00/\x00\x03\x00zz"s, 0x0080))), "");
    EXPECT_EQ(CoverOf(Tag(3, utf16), 3), "");
    EXPECT_EQ(CoverOf(Tag(3, Frame3("APIC", "\x01/\x00\x03\xFF\xFE\x78\x00"s))), "");
}

TEST(Id3v2Text, Version4KeepsEveryValueAndOlderVersionsTheFirst) {
    const auto text = [](int version, const std::string& data) {
        TID3v2Tag tag;
        Load(tag, Tag(version, version == 4 ? Frame4("TPE1", data) : Frame3("TPE1", data)));
        return tag.GetUnicodeText("TPE1");
    };
    EXPECT_EQ(text(4, "\x00One\0Two\0"s), "One; Two");
    EXPECT_EQ(text(4, "\x03One\0\0Two"s), "One; Two");
    // Each UTF-16 value brings its mark; one without keeps the order before it.
    EXPECT_EQ(text(4, "\x01\xFF\xFEO\0\0\0\xFE\xFF\0T\0\0\0W"s), "O; T; W");
    EXPECT_EQ(text(4, "\x02\0A\0\0\0B"s), "A; B");
    EXPECT_EQ(text(3, "\x00One\0Two"s), "One");
}

TEST(Id3v2Text, Encoding0IsInTheChosenCodePage) {
    TID3v2Tag tag;
    Load(tag, Tag(3, Frame3("TIT2", "\x00\xCF\xF0\xE8\xE2\xE5\xF2"s)));
    tag.CodePage = 1251;
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "Привет");
    tag.CodePage = 1252;
    EXPECT_EQ(tag.GetUnicodeText("TIT2"), "Ïðèâåò");
}
