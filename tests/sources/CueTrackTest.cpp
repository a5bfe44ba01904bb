// CD images with their sheets through the job: the real decoders, encoder and tagger.

#include "SourceTestFiles.h"
#include "job/Mp4.h"
#include "pipeline/PipelineTestSupport.h"

#include <cmath>
#include <set>

using namespace sourcetest;
using tooltest::TScopedFolder;

namespace {

struct TImageCase {
    std::string Name;
    // The image's file name in the sheet's folder.
    std::string File;
};

class CueTracks : public testing::Test {
protected:
    TScopedFolder Work;
    pipelinetest::TScopedTmpDir Tmp{Work / "tmp"};
    TMP4 Job;
    std::vector<Strings> SourceErrors;
    std::set<std::string> DecodedWavs;

    CueTracks() {
        fs::create_directories(Work / "out");
        Job.OutputExt = ".m4a";
        Job.SetEncoderOption("-cbr 192000");
        Job.OnSourceDone = [this](TMP4& j) {
            if (j.Failed)
                SourceErrors.push_back(j.ErrorLines);
            else
                DecodedWavs.insert(j.CurrentTarget);
        };
    }

    // Into out/, as the window's run; no temporary WAV may outlive it.
    bool Run(const std::string& sheet, bool combine) {
        Job.ClearAll();
        EXPECT_TRUE(Job.AddSrcFile(sheet)) << Job.SheetError;
        Job.SetOutputName("all");
        Job.SetOutputDir((Work / "out").string() + "/");
        const bool result = Job.DoConvert(combine, true);
        EXPECT_TRUE(pipelinetest::TempWavs(Work / "tmp").empty());
        return result;
    }

    fs::path Out(const std::string& name) const { return Work / "out" / name; }
};

std::uint64_t Samples(const fs::path& mp4) {
    return std::stoull(tooltest::Probe(mp4, "stream=duration_ts").at("duration_ts"));
}

// The decoded samples a gapless player plays: the stream's own length, the encoder's padding
// at the end left out.
std::vector<float> Played(const fs::path& mp4) {
    std::vector<float> samples = tooltest::DecodeFloat(mp4);
    samples.resize(std::min<std::size_t>(samples.size(), Samples(mp4) * 2));
    return samples;
}

double RmsDifference(const std::vector<float>& a, const std::vector<float>& b) {
    double sum = 0;
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum / std::max<std::size_t>(n, 1));
}

// Sample positions at 44.1 kHz of mm:ss:ff.
std::uint64_t At(int minutes, int seconds, int frames) {
    return static_cast<std::uint64_t>((minutes * 60 + seconds) * 75 + frames) * 588;
}

const std::string Album = "REM GENRE \"Chamber\"\nREM DATE 1999\nPERFORMER \"The Band\"\n"
                          "TITLE \"The Album\"\n";

} // namespace

