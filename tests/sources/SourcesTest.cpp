// The three tool-based kinds on their own: screen parsers, tags, decoding with the real tools.

#include "SourceTestFiles.h"
#include "pipeline/PipelineTestSupport.h"
#include "platform/Files.h"
#include "platform/MessagePump.h"
#include "platform/ToolNames.h"
#include "sources/Ape.h"
#include "sources/Flac.h"
#include "sources/Mp3.h"

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace sourcetest;
using tooltest::TScopedFolder;

namespace {

std::vector<int> DecodeRecordingPercents(TBase& source) {
    std::vector<int> percents;
    source.OnProgress = [&](TBase& s) { percents.push_back(s.Percent); };
    source.Decode();
    return percents;
}

// The seven arguments in these (quoted) values, then the further ones.
Strings Meta(const Strings& values, const Strings& further = Strings(5, "\"\"")) {
    const Strings names = {"Title", "Artist", "Track", "Album", "Comment", "Genre", "Year"};
    Strings args;
    for (std::size_t i = 0; i < values.size(); ++i)
        args.push_back("-meta:" + names[i] + "=" + values[i]);
    return Further(args, further);
}

// The 128-byte ID3v1 block with a title and a track byte.
std::string Id3v1(const std::string& title, char track) {
    std::string block(128, '\0');
    block.replace(0, 3, "TAG");
    block.replace(3, title.size(), title);
    block[126] = track;
    block[127] = 17;
    return block;
}

} // namespace

