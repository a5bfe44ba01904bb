// The job over every kind of source: tags into the MP4, failures, missing tools, abort, names.

#include "SourceTestFiles.h"
#include "job/Mp4.h"
#include "pipeline/PipelineTestSupport.h"
#include "platform/CommandLine.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <unistd.h>

using namespace sourcetest;
using tooltest::TScopedFolder;

namespace {

class SourcesJob : public testing::Test {
protected:
    TScopedFolder Work;
    pipelinetest::TScopedTmpDir Tmp{Work / "tmp"};
    TMP4 Job;
    std::vector<Strings> SourceErrors;
    std::vector<double> DecodedSeconds;

    SourcesJob() {
        fs::create_directories(Work / "out");
        Job.OutputExt = ".m4a";
        Job.SetEncoderOption("-cbr 128000");
        Job.OnSourceDone = [this](TMP4& j) {
            if (j.Failed)
                SourceErrors.push_back(j.ErrorLines);
            else
                DecodedSeconds.push_back(
                    std::stod(tooltest::Probe(fs::absolute(j.CurrentTarget), "format=duration")
                                  .at("duration")));
        };
    }

    // A combined run into out/all.m4a; the promises every run keeps are checked here.
    bool Run(const Strings& files) {
        Job.ClearAll();
        for (const std::string& file : files)
            EXPECT_TRUE(Job.AddSrcFile(file)) << file;
        Job.SetOutputName("all");
        Job.SetOutputDir((Work / "out").string() + "/");
        const bool result = Job.DoConvert(true, true);
        EXPECT_TRUE(pipelinetest::TempWavs(Work / "tmp").empty());
        return result;
    }

    // The tagger's arguments after its tool and file.
    Strings TaggerArgs() const {
        const Strings argv = platform::SplitCommandLine(Job.TaggerCommand);
        return Strings(argv.begin() + std::min<std::size_t>(2, argv.size()), argv.end());
    }

    fs::path Output() const { return Work / "out" / "all.m4a"; }
};

} // namespace

// Values come whole from the lister's export, whatever their length; a field given twice joins.
TEST_F(SourcesJob, FlacTagsReachTheTaggerAndTheMp4AsListed) {
    const std::string title(300, 't');
    const std::string comment = std::string(1999, 'c') + "=";
    const std::string genre(200, 'g');
    const std::string file = MakeFlac(Work / "tagged.flac", 1,
                                      {"TITLE=" + title, "artist=Ann", "ARTIST=Bob",
                                       "TRACKNUMBER=0", "ALBUM=Blue \"Moon\" \xC3\xBC\xE6\x97\xA5",
                                       "COMMENT=" + comment, "GENRE=" + genre, "DATE=2010"});
    ASSERT_TRUE(Run({file}));
    EXPECT_EQ(TaggerArgs(),
              Further({"-chapter:1", "-meta:Title=" + title, "-meta:Artist=Ann; Bob",
                       "-meta:Track=", "-meta:Album=Blue \"Moon\" \xC3\xBC\xE6\x97\xA5",
                       "-meta:Comment=" + comment, "-meta:Genre=" + genre, "-meta:Year=2010"},
                      Strings(5, "")));
    const auto tags = tooltest::Probe(Output(), "format_tags");
    EXPECT_EQ(tags.at("TAG:title"), title);
    EXPECT_EQ(tags.at("TAG:artist"), "Ann; Bob");
    EXPECT_EQ(tags.at("TAG:album"), "Blue \"Moon\" \xC3\xBC\xE6\x97\xA5");
    EXPECT_EQ(tags.at("TAG:comment"), comment);
    EXPECT_EQ(tags.at("TAG:genre"), genre);
    EXPECT_EQ(tags.at("TAG:date"), "2010");
    EXPECT_FALSE(tags.contains("TAG:track"));
    const auto atoms = tooltest::Mp4Atoms(Output());
    EXPECT_EQ(atoms.at("\u00A9nam"), title);
    EXPECT_EQ(atoms.at("\u00A9cmt"), comment);

    // A line break inside a value is part of it (the export cannot tell a following line with a
    // "=" from a new field).
    fs::remove(Output());
    ASSERT_TRUE(Run({MakeFlac(Work / "lines.flac", 1, {"COMMENT=one\ntwo, 2", "TITLE=after"})}));
    EXPECT_EQ(tooltest::Mp4Atoms(Output()).at("\u00A9cmt"), "one\ntwo, 2");
    EXPECT_EQ(tooltest::Mp4Atoms(Output()).at("\u00A9nam"), "after");
}