// The image is decoded once; a pregap (INDEX 00) plays at the end of the track before.
TEST_F(CueTracks, SeparateTracksAreExactToTheSampleAndJoinBackIntoTheImage) {
    const std::vector<TImageCase> cases = {
        {"FLAC by flac", "disc.flac"}, {"shared APE file", "disc.ape"}, {"WAV", "disc.wav"}};
    for (const TImageCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path folder = Work / c.Name;
        fs::create_directories(folder);
        const fs::path image = folder / c.File;
        if (c.File.ends_with(".flac"))
            MakeFlac(image, 3.5, {"COMMENT=from the image"});
        else if (c.File.ends_with(".ape"))
            fs::copy_file(Ape("mac-399.ape"), image);
        else
            tooltest::WriteWav(image, {}, 154000, tooltest::TSignal::Sine, 440);
        const std::string sheet = (folder / "disc.cue").string();
        tooltest::WriteFile(sheet, Album + "FILE \"" + c.File +
                                       "\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One: A/B\"\n"
                                       "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                                       "    TITLE \"Two\"\n    PERFORMER \"Guest\"\n"
                                       "    INDEX 00 00:01:00\n    INDEX 01 00:01:10\n"
                                       "  TRACK 03 AUDIO\n    INDEX 01 00:02:37\n");
        fs::remove_all(Work / "out");
        fs::create_directories(Work / "out");
        DecodedWavs.clear();
        ASSERT_TRUE(Run(sheet, false));
        EXPECT_EQ(DecodedWavs.size(), 1u);
        EXPECT_TRUE(SourceErrors.empty());

        ASSERT_TRUE(Job.AddSrcFile(image.string()));
        Job.SetOutputDir((Work / "out").string() + "/");
        ASSERT_TRUE(Job.DoConvert(false, true));
        const fs::path whole = Out("disc.m4a");
        const std::uint64_t total = Samples(whole);
        const std::vector<std::string> names = {"01 - One_ A_B.m4a", "02 - Two.m4a",
                                                "03 - Track 03.m4a"};
        const std::vector<std::uint64_t> starts = {0, At(0, 1, 10), At(0, 2, 37), total};
        std::vector<float> joined;
        for (std::size_t k = 0; k < names.size(); ++k) {
            SCOPED_TRACE(names[k]);
            ASSERT_TRUE(fs::exists(Out(names[k])));
            EXPECT_EQ(Samples(Out(names[k])), starts[k + 1] - starts[k]);
            const std::vector<float> part = Played(Out(names[k]));
            joined.insert(joined.end(), part.begin(), part.end());
            const auto tags = tooltest::Probe(Out(names[k]), "format_tags");
            EXPECT_EQ(tags.at("TAG:track"), std::to_string(k + 1) + "/3");
            EXPECT_EQ(tags.at("TAG:album"), "The Album");
            EXPECT_EQ(tags.at("TAG:artist"), k == 1 ? "Guest" : "The Band");
            EXPECT_EQ(tags.at("TAG:album_artist"), "The Band");
            EXPECT_EQ(tags.at("TAG:date"), "1999");
            EXPECT_EQ(tags.at("TAG:genre"), "Chamber");
            if (c.File.ends_with(".flac")) {
                EXPECT_EQ(tags.at("TAG:comment"), "from the image");
            }
        }
        EXPECT_EQ(tooltest::Probe(Out(names[0]), "format_tags").at("TAG:title"), "One: A/B");
        // A sample lost or doubled at a cut shifts all that follows and shows far above the
        // encoder's own error.
        const std::vector<float> original = tooltest::DecodeFloat(image);
        ASSERT_EQ(joined.size(), original.size());
        const std::vector<float> played = Played(whole);
        EXPECT_LT(RmsDifference(joined, original), 2 * RmsDifference(played, original) + 1e-4);
    }
}