TEST(SourceParsers, ReadTheirToolsLinesAndSkipWhatDoesNotParse) {
    using TParse = std::optional<int> (*)(const std::string&);
    const struct {
        TParse Parse;
        std::string Line;
        std::optional<int> Value;
    } cases[] = {
        {TApe::ProgressValue, "Progress: 45.3% (1.2 seconds remaining, 3.4 seconds total)", 45},
        {TApe::ProgressValue, "Progress: 100%", 100},
        {TApe::ProgressValue, "Progress: 4", std::nullopt},
        {TApe::ProgressValue, "Progress: .5%", std::nullopt},
        {TApe::ProgressValue, "progress: 45.3%", std::nullopt},
        {TFlac::ProgressValue, "/music/01 Intro.flac: 7% complete", 7},
        {TFlac::ProgressValue, "/a:b/c: d.flac: 45% complete", 45},
        {TFlac::ProgressValue, "45% complete", std::nullopt},
        {TFlac::ProgressValue, "a.flac: 4x% complete", std::nullopt},
        {TMp3::LameProgressValue, "Frame#  1234/5678  128 kbps", 22},
        {TMp3::LameProgressValue, "Frame#     1/3", 33},
        {TMp3::LameProgressValue, "Frame#     3/3", 100},
        {TMp3::LameProgressValue, "Frame#  6000/5678", 106},
        {TMp3::LameProgressValue, "Frame#     0/99", 0},
        {TMp3::LameProgressValue, "Frame#     5/0", std::nullopt},
        {TMp3::LameProgressValue, "Frame#     5", std::nullopt},
        {TMp3::LameProgressValue, "Frame#     5/x", std::nullopt},
        {TMp3::LameProgressValue, "Frame# 99999999999999/1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Parse(c.Line), c.Value) << c.Line;
}

// Only values rising within one screen report; Percent keeps the last line that parses.
TEST(SourceParsers, ReportRisingValues) {
    TFlac source;
    Strings reports;
    source.OnProgress = [&](TBase& s) { reports.push_back(std::to_string(s.Percent)); };
    source.Cons.ScreenLines = {"a.flac: 0% complete", "a.flac: 30% complete",
                               "a.flac: 20% complete", "a.flac: % complete"};
    source.ParseProgress();
    EXPECT_EQ(reports, Strings{"30"});
    EXPECT_EQ(source.Percent, 20);
}

TEST(SourceKinds, AcceptTheirExtensionInAnyCase) {
    TApe ape;
    TFlac flac;
    TMp3 mp3;
    EXPECT_TRUE(ape.AcceptsFile("/m/Song.APE") && ape.AcceptsFile("/m/a.b/song.ape"));
    EXPECT_FALSE(ape.AcceptsFile("song.ape.bak") || ape.AcceptsFile("song.apex"));
    EXPECT_TRUE(flac.AcceptsFile("A.FLAC") && !flac.AcceptsFile("a.fla"));
    EXPECT_TRUE(mp3.AcceptsFile("A.MP3") && !mp3.AcceptsFile("a.mp3.bak") &&
                !mp3.AcceptsFile("a.mp2"));
    EXPECT_EQ(std::vector<int>({ape.Kind, flac.Kind, mp3.Kind}), std::vector<int>({1, 2, 3}));
}

TEST(ApeTags, UntaggedGivesSevenEmptyEntriesAndTheNameFillsTheTitle) {
    TScopedFolder dir;
    const fs::path named = dir / "01 \"Intro\".ape";
    fs::copy_file(Ape("mac-399.ape"), named);
    TApe plain;
    plain.SetSrcFile(Ape("mac-399.ape"));
    plain.CollectTags();
    EXPECT_EQ(plain.MetaArgs, Meta(Strings(7, "\"\"")));

    TApe titled;
    titled.NameAsTitle = true;
    titled.SetSrcFile(named.string());
    titled.CollectTags();
    ASSERT_EQ(titled.MetaArgs.size(), 12u);
    EXPECT_EQ(titled.MetaArgs[0], "-meta:Title=\"01 \"\"Intro\"\"\"");
    EXPECT_EQ(titled.Title, "01 \"Intro\"");

    TApe missing;
    missing.SrcFile = (dir / "gone.ape").string();
    missing.CollectTags();
    EXPECT_TRUE(missing.MetaArgs.empty());
}

TEST(FlacTags, NoTagsGiveNoArgumentsUnlessTheNameIsTheTitle) {
    TScopedFolder dir;
    const std::string file = MakeFlac(dir / "track 5.final.flac", 0.5);
    TFlac plain;
    plain.SetSrcFile(file);
    plain.CollectTags();
    EXPECT_TRUE(plain.MetaArgs.empty());

    TFlac titled;
    titled.NameAsTitle = true;
    titled.SetSrcFile(file);
    titled.CollectTags();
    EXPECT_EQ(titled.MetaArgs,
              Meta({"\"track 5.final\"", "\"\"", "\"\"", "\"\"", "\"\"", "\"\"", "\"\""}));
}

TEST(Mp3Tags, OneTagOnlyInItsOwnOrderAndTheNameReplacesTheFirstEntry) {
    TScopedFolder dir;
    const std::string v2 = MakeMp3(dir / "v2.mp3", 0.5,
                                   {"--id3v2-only", "--tt", "T\xC3\xA9", "--ta", "A", "--tn",
                                    "3/12", "--tg", "Rock", "--ty", "1999", "--tc", "c"});
    const std::string v1 =
        MakeMp3(dir / "v1.mp3", 0.5,
                {"--id3v1-only", "--tt", "T1", "--tn", "12", "--tg", "Rock", "--ty", "2001"});
    const std::string artistOnly = MakeMp3(dir / "both.mp3", 0.5, {"--id3v2-only", "--ta", "A"});
    const std::string none = MakeMp3(dir / "track 5.final.mp3", 0.5);
    tooltest::WriteFile(dir / "both.mp3", tooltest::ReadFile(artistOnly) + Id3v1("T1", 12));
    const std::string trackZero = (dir / "zero.mp3").string();
    tooltest::WriteFile(trackZero, tooltest::ReadFile(none) + Id3v1("T1", 0));

    const auto collect = [](const std::string& file, bool nameAsTitle) {
        TMp3 source;
        source.NameAsTitle = nameAsTitle;
        source.SetSrcFile(file);
        source.CollectTags();
        EXPECT_TRUE(source.Title.empty() || !nameAsTitle) << file;
        return source.MetaArgs;
    };
    const Strings v2Order = Further(
        {"-meta:Title=\"T\xC3\xA9\"", "-meta:Artist=\"A\"", "-meta:Track=\"3/12\"",
         "-meta:Album=\"\"", "-meta:Genre=\"Rock\"", "-meta:Year=\"1999\"", "-meta:Comment=\"c\""},
        {"\"\"", "\"\"", "\"12\"", "\"\"", "\"\""});
    EXPECT_EQ(collect(v2, false), v2Order);
    EXPECT_EQ(collect(v1, false),
              Meta({"\"T1\"", "\"\"", "\"12\"", "\"\"", "\"\"", "\"Rock\"", "\"2001\""}));
    // The ID3v2 tag's artist is a find: the ID3v1 title is not looked at.
    const Strings artistOnlyArgs =
        Further({"-meta:Title=\"\"", "-meta:Artist=\"A\"", "-meta:Track=\"\"", "-meta:Album=\"\"",
                 "-meta:Genre=\"\"", "-meta:Year=\"\"", "-meta:Comment=\"\""});
    EXPECT_EQ(collect(dir / "both.mp3", false), artistOnlyArgs);
    Strings named = artistOnlyArgs;
    named[0] = "-meta:Title=\"both\"";
    EXPECT_EQ(collect(dir / "both.mp3", true), named);
    EXPECT_EQ(collect(none, false), Strings{});
    EXPECT_EQ(collect(none, true), Strings{"-meta:Title=\"track 5.final\""});
    EXPECT_EQ(collect(trackZero, false),
              Meta({"\"T1\"", "\"\"", "\"\"", "\"\"", "\"\"", "\"Rock\"", "\"\""}));
}

// Tags as current and older taggers and a well-known player write them, on a lame-made MP3.
TEST(Mp3Tags, LaterAndOlderTagVersionsGiveYearGenreAndTheRealComment) {
    using namespace std::string_literals;
    TScopedFolder dir;
    const std::string audio = tooltest::ReadFile(MakeMp3(dir / "bare.mp3", 0.5));
    const auto collect = [&](const std::string& name, const std::string& tag) {
        const fs::path file = dir / name;
        tooltest::WriteFile(file, tag + audio);
        TMp3 source;
        source.SetSrcFile(file.string());
        source.CollectTags();
        return source.MetaArgs;
    };
    const auto v2Order = [](const Strings& values) {
        const Strings names = {"Title", "Artist", "Track", "Album", "Genre", "Year", "Comment"};
        Strings args;
        for (std::size_t i = 0; i < values.size(); ++i)
            args.push_back("-meta:" + names[i] + "=\"" + values[i] + "\"");
        return Further(args);
    };

    const std::string v4 = Id3v2Frame(4, "TIT2", "\x03T\xC3\xADtulo"s) +
                           Id3v2Frame(4, "TDRC",
                                      "\x03"
                                      "2004-05-06"s) +
                           Id3v2Frame(4, "TCON",
                                      "\x03"
                                      "17\x00"
                                      "Rock"s) +
                           ItunesComments(4) +
                           Id3v2Frame(4, "COMM",
                                      "\x03"
                                      "eng\x00real"s) +
                           Id3v2Frame(4, "COMM",
                                      "\x03"
                                      "eng\x00later"s);
    EXPECT_EQ(collect("v4.mp3", Id3v2Tag(4, v4)),
              v2Order({"T\xC3\xADtulo", "", "", "", "Rock", "2004", "real"}));

    const std::string v3 = Id3v2Frame(3, "TCON", "\x00(RX)"s) +
                           Id3v2Frame(3, "TDRC",
                                      "\x00"
                                      "2004"s) +
                           Id3v2Frame(3, "TYER",
                                      "\x00"
                                      "1999"s) +
                           ItunesComments(3);
    EXPECT_EQ(collect("v3.mp3", Id3v2Tag(3, v3)), v2Order({"", "", "", "", "Remix", "1999", ""}));
    EXPECT_EQ(collect("undated.mp3", Id3v2Tag(4, Id3v2Frame(4, "TDRC",
                                                            "\x00"
                                                            "c.1990"s) +
                                                     Id3v2Frame(4, "TCON", "\x00Gothic Folk"s))),
              v2Order({"", "", "", "", "Gothic Folk", "", ""}));

    const std::string v2 = Id3v2Frame(2, "TT2", "\x00Old"s) +
                           Id3v2Frame(2, "TP1",
                                      "\x00"
                                      "Band"s) +
                           Id3v2Frame(2, "TRK",
                                      "\x00"
                                      "2"s) +
                           Id3v2Frame(2, "TAL", "\x00LP"s) + Id3v2Frame(2, "TCO", "\x00(CR)"s) +
                           Id3v2Frame(2, "TYE",
                                      "\x00"
                                      "1979"s) +
                           ItunesComments(2) +
                           Id3v2Frame(2, "COM",
                                      "\x00"
                                      "eng\x00note"s);
    EXPECT_EQ(collect("v2.mp3", Id3v2Tag(2, v2)),
              v2Order({"Old", "Band", "2", "LP", "Cover", "1979", "note"}));
}

// On the real tools' screens: 0 first, never falling, 100 after a good decode; a long decode
// shows values between.
TEST(SourceDecode, FollowsEachDecodersScreen) {
    TScopedFolder dir;
    pipelinetest::TScopedTmpDir tmp(dir / "tmp");
    const std::string flac = (dir / "long.flac").string();
    ASSERT_EQ(
        tooltest::RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i",
                           "sine=f=440:d=600:r=96000", "-ac", "2", "-sample_fmt", "s16", flac})
            .ExitCode,
        0);
    // Three minutes of lame's frames, once behind ID3 tags and a Xing header, once bare.
    const std::string body = MakeMp3(dir / "body.mp3", 20, {"-t"});
    const auto loop = [&](const std::string& name, const Strings& options) {
        Strings argv = {"/usr/bin/ffmpeg",
                        "-v",
                        "error",
                        "-nostdin",
                        "-stream_loop",
                        "8",
                        "-i",
                        body,
                        "-c",
                        "copy"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back((dir / name).string());
        EXPECT_EQ(tooltest::RunTool(argv).ExitCode, 0);
        return (dir / name).string();
    };
    const std::string tagged =
        loop("tagged.mp3", {"-metadata", "title=T", "-write_id3v1", "1", "-id3v2_version", "3"});
    const std::string bare = loop("bare.mp3", {"-write_xing", "0", "-id3v2_version", "0"});

    const std::vector<std::pair<std::shared_ptr<TBase>, std::string>> runs = {
        {std::make_shared<TApe>(), Ape("mac-399.ape")},
        {std::make_shared<TFlac>(), flac},
        {std::make_shared<TMp3>(), tagged},
        {std::make_shared<TMp3>(), bare}};
    for (const auto& [source, file] : runs) {
        source->SetSrcFile(file);
        const std::vector<int> percents = DecodeRecordingPercents(*source);
        EXPECT_FALSE(source->Failed) << file;
        ASSERT_GE(percents.size(), 3u) << file;
        EXPECT_EQ(percents.front(), 0) << file;
        EXPECT_EQ(percents.back(), 100) << file;
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end())) << file;
        if (source->Kind != 1) {
            EXPECT_TRUE(std::any_of(percents.begin(), percents.end(), [](int p) {
                return p > 0 && p < 100;
            })) << file;
        }
        source->DeleteWav();
    }
    EXPECT_TRUE(pipelinetest::TempWavs(dir / "tmp").empty());
}