// Album artist, disc, track total, composer and compilation from each kind as its taggers write
// them, after the seven arguments, and in the MP4 as two readers see them.
TEST_F(SourcesJob, FurtherTagsOfEveryKindReachTheMp4) {
    using TValues = std::map<std::string, std::string>;
    const Strings flacOrder = {"Title", "Artist", "Track", "Album", "Comment", "Genre", "Year"};
    const Strings mp3Order = {"Title", "Artist", "Track", "Album", "Genre", "Year", "Comment"};
    const std::string mp3 = MakeMp3(Work / "bare.mp3", 1);
    const auto copy = [&](const std::string& name) {
        fs::copy_file(mp3, Work / name);
        return (Work / name).string();
    };
    const std::string v23 = copy("v23.mp3");
    EXPECT_EQ(tooltest::RunTool({"/usr/bin/eyeD3",
                                 "--to-v2.3",
                                 "-t",
                                 "T",
                                 "-a",
                                 "A",
                                 "-b",
                                 "Various \xC3\x84",
                                 "-n",
                                 "3",
                                 "-N",
                                 "12",
                                 "-d",
                                 "1",
                                 "-D",
                                 "2",
                                 "--composer",
                                 "Bach",
                                 "--text-frame",
                                 "TCMP:1",
                                 v23})
                  .ExitCode,
              0);
    const std::string v24 = copy("v24.mp3");
    EXPECT_EQ(tooltest::RunTool({"/usr/bin/python3", "-c",
                                 "import sys\n"
                                 "from mutagen.id3 import ID3, TIT2, TPE2, TRCK, TPOS, TCOM\n"
                                 "t = ID3()\n"
                                 "for f in (TIT2(text='T'), TPE2(text='Various \xC3\x84'),\n"
                                 "          TRCK(text='3/12'), TPOS(text='1/2'),\n"
                                 "          TCOM(text='Bach')):\n"
                                 "    f.encoding = 3; t.add(f)\n"
                                 "t.save(sys.argv[1], v2_version=4)\n",
                                 v24})
                  .ExitCode,
              0);
    const fs::path ape = Work / "tagged.ape";
    tooltest::WriteFile(ape, tooltest::ReadFile(Ape("mac-399.ape")) +
                                 ApeTag({{"Title", "T"},
                                         {"Track", "3/12"},
                                         {"Album Artist", "Various \xC3\x84"},
                                         {"Disc", "1/2"},
                                         {"Composer", "Bach"},
                                         {"Compilation", "1"}}));
    const struct {
        std::string File;
        Strings Order;
        std::string Track;
        std::string Compilation;
    } cases[] = {
        {MakeFlac(Work / "a.flac", 1,
                  {"TITLE=T", "ALBUMARTIST=Various \xC3\x84", "DISCNUMBER=1", "DISCTOTAL=2",
                   "TRACKNUMBER=3", "TRACKTOTAL=12", "COMPOSER=Bach", "COMPILATION=1"}),
         flacOrder, "3", "1"},
        {MakeFlac(Work / "b.flac", 1,
                  {"TITLE=T", "ALBUM ARTIST=Various \xC3\x84", "DISCNUMBER=1/2", "TOTALDISCS=9",
                   "TRACKNUMBER=3", "TOTALTRACKS=12", "composer=Bach", "COMPILATION=0"}),
         flacOrder, "3", ""},
        {v23, mp3Order, "03/12", "1"},
        {v24, mp3Order, "3/12", ""},
        {ape.string(), flacOrder, "3/12", "1"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Run({c.File})) << c.File;
        const Strings args = TaggerArgs();
        ASSERT_EQ(args.size(), 13u) << c.File;
        for (std::size_t i = 0; i < 7; ++i)
            EXPECT_TRUE(args[i + 1].starts_with("-meta:" + c.Order[i] + "=")) << args[i + 1];
        EXPECT_EQ(args[1], "-meta:Title=T");
        EXPECT_EQ(args[3], "-meta:Track=" + c.Track) << c.File;
        const std::string disc = c.File == v23 ? "01/02" : "1/2";
        EXPECT_EQ(Strings(args.begin() + 8, args.end()),
                  Further({}, {"Various \xC3\x84", disc, "12", "Bach", c.Compilation}))
            << c.File;
        const auto tags = tooltest::Probe(Output(), "format_tags");
        EXPECT_EQ(tags.at("TAG:album_artist"), "Various \xC3\x84") << c.File;
        EXPECT_EQ(tags.at("TAG:composer"), "Bach") << c.File;
        EXPECT_EQ(tags.at("TAG:track"), "3/12") << c.File;
        EXPECT_EQ(tags.at("TAG:disc"), "1/2") << c.File;
        TValues atoms = tooltest::Mp4Atoms(Output());
        EXPECT_EQ(atoms["aART"], "Various \xC3\x84") << c.File;
        EXPECT_EQ(atoms["\u00A9wrt"], "Bach") << c.File;
        EXPECT_EQ(atoms["trkn"], "3/12") << c.File;
        EXPECT_EQ(atoms["disk"], "1/2") << c.File;
        EXPECT_EQ(atoms.contains("cpil") ? atoms["cpil"] : "", c.Compilation) << c.File;
        fs::remove(Output());
    }
    // A combined file takes them from its first source, and its index comes first.
    ASSERT_TRUE(Run({v24, cases[0].File}));
    const auto atoms = tooltest::Mp4Atoms(Output());
    EXPECT_FALSE(atoms.contains("cpil"));
    EXPECT_EQ(atoms.at("trkn"), "3/12");
    const auto boxes = tooltest::TopLevelBoxes(Output());
    EXPECT_LT(std::find(boxes.begin(), boxes.end(), "moov"),
              std::find(boxes.begin(), boxes.end(), "mdat"));
}