TEST_F(CueTracks, CombinedFileHasAChapterAtEveryIndex01AndTheSheetsAlbumTags) {
    const fs::path image = Work / "disc.flac";
    const fs::path cover = tooltest::MakeImage(Work, "pic.jpg", "8x8");
    MakeFlac(image, 4, {"GENRE=Rock", "COMMENT=from the image"});
    ASSERT_EQ(tooltest::RunTool(
                  {AppDir + "metaflac", "--import-picture-from=" + cover.string(), image.string()})
                  .ExitCode,
              0);
    const std::string sheet = (Work / "disc.cue").string();
    tooltest::WriteFile(sheet, "PERFORMER \"The Band\"\nTITLE \"The Album\"\nREM DATE 2001\n"
                               "FILE \"disc.flac\" WAVE\nTRACK 01 AUDIO\nTITLE \"First\"\n"
                               "INDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:01:00\n"
                               "INDEX 01 00:01:33\nTRACK 03 AUDIO\nTITLE \"Third\"\n"
                               "INDEX 01 00:02:74\n");
    ASSERT_TRUE(Run(sheet, true));
    EXPECT_EQ(DecodedWavs.size(), 1u);
    const fs::path out = Out("all.m4a");
    const auto chapters = tooltest::Chapters(out);
    ASSERT_EQ(chapters.size(), 3u);
    const std::vector<std::uint64_t> starts = {0, At(0, 1, 33), At(0, 2, 74)};
    const Strings titles = {"First", "Track 02", "Third"};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(chapters[k].Start, static_cast<double>(starts[k]) / 44100, 0.0005 + 1e-9);
        EXPECT_EQ(chapters[k].Title, titles[k]);
    }
    EXPECT_EQ(Samples(out), 4u * 44100);
    const auto tags = tooltest::Probe(out, "format_tags");
    EXPECT_EQ(tags.at("TAG:title"), "The Album");
    EXPECT_EQ(tags.at("TAG:album"), "The Album");
    EXPECT_EQ(tags.at("TAG:artist"), "The Band");
    EXPECT_EQ(tags.at("TAG:album_artist"), "The Band");
    EXPECT_EQ(tags.at("TAG:date"), "2001");
    // Where the sheet says nothing, the image's own tags.
    EXPECT_EQ(tags.at("TAG:genre"), "Rock");
    EXPECT_EQ(tags.at("TAG:comment"), "from the image");
    EXPECT_EQ(tooltest::CoverBytes(out), tooltest::ReadFile(cover));

    // Separate files each carry the image's cover.
    ASSERT_TRUE(Run(sheet, false));
    for (const char* name : {"01 - First.m4a", "02 - Track 02.m4a", "03 - Third.m4a"})
        EXPECT_EQ(tooltest::CoverBytes(Out(name)), tooltest::ReadFile(cover)) << name;
}

// Several FILEs, and sheets in UTF-8 with a BOM and in Windows-1252, with titles beyond ASCII.
TEST_F(CueTracks, SheetsOfSeveralFilesAndEncodingsGiveTheirTracks) {
    tooltest::WriteWav(Work / "a.wav", {}, 44100, tooltest::TSignal::Sine, 440);
    tooltest::WriteWav(Work / "b.wav", {}, 3 * 44100, tooltest::TSignal::Sine, 660);
    const std::string tracks = "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nTITLE \"Stra\xDF"
                               "e\"\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:00:50\n"
                               "FILE \"b.wav\" WAVE\nINDEX 01 00:00:00\nTRACK 03 AUDIO\n"
                               "TITLE \"Caf\xE9 \x80\"\nINDEX 01 00:02:00\n";
    const std::string sheet1252 = (Work / "w1252.cue").string();
    tooltest::WriteFile(sheet1252, tracks);
    std::string utf8 = "\xEF\xBB\xBF" + tracks;
    utf8.replace(utf8.find("\xDF"), 1, "\xC3\x9F");
    utf8.replace(utf8.find("\xE9 \x80"), 3, "\xC3\xA9 \xE2\x82\xAC");
    const std::string sheetBom = (Work / "bom.cue").string();
    tooltest::WriteFile(sheetBom, utf8);
    // Rippers repeat the track whose INDEX 00 ended the file before.
    std::string again = tracks;
    again.replace(again.find("WAVE\nINDEX 01"), 4, "WAVE\nTRACK 02 AUDIO");
    const std::string sheetAgain = (Work / "again.cue").string();
    tooltest::WriteFile(sheetAgain, again);
    for (const std::string& sheet : {sheet1252, sheetBom, sheetAgain}) {
        SCOPED_TRACE(sheet);
        fs::remove_all(Work / "out");
        fs::create_directories(Work / "out");
        const std::vector<TMP4::TSheetTrack> rows = Job.AddCueSheet(sheet);
        ASSERT_EQ(rows.size(), 3u) << Job.SheetError;
        EXPECT_EQ(rows[0].Title, "Stra\xC3\x9F"
                                 "e");
        EXPECT_EQ(fs::path(rows[2].Image).filename(), "b.wav");
        ASSERT_TRUE(Run(sheet, false));
        // The track whose INDEX 01 starts the second file: its pregap ends the first track.
        EXPECT_EQ(Samples(Out("01 - Stra\xC3\x9F"
                              "e.m4a")),
                  44100u);
        EXPECT_EQ(Samples(Out("02 - Track 02.m4a")), 2u * 44100);
        EXPECT_EQ(Samples(Out("03 - Caf\xC3\xA9 \xE2\x82\xAC.m4a")), 44100u);
        EXPECT_EQ(tooltest::Probe(Out("03 - Caf\xC3\xA9 \xE2\x82\xAC.m4a"), "format_tags")
                      .at("TAG:title"),
                  "Caf\xC3\xA9 \xE2\x82\xAC");
        EXPECT_EQ(DecodedWavs.size(), 2u);
        DecodedWavs.clear();
    }
}