// A decoder that fails leaves its screen for the user and no WAV behind.
TEST(SourceDecode, FailedDecodeKeepsTheScreenAndRemovesTheWav) {
    TScopedFolder dir;
    pipelinetest::TScopedTmpDir tmp(dir / "tmp");
    const std::string whole = tooltest::ReadFile(MakeFlac(dir / "whole.flac", 3));
    tooltest::WriteFile(dir / "cut.flac", whole.substr(0, whole.size() / 2));
    // Noise that lame rejects, and noise it takes for frames that give no samples at all.
    for (const unsigned seed : {1u, 2u}) {
        std::mt19937 random(seed);
        std::string noise(50000, '\0');
        for (char& c : noise)
            c = static_cast<char>(random());
        tooltest::WriteFile(dir / ("noise" + std::to_string(seed) + ".mp3"), noise);
    }

    // The two damaged APE headers are told apart before the decoder would run.
    const std::vector<std::tuple<std::shared_ptr<TBase>, std::string, bool>> runs = {
        {std::make_shared<TApe>(), Ape("zerodiv.ape"), false},
        {std::make_shared<TApe>(), Ape("longloop.ape"), false},
        {std::make_shared<TFlac>(), (dir / "cut.flac").string(), true},
        {std::make_shared<TMp3>(), (dir / "noise1.mp3").string(), true},
        {std::make_shared<TMp3>(), (dir / "noise2.mp3").string(), true}};
    for (const auto& [source, file, started] : runs) {
        source->SetSrcFile(file);
        ASSERT_TRUE(source->SrcFileOk()) << file;
        EXPECT_EQ(source->Decode(), started) << file;
        EXPECT_TRUE(source->Failed) << file;
        EXPECT_FALSE(source->ErrorLines.empty() || source->ErrorLines == Strings{""}) << file;
        EXPECT_FALSE(fs::exists(source->WavFile)) << file;
    }
    EXPECT_TRUE(pipelinetest::TempWavs(dir / "tmp").empty());
}