// Tags as a current tagger, an old player and a well-known player leave them reach the MP4.
TEST_F(SourcesJob, LaterAndOlderId3v2TagsReachTheMp4) {
    using namespace std::string_literals;
    const std::string audio = tooltest::ReadFile(MakeMp3(Work / "bare.mp3", 1));
    const auto tagged = [&](const std::string& name, const std::string& tag) {
        tooltest::WriteFile(Work / name, tag + audio);
        return (Work / name).string();
    };
    const std::string v4 =
        tagged("v4.mp3", Id3v2Tag(4, Id3v2Frame(4, "TIT2", "\x03Now"s) + ItunesComments(4) +
                                         Id3v2Frame(4, "TDRC",
                                                    "\x03"
                                                    "2021-03-04T05:06"s) +
                                         Id3v2Frame(4, "TCON", "\x03(17)"s) +
                                         Id3v2Frame(4, "COMM",
                                                    "\x03"
                                                    "eng\x00"
                                                    "said"s)));
    const std::string v2 = tagged("v2.mp3", Id3v2Tag(2, Id3v2Frame(2, "TT2", "\x00Then"s) +
                                                            Id3v2Frame(2, "TP1", "\x00Them"s) +
                                                            Id3v2Frame(2, "TYE",
                                                                       "\x00"
                                                                       "1986"s) +
                                                            Id3v2Frame(2, "TCO",
                                                                       "\x00"
                                                                       "13"s) +
                                                            ItunesComments(2)));
    const std::pair<std::string, std::map<std::string, std::string>> runs[] = {
        {v4,
         {{"TAG:title", "Now"},
          {"TAG:date", "2021"},
          {"TAG:genre", "Rock"},
          {"TAG:comment", "said"}}},
        {v2,
         {{"TAG:title", "Then"},
          {"TAG:artist", "Them"},
          {"TAG:date", "1986"},
          {"TAG:genre", "Pop"}}}};
    for (const auto& [file, expected] : runs) {
        ASSERT_TRUE(Run({file})) << file;
        const auto tags = tooltest::Probe(Output(), "format_tags");
        for (const auto& [key, value] : expected)
            EXPECT_EQ(tags.contains(key) ? tags.at(key) : "(none)", value) << file << " " << key;
        EXPECT_FALSE(tags.contains("TAG:comment") &&
                     tags.at("TAG:comment").find("0000") != std::string::npos);
        fs::remove(Output());
    }
}