TEST_F(CueTracks, AMissingImageOrAnIndexPastItsEndIsNamed) {
    const std::string missing = (Work / "gone.cue").string();
    tooltest::WriteWav(Work / "here.wav", {}, 44100);
    tooltest::WriteFile(missing, "FILE \"here.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                 "FILE \"Lost Disc.flac\" WAVE\nTRACK 02 AUDIO\n"
                                 "INDEX 01 00:00:00\n");
    EXPECT_FALSE(Job.AddSrcFile(missing));
    EXPECT_NE(Job.SheetError.find(missing + ", line 4: the image Lost Disc.flac is not there"),
              std::string::npos)
        << Job.SheetError;
    EXPECT_TRUE(Job.Sources.empty());

    const std::string past = (Work / "here.cue").string();
    tooltest::WriteFile(past, "FILE \"here.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nINDEX 01 00:00:50\nTRACK 03 AUDIO\n"
                              "INDEX 01 05:00:00\n");
    ASSERT_TRUE(Run(past, true));
    ASSERT_EQ(SourceErrors.size(), 1u);
    EXPECT_NE(SourceErrors[0][0].find(past + ", line 6: track 03 starts at 05:00:00, past the "
                                             "end of"),
              std::string::npos)
        << SourceErrors[0][0];
    EXPECT_EQ(tooltest::Chapters(Out("all.m4a")).size(), 2u);
    EXPECT_EQ(Samples(Out("all.m4a")), 44100u);
}

// Verify Only decodes each image once; the room check counts that one decode, not a decode
// per track; an abort removes it.
TEST_F(CueTracks, VerifyOnlyAndTheRoomCheckTakeEachImageOnce) {
    const fs::path image = Work / "disc.flac";
    MakeFlac(image, 2);
    const std::string sheet = (Work / "disc.cue").string();
    tooltest::WriteFile(sheet, "FILE \"disc.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                               "TRACK 02 AUDIO\nINDEX 01 00:00:30\nTRACK 03 AUDIO\n"
                               "INDEX 01 00:01:00\n");
    const std::string temp = (Work / "tmp").string();
    // Room for one decoded image of 2 s (352800 bytes and a header), not for three.
    Job.FolderRoom = [&temp](const std::string& folder) {
        auto room = platform::FolderRoom(folder);
        if (room && folder == temp)
            *room = {400000, room->Volume + 1};
        return room;
    };
    ASSERT_TRUE(Run(sheet, true)) << Job.Refusal;
    EXPECT_EQ(Job.Refusal, "");
    Job.VerifyOnly = true;
    fs::remove(Out("all.m4a"));
    DecodedWavs.clear();
    ASSERT_TRUE(Run(sheet, true));
    EXPECT_EQ(DecodedWavs.size(), 1u);
    EXPECT_FALSE(fs::exists(Out("all.m4a")));

    // An abort while the image decodes stops the run and leaves no WAV the tracks shared.
    Job.VerifyOnly = false;
    Job.OnProgress = [](TMP4& j) { j.Abort.Request(); };
    EXPECT_FALSE(Run(sheet, false));
    EXPECT_TRUE(fs::is_empty(Work / "out"));
}