// Without a temporary file no decoder starts: given no output name, one would write beside the
// source.
TEST(SourceDecode, NoTemporaryFileMeansAFailureAndNothingBesideTheSource) {
    TScopedFolder dir;
    pipelinetest::TScopedTmpDir tmp(dir / "tmp");
    fs::remove(dir / "tmp");
    fs::create_directory(dir / "in");
    fs::copy_file(MakeFlac(dir / "a.flac", 1), dir / "in" / "a.flac");
    fs::copy_file(MakeMp3(dir / "a.mp3", 1), dir / "in" / "a.mp3");
    fs::copy_file(Ape("mac-399.ape"), dir / "in" / "a.ape");
    for (const auto& source : std::vector<std::shared_ptr<TBase>>{
             std::make_shared<TFlac>(), std::make_shared<TMp3>(), std::make_shared<TApe>()}) {
        source->SetSrcFile((dir / "in" / "a").string() + (source->Kind == TBase::KindFlac ? ".flac"
                                                          : source->Kind == TBase::KindMp3
                                                              ? ".mp3"
                                                              : ".ape"));
        EXPECT_FALSE(source->Decode()) << source->SrcFile;
        EXPECT_TRUE(source->Failed) << source->SrcFile;
        EXPECT_EQ(source->ErrorLines.size(), 1u) << source->SrcFile;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "in"), fs::directory_iterator()), 3);
}