TEST_F(SourcesJob, FourKindsMakeOneFileWithAChapterEachTitledFromItsTags) {
    Job.NameAsTitle = true;
    const std::string wav = (Work / "plain wav.wav").string();
    tooltest::WriteWav(wav, {}, 44100);
    const Strings files = {Ape("mac-399-tagged.ape"),
                           MakeFlac(Work / "f.flac", 2, {"TITLE=From FLAC"}),
                           MakeMp3(Work / "m.mp3", 2, {"--tt", "From MP3", "--ta", "M"}), wav};
    ASSERT_TRUE(Run(files));
    const auto chapters = tooltest::Chapters(Output());
    ASSERT_EQ(chapters.size(), 4u);
    EXPECT_EQ(chapters[0].Title, std::string(2048, 'x'));
    EXPECT_EQ(chapters[1].Title, "From FLAC");
    EXPECT_EQ(chapters[2].Title, "From MP3");
    EXPECT_EQ(chapters[3].Title, "plain wav");
    EXPECT_EQ(tooltest::Probe(Output(), "format_tags").at("TAG:artist"), std::string(2048, 'x'));
    ASSERT_EQ(DecodedSeconds.size(), 4u);
    const double audio = std::stod(tooltest::Probe(Output(), "stream=duration").at("duration"));
    EXPECT_NEAR(audio, std::accumulate(DecodedSeconds.begin(), DecodedSeconds.end(), 0.0), 0.05);
}

TEST_F(SourcesJob, BrokenMiddleSourceIsLeftOutAndTheOthersRenumbered) {
    const std::string whole = tooltest::ReadFile(MakeFlac(Work / "whole.flac", 2));
    tooltest::WriteFile(Work / "cut.flac", whole.substr(0, whole.size() / 2));
    ASSERT_TRUE(Run({MakeFlac(Work / "one.flac", 1, {"TITLE=one"}), (Work / "cut.flac").string(),
                     MakeMp3(Work / "three.mp3", 1, {"--tt", "three"})}));
    ASSERT_EQ(SourceErrors.size(), 1u);
    EXPECT_NE(tooltest::ReadFile(Work / "cut.flac").size(), 0u);
    const Strings args = TaggerArgs();
    EXPECT_EQ(std::count(args.begin(), args.end(), "-chapter:1"), 1);
    EXPECT_EQ(std::count(args.begin(), args.end(), "-chapter:2"), 1);
    EXPECT_EQ(std::count(args.begin(), args.end(), "-chapter:3"), 0);
    const auto chapters = tooltest::Chapters(Output());
    ASSERT_EQ(chapters.size(), 2u);
    EXPECT_EQ(chapters[0].Title, "one");
    EXPECT_EQ(chapters[1].Title, "three");
}

// An abort raised as a decode starts stops the job; that source's WAV goes at once.
TEST_F(SourcesJob, AbortDuringEachDecoderDeletesItsWav) {
    const Strings files = {Ape("mac-399.ape"), MakeFlac(Work / "a.flac", 30),
                           MakeMp3(Work / "a.mp3", 30)};
    for (const std::string& file : files) {
        SourceErrors.clear();
        DecodedSeconds.clear();
        Job.Abort.Clear();
        Job.OnStepStart = [](TMP4& j) {
            if (j.Activity != 10)
                j.Abort.Request();
        };
        EXPECT_FALSE(Run({file})) << file;
        EXPECT_TRUE(DecodedSeconds.empty() && SourceErrors.empty()) << file;
        EXPECT_FALSE(fs::exists(Output())) << file;
    }
}

// Relative names, started in their folder: blanks, quotes, '$', non-ASCII and a leading '-'.
TEST_F(SourcesJob, OddFileNamesConvertForEveryKind) {
    const std::string odd = "-x \"q\" $HOME \xC3\xA9 ";
    fs::copy_file(Ape("mac-399.ape"), Work / (odd + "1.ape"));
    MakeFlac(Work / (odd + "2.flac"), 1);
    MakeMp3(Work / (odd + "3.mp3"), 1);
    tooltest::WriteWav(Work / (odd + "4.wav"), {}, 44100);
    const fs::path before = fs::current_path();
    fs::current_path(Work.Path);
    Job.NameAsTitle = true;
    const bool result = Run({odd + "1.ape", odd + "2.flac", odd + "3.mp3", odd + "4.wav"});
    fs::current_path(before);
    ASSERT_TRUE(result);
    EXPECT_TRUE(SourceErrors.empty());
    const auto chapters = tooltest::Chapters(Output());
    ASSERT_EQ(chapters.size(), 4u);
    for (std::size_t k = 0; k < chapters.size(); ++k)
        EXPECT_EQ(chapters[k].Title, odd + std::to_string(k + 1));
}