namespace {

struct TSheetCase {
    std::string Name;
    const char* Locale;
    // The sheet's bytes, naming its image "<image>" in its own encoding.
    std::string Bytes;
    // What the outputs are titled, in UTF-8; the image's name on disk.
    std::string Image, First, Second;
};

// Two tracks of a sheet in its encoding; written by Python's codecs, not by the decoders here.
std::string TwoTracks(const std::string& image, const std::string& first,
                      const std::string& second) {
    return "TITLE \"Album\"\r\nFILE \"" + image + "\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"" +
           first + "\"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE \"" + second +
           "\"\r\n    INDEX 01 00:01:00\r\n";
}

std::string Utf16Le(const std::string& ascii) {
    std::string bytes;
    for (const char c : ascii)
        bytes += std::string{c, '\0'};
    return bytes;
}

} // namespace

// Titles and the image's name read right on the outputs whatever the sheet's encoding.
TEST_F(CueTracks, SheetsOfOtherSystemsTitleTheirOutputsRight) {
    const std::vector<TSheetCase> cases = {
        {"Windows-1251 under a Russian locale", "ru_RU.UTF-8",
         TwoTracks("\xCA\xE8\xED\xEE.flac", "\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8",
                   "\xC7\xE0\xEA\xF0\xEE\xE9 \xE7\xE0 \xEC\xED\xEE\xE9 \xE4\xE2\xE5\xF0\xFC"),
         "Кино.flac", "Группа крови", "Закрой за мной дверь"},
        {"GBK under an English locale", "en_US.UTF-8",
         TwoTracks("\xB7\xB6\xCC\xD8\xCE\xF7.flac", "\xB0\xAE\xD4\xDA\xCE\xF7\xD4\xAA\xC7\xB0",
                   "\xBC\xF2\xB5\xA5\xB0\xAE"),
         "范特西.flac", "爱在西元前", "简单爱"},
        {"Shift-JIS under a Japanese locale", "ja_JP.UTF-8",
         TwoTracks("\x83\x74\x83\x40\x81\x5B\x83\x58\x83\x67.flac",
                   "\x83\x49\x81\x5B\x83\x67\x83\x7D\x83\x65\x83\x42\x83\x62\x83\x4E",
                   "\x83\x5E\x83\x43\x83\x80\x81\x45\x83\x8A\x83\x7E\x83\x62\x83\x67"),
         "ファースト.flac", "オートマティック", "タイム・リミット"},
        {"UTF-16 without a mark", "C", Utf16Le(TwoTracks("disc.flac", "One", "Two")), "disc.flac",
         "One", "Two"},
    };
    for (const TSheetCase& c : cases) {
        SCOPED_TRACE(c.Name);
        setenv("LC_ALL", c.Locale, 1);
        const fs::path folder = Work / c.Name;
        fs::create_directories(folder);
        MakeFlac(folder / c.Image, 2);
        const std::string sheet = (folder / "disc.cue").string();
        tooltest::WriteFile(sheet, c.Bytes);
        fs::remove_all(Work / "out");
        fs::create_directories(Work / "out");
        ASSERT_TRUE(Run(sheet, false));
        for (const std::string& title : {"01 - " + c.First, "02 - " + c.Second}) {
            ASSERT_TRUE(fs::exists(Out(title + ".m4a"))) << title;
            EXPECT_EQ(tooltest::Probe(Out(title + ".m4a"), "format_tags").at("TAG:title"),
                      title.substr(5));
        }
    }
    unsetenv("LC_ALL");
}