namespace {

// lame as a decoder that dies in the middle: killed once some audio is out, which leaves the
// header it wrote first, of a length the file never reaches.
class TDyingMp3 : public TBase {
public:
    TDyingMp3() {
        Kind = 3;
        SetAbort(Kill);
    }
    bool AcceptsFile(const std::string&) override { return true; }
    bool Decode() override {
        MakeWavName();
        return RunDecoder(platform::LameTool, "--decode " + SrcArg() + " " + QuoteArg(WavFile),
                          [this] {
                              if (platform::FileSize(WavFile) > 200000)
                                  Kill.Request();
                          });
    }

private:
    TAbortState Kill;
};

} // namespace

TEST(SourceDecode, ShortenedDecodeIsAFailureWithAReason) {
    TScopedFolder dir;
    pipelinetest::TScopedTmpDir tmp(dir / "tmp");
    const std::string mp3 = tooltest::ReadFile(MakeMp3(dir / "long.mp3", 20));
    // Half of the MP3, then the source stalls as a network share might.
    const fs::path fifo = dir / "stalled.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int feed = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(feed, 0);
    fcntl(feed, F_SETPIPE_SZ, 1 << 20);
    const std::size_t half = std::min<std::size_t>(mp3.size() / 2, 1 << 20);
    ASSERT_EQ(write(feed, mp3.data(), half), static_cast<ssize_t>(half));

    TDyingMp3 source;
    source.SrcFile = fifo.string();
    source.Decode();
    close(feed);
    EXPECT_TRUE(source.Failed);
    ASSERT_FALSE(source.ErrorLines.empty());
    // The reason comes first, ahead of the tool's own lines.
    EXPECT_EQ(source.ErrorLines.front(),
              "The decoded audio of " + fifo.string() + " ends before its length.");
    EXPECT_FALSE(fs::exists(source.WavFile));
    EXPECT_TRUE(pipelinetest::TempWavs(dir / "tmp").empty());
}

// A decoder stuck on a source that never delivers is stopped at the poll after the abort.
TEST(SourceDecode, AbortStopsEachDecoderWithinOnePoll) {
    TScopedFolder dir;
    pipelinetest::TScopedTmpDir tmp(dir / "tmp");
    for (const std::shared_ptr<TBase>& source : std::vector<std::shared_ptr<TBase>>{
             std::make_shared<TApe>(), std::make_shared<TFlac>(), std::make_shared<TMp3>()}) {
        const fs::path fifo = dir / ("stuck" + std::to_string(source->Kind));
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        source->SrcFile = fifo.string();
        TAbortState abort;
        source->SetAbort(abort);
        int slices = 0;
        int slicesAtAbort = -1;
        platform::SetMessagePump([&] {
            if (++slices == 3) {
                slicesAtAbort = slices;
                abort.Request();
            }
        });
        source->Decode();
        platform::SetMessagePump(nullptr);
        EXPECT_EQ(slicesAtAbort, 3);
        // One slice for the next poll to see the flag, one for the end of the killed tool.
        EXPECT_LE(slices - slicesAtAbort, 3) << source->Kind;
        source->DeleteWav();
    }
    EXPECT_TRUE(pipelinetest::TempWavs(dir / "tmp").empty());
}