// The driver copied into an application folder that lacks some tools.
TEST_F(SourcesJob, MissingToolsDropTheSourceOrItsTags) {
    const fs::path app = Work / "app";
    fs::create_directories(app);
    fs::copy_file(AppDir + "parvane-job", app / "parvane-job");
    for (const char* tool : {"neroAacEnc", "neroAacTag", "flac"})
        fs::create_symlink(AppDir + tool, app / tool);
    const std::string flac = MakeFlac(Work / "song.flac", 1, {"TITLE=tagged"});
    const std::string mp3 = MakeMp3(Work / "m.mp3", 1, {"--tt", "m"});
    const tooltest::TRunResult run = tooltest::RunTool(
        {(app / "parvane-job").string(), "--to", (Work / "out").string(), "--name", "all", "--ext",
         ".m4a", "--name-as-title", Ape("mac-399.ape"), mp3, flac});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    // No progress at all from the sources whose decoder is missing, and no failure either.
    EXPECT_EQ(run.Out.find("\"Activity\":1,\"Percent\""), std::string::npos);
    EXPECT_EQ(run.Out.find("\"Activity\":3,\"Percent\""), std::string::npos);
    EXPECT_EQ(run.Out.find("\"Failed\":true"), std::string::npos);
    // Without the tag lister the name still gives the title.
    EXPECT_NE(run.Out.find("\"MetaArgs\":[\"-meta:Title=\\\"song\\\"\",\"-meta:Artist=\\\"\\\"\""),
              std::string::npos)
        << run.Out;
    EXPECT_EQ(tooltest::Probe(Output(), "format_tags").at("TAG:title"), "song");
}