// An enhanced CD's sheet named after its image: the hidden track before track 1 gets a file of its
// own, the data track is left out with a line, and the sheet's remarks tag the files.
TEST_F(CueTracks, HiddenTrackDataTrackAndTheSheetsTags) {
    MakeFlac(Work / "Album.flac", 4, {"GENRE=From the image", "COMPOSER=Image Writer"});
    const std::string sheet = (Work / "Album.flac.cue").string();
    tooltest::WriteFile(sheet, "REM GENRE \"\"\nREM DISCNUMBER 1\nREM TOTALDISCS 2\n"
                               "REM COMPILATION TRUE\nREM COMMENT \"ripped\"\n"
                               "TITLE \"The Album\"\nFILE \"CD.wav\" WAVE\n"
                               "TRACK 01 AUDIO\nREM COMPOSER \"\"\nINDEX 00 00:00:00\n"
                               "INDEX 01 00:01:50\nTRACK 02 AUDIO\nSONGWRITER \"Writer\"\n"
                               "INDEX 01 00:03:00\nTRACK 03 MODE1/2352\nINDEX 01 20:00:00");
    const std::vector<TMP4::TSheetTrack> rows = Job.AddCueSheet(sheet);
    ASSERT_EQ(rows.size(), 3u) << Job.SheetError;
    ASSERT_EQ(Job.SheetWarnings.size(), 1u);
    EXPECT_EQ(Job.SheetWarnings[0], sheet + ": not audio, left out: track 03 (MODE1/2352)");
    ASSERT_TRUE(Run(sheet, false));
    EXPECT_TRUE(SourceErrors.empty());
    const std::vector<std::string> names = {"00 - The Album.m4a", "01 - Track 01.m4a",
                                            "02 - Track 02.m4a"};
    const std::vector<std::uint64_t> lengths = {At(0, 1, 50), At(0, 3, 0) - At(0, 1, 50),
                                                4 * 44100 - At(0, 3, 0)};
    for (std::size_t k = 0; k < names.size(); ++k) {
        SCOPED_TRACE(names[k]);
        ASSERT_TRUE(fs::exists(Out(names[k])));
        EXPECT_EQ(Samples(Out(names[k])), lengths[k]);
        auto atoms = tooltest::Mp4Atoms(Out(names[k]));
        EXPECT_EQ(atoms["disk"], "1/2");
        EXPECT_EQ(atoms["cpil"], "1");
        EXPECT_EQ(atoms["\u00A9cmt"], "ripped");
        EXPECT_EQ(atoms["\u00A9gen"], "From the image");
        EXPECT_EQ(atoms["\u00A9wrt"], k == 2 ? "Writer" : "Image Writer");
    }
}