namespace {

// An APEv2 tag of one "Cover Art (Front)" item, as taggers append it to an APE file.
std::string ApeCoverTag(const std::string& image) {
    const auto le32 = [](std::size_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    const std::string item =
        le32(6 + image.size()) + le32(2) + "Cover Art (Front)" + '\0' + "c.jpg" + '\0' + image;
    return item + "APETAGEX" + le32(2000) + le32(item.size() + 32) + le32(1) + le32(0) +
           std::string(8, '\0');
}

// An ID3v2.3 picture frame of this type.
std::string Apic(char type, const std::string& image) {
    return Id3v2Frame(3, "APIC",
                      std::string(1, '\0') + "image/x" + '\0' + type + "d" + '\0' + image);
}

} // namespace

// Each kind's own cover, type 3 before an earlier picture, beats an image beside it; a picture
// that is no JPEG or PNG gives way to the folder's.
TEST_F(SourcesJob, EachOutputCarriesItsSourcesCoverAndACombinedOneTheFirst) {
    const std::string jpeg = tooltest::ReadFile(tooltest::MakeImage(Work, "a.jpg", "8x8"));
    const std::string png = tooltest::ReadFile(tooltest::MakeImage(Work, "b.png", "4x4"));
    const std::string audio = tooltest::ReadFile(MakeMp3(Work / "bare.mp3", 1));
    const std::string flac = MakeFlac(Work / "f.flac", 1);
    for (const std::string& picture :
         {"0||||" + (Work / "b.png").string(), "3||||" + (Work / "a.jpg").string()})
        tooltest::RunTool({AppDir + "metaflac", "--import-picture-from=" + picture, flac});
    // Each source in a folder of its own, beside the images named.
    const auto put = [&](const std::string& name, const std::string& bytes) {
        fs::create_directories((Work / name).parent_path());
        tooltest::WriteFile(Work / name, bytes);
        return (Work / name).string();
    };
    put("mp3/cover.png", png);
    put("wav/FOLDER.Png", png);
    put("gif/Cover.JPEG", jpeg);
    tooltest::WriteWav(Work / "wav" / "w.wav", {}, 44100);
    const Strings files = {
        put("none/n.mp3", audio),
        put("mp3/m.mp3", Id3v2Tag(3, Apic(0, png) + Apic(3, jpeg)) + audio),
        put("flac/f.flac", tooltest::ReadFile(flac)),
        put("ape/a.ape", tooltest::ReadFile(Ape("mac-399.ape")) + ApeCoverTag(png)),
        (Work / "wav" / "w.wav").string(),
        put("gif/g.mp3", Id3v2Tag(3, Apic(3, "GIF89a....")) + audio)};
    const Strings covers = {"", jpeg, jpeg, png, png, jpeg};
    for (const std::string& file : files)
        ASSERT_TRUE(Job.AddSrcFile(file));
    Job.SetOutputDir((Work / "out").string() + "/");
    ASSERT_TRUE(Job.DoConvert(false, true));
    EXPECT_TRUE(pipelinetest::TempWavs(Work / "tmp").empty());
    for (std::size_t k = 0; k < files.size(); ++k)
        EXPECT_TRUE(tooltest::CoverBytes(Work / "out" / fs::path(files[k]).stem() += ".m4a") ==
                    covers[k])
            << files[k];
    ASSERT_TRUE(Run({files[0], files[3], files[1]}));
    EXPECT_TRUE(tooltest::CoverBytes(Output()) == png);
}

// The cover goes with the temporary WAV when the run fails, is aborted or a handler throws.
TEST_F(SourcesJob, NoCoverOutlivesAFailedAbortedOrBrokenRun) {
    tooltest::MakeImage(Work, "cover.png", "4x4");
    const std::string wav = (Work / "w.wav").string();
    tooltest::WriteWav(wav, {}, 44100);
    std::size_t heldAtEncoding = 0;
    Job.OnStepStart = [&](TMP4& j) {
        if (j.Activity == TMP4::ActivityEncoding)
            heldAtEncoding = pipelinetest::TempWavs(Work / "tmp").size();
    };
    Job.OnEncodeDone = [](TMP4& j) { j.Abort.Request(); };
    EXPECT_FALSE(Run({wav}));
    EXPECT_EQ(heldAtEncoding, 1u);
    Job.Abort.Clear();
    Job.OnEncodeDone = [](TMP4&) { throw std::runtime_error("handler"); };
    EXPECT_THROW(Run({wav}), std::runtime_error);
    EXPECT_TRUE(pipelinetest::TempWavs(Work / "tmp").empty());
    Job.OnEncodeDone = nullptr;
    Job.SetEncoderOption("-no-such-option");
    EXPECT_FALSE(Run({wav}));
}

// 8-bit tag text is in the system's code page, which follows the locale unless one is chosen.
TEST_F(SourcesJob, EightBitTagsFollowTheLocaleOrTheChosenCodePage) {
    using namespace std::string_literals;
    const std::string audio = tooltest::ReadFile(MakeMp3(Work / "bare.mp3", 1));
    // "Привет" and "Мир" in Windows-1251.
    const std::string v2 = (Work / "v2.mp3").string();
    tooltest::WriteFile(v2, Id3v2Tag(3, Id3v2Frame(3, "TIT2", "\x00\xCF\xF0\xE8\xE2\xE5\xF2"s)) +
                                audio);
    std::string block = "TAG\xCC\xE8\xF0" + std::string(125 - 3, '\0');
    block[127] = '\xFF';
    const std::string v1 = (Work / "v1.mp3").string();
    tooltest::WriteFile(v1, audio + block);
    struct TCase {
        const char* Locale;
        int Chosen;
        std::string V2Title, V1Title;
    };
    for (const TCase& c :
         {TCase{"ru_RU.UTF-8", 0, "Привет", "Мир"}, TCase{"en_US.UTF-8", 0, "Ïðèâåò", "Ìèð"},
          TCase{"ru_RU.UTF-8", 1252, "Ïðèâåò", "Ìèð"}, TCase{"C", 1251, "Привет", "Мир"}}) {
        SCOPED_TRACE(std::string(c.Locale) + " " + std::to_string(c.Chosen));
        setenv("LC_ALL", c.Locale, 1);
        Job.CodePage = c.Chosen;
        for (const auto& [file, title] : {std::pair{v2, c.V2Title}, std::pair{v1, c.V1Title}}) {
            ASSERT_TRUE(Run({file})) << file;
            EXPECT_EQ(tooltest::Probe(Output(), "format_tags").at("TAG:title"), title);
            fs::remove(Output());
        }
    }
    unsetenv("LC_ALL");
    Job.CodePage = 0;
    // Version 4 may hold several values in one frame: all are kept.
    const std::string two = (Work / "two.mp3").string();
    tooltest::WriteFile(two, Id3v2Tag(4, Id3v2Frame(4, "TPE1", "\x03One\0Two\0"s) +
                                             Id3v2Frame(4, "TIT2",
                                                        "\x01\xFF\xFEO\0n\0\0\0\xFF\xFE"
                                                        "e\0"s)) +
                                 audio);
    ASSERT_TRUE(Run({two}));
    const auto tags = tooltest::Probe(Output(), "format_tags");
    EXPECT_EQ(tags.at("TAG:artist"), "One; Two");
    EXPECT_EQ(tags.at("TAG:title"), "On; e");
}