// Raw CD audio in either byte order: the outputs play the samples the image was made from, where
// a wrong order would play noise.
TEST_F(CueTracks, RawImagesInEitherByteOrderPlayTheirSamples) {
    const std::vector<double> original =
        tooltest::WriteWav(Work / "source.wav", {}, 2 * 44100, tooltest::TSignal::Sine, 440);
    const std::string pcm = tooltest::ReadFile(Work / "source.wav").substr(44);
    for (const std::string type : {"BINARY", "MOTOROLA"}) {
        SCOPED_TRACE(type);
        std::string raw = pcm;
        if (type == "MOTOROLA")
            for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
                std::swap(raw[i], raw[i + 1]);
        const fs::path folder = Work / type;
        fs::create_directories(folder);
        tooltest::WriteFile(folder / "cd.bin", raw);
        const std::string sheet = (folder / "cd.cue").string();
        tooltest::WriteFile(sheet, "FILE \"cd.bin\" " + type +
                                       "\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                       "TRACK 02 AUDIO\nINDEX 01 00:01:00\n");
        fs::remove_all(Work / "out");
        fs::create_directories(Work / "out");
        ASSERT_TRUE(Run(sheet, false));
        EXPECT_TRUE(SourceErrors.empty());
        std::vector<float> joined;
        for (const std::string name : {"01 - Track 01.m4a", "02 - Track 02.m4a"}) {
            ASSERT_TRUE(fs::exists(Out(name))) << name;
            EXPECT_EQ(Samples(Out(name)), 44100u);
            const std::vector<float> part = Played(Out(name));
            joined.insert(joined.end(), part.begin(), part.end());
        }
        EXPECT_LT(RmsDifference(joined, std::vector<float>(original.begin(), original.end())),
                  0.02);
        EXPECT_TRUE(fs::exists(folder / "cd.bin"));
    }
}

// A FLAC, APE or WavPack image carrying its sheet stands for its tracks when dropped alone: a
// comment or an item is a whole sheet, a CUESHEET block only numbers and offsets.
TEST_F(CueTracks, ImagesCarryingTheirSheetGiveItsTracks) {
    const std::string sheet = "PERFORMER \"Inside\"\nTITLE \"Carried\"\nFILE \"CDImage.wav\" WAVE\n"
                              "TRACK 01 AUDIO\nTITLE \"First\"\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nTITLE \"Second\"\nINDEX 01 00:01:00\n";
    tooltest::WriteFile(Work / "sheet.cue", sheet);
    const std::string block = MakeFlac(Work / "block.flac", 2);
    ASSERT_EQ(tooltest::RunTool({AppDir + "metaflac",
                                 "--import-cuesheet-from=" + (Work / "sheet.cue").string(), block})
                  .ExitCode,
              0);
    const std::string comment = MakeFlac(Work / "comment.flac", 2);
    ASSERT_EQ(tooltest::RunTool({AppDir + "metaflac",
                                 "--set-tag-from-file=CUESHEET=" + (Work / "sheet.cue").string(),
                                 comment})
                  .ExitCode,
              0);
    const std::string ape = (Work / "item.ape").string();
    tooltest::WriteFile(ape,
                        tooltest::ReadFile(Ape("mac-399.ape")) + ApeTag({{"Cuesheet", sheet}}));
    tooltest::WriteWav(Work / "wv.wav", {}, 2 * 44100, tooltest::TSignal::Sine, 440);
    const std::string wavpack = (Work / "item.wv").string();
    ASSERT_EQ(tooltest::RunTool({"/usr/bin/wavpack", "-q", "-w",
                                 "Cuesheet=@" + (Work / "sheet.cue").string(),
                                 (Work / "wv.wav").string(), "-o", wavpack})
                  .ExitCode,
              0);
    struct TCase {
        std::string Image;
        std::vector<std::string> Titles;
    };
    for (const TCase& c :
         {TCase{block, {"Track 01", "Track 02"}}, TCase{comment, {"First", "Second"}},
          TCase{ape, {"First", "Second"}}, TCase{wavpack, {"First", "Second"}}}) {
        SCOPED_TRACE(c.Image);
        fs::remove_all(Work / "out");
        fs::create_directories(Work / "out");
        const std::vector<TMP4::TSheetTrack> rows = Job.AddCueSheet(c.Image);
        ASSERT_EQ(rows.size(), 2u) << Job.SheetError;
        EXPECT_EQ(rows[1].Image, c.Image);
        ASSERT_TRUE(Run(c.Image, true));
        const std::vector<tooltest::TChapter> chapters = tooltest::Chapters(Out("all.m4a"));
        ASSERT_EQ(chapters.size(), 2u);
        for (std::size_t k = 0; k < 2; ++k)
            EXPECT_EQ(chapters[k].Title, c.Titles[k]);
        EXPECT_NEAR(chapters[1].Start, 1.0, 0.01);
    }
    // Without a sheet inside, an image is one source of its own.
    Job.ClearAll();
    EXPECT_TRUE(Job.AddCueSheet(MakeFlac(Work / "plain.flac", 1)).empty());
    EXPECT_EQ(Job.SheetError, "");
    EXPECT_TRUE(Job.AddSrcFile((Work / "plain.flac").string()));
    EXPECT_EQ(Job.Sources.size(), 1u);
}
