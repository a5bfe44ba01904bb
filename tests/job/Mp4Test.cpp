#include "job/Mp4.h"

#include "pipeline/PipelineTestSupport.h"
#include "pipeline/Wav.h"
#include "platform/CommandLine.h"
#include "sources/SourceTestFiles.h"
#include "tools/ToolTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

const std::string AppDir = PARVANE_APP_DIR;

// A FLAC source as the tool-based kinds decode: a temporary WAV, the real flac run on the
// console, progress through the console's polls.
class TFlacKind : public TBase {
public:
    TFlacKind() { Kind = 2; }
    bool AcceptsFile(const std::string& fileName) override { return fileName.ends_with(".flac"); }
    bool Decode() override {
        MakeWavName();
        Percent = 0;
        OnProgress(*this);
        Cons.OnPoll = [this](TCons&) {
            Percent = std::min(Percent + 1, 99);
            OnProgress(*this);
        };
        const bool ran = Cons.Run("Converting to WAV...",
                                  QuoteArg(AppDir + "flac") + " -d -f " + QuoteArg(SrcFile) +
                                      " -o " + QuoteArg(WavFile),
                                  AppDir, false);
        if (WavFileOk()) {
            Percent = 100;
        } else {
            ErrorLines = Cons.ScreenLines;
            Failed = true;
        }
        OnProgress(*this);
        return ran;
    }
};

std::size_t Checksum(const fs::path& path) {
    return std::hash<std::string>{}(tooltest::ReadFile(path));
}

class Mp4Job : public testing::Test {
protected:
    TScopedFolder Work;
    // Quotes and blanks in the folder, so that every path on a command line needs its quoting.
    fs::path Src = Work / "so\"urce dir";
    pipelinetest::TScopedTmpDir Tmp{Work / "tmp"};
    TMP4 Job;
    std::map<fs::path, std::size_t> Checksums;
    Strings Events;
    std::vector<int> EncoderPercents;
    std::vector<Strings> SourceErrors;

    Mp4Job() {
        fs::create_directories(Src);
        Job.OutputExt = ".mp4";
        Job.SetEncoderOption("-cbr 128000");
        auto record = [this](const std::string& name) {
            return [this, name](TMP4&) { Events.push_back(name); };
        };
        Job.OnStepStart = [this](TMP4& j) {
            Events.push_back("StepStart:" + std::to_string(j.Activity));
        };
        Job.OnProgress = [this](TMP4& j) {
            if (j.Activity == 10)
                EncoderPercents.push_back(j.Percent);
        };
        Job.OnSourceDone = [this](TMP4& j) {
            Events.push_back("SourceDone");
            if (j.Failed)
                SourceErrors.push_back(j.ErrorLines);
        };
        Job.OnEncodeDone = record("EncodeDone");
        Job.OnTagStart = record("TagStart");
        Job.OnTagDone = record("TagDone");
    }

    std::string MakeWav(const std::string& name, double seconds, int rate = 44100) {
        const fs::path path = Src / name;
        tooltest::WriteWav(path, {.Rate = rate}, static_cast<std::uint64_t>(seconds * rate));
        Checksums[path] = Checksum(path);
        return path.string();
    }

    // As other programs write them: this layout, and with junk a JUNK chunk before the format
    // chunk, as recorders reserve room there.
    std::string MakeWavAs(const std::string& name, double seconds, const tooltest::TWavSpec& spec,
                          bool junk = false) {
        const fs::path path = Src / name;
        tooltest::WriteWav(path, spec, static_cast<std::uint64_t>(seconds * spec.Rate));
        if (junk) {
            std::string bytes = tooltest::ReadFile(path);
            bytes.insert(12, std::string("JUNK\x1C\0\0\0", 8) + std::string(28, '\0'));
            const std::uint32_t riffSize = static_cast<std::uint32_t>(bytes.size() - 8);
            for (int i = 0; i < 4; ++i)
                bytes[4 + i] = static_cast<char>(riffSize >> (8 * i));
            WriteFile(path, bytes);
        }
        Checksums[path] = Checksum(path);
        return path.string();
    }

    // As ffmpeg writes a WAV past 4 GiB, here for a short one.
    std::string MakeRf64(const std::string& name, double seconds) {
        const fs::path path = Src / name;
        EXPECT_EQ(tooltest::RunTool({"/usr/bin/ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi",
                                     "-i", "sine=frequency=440:sample_rate=44100", "-t",
                                     std::to_string(seconds), "-ac", "2", "-rf64", "always",
                                     path.string()})
                      .ExitCode,
                  0);
        EXPECT_EQ(tooltest::ReadFile(path).substr(0, 4), "RF64");
        Checksums[path] = Checksum(path);
        return path.string();
    }

    std::string MakeFlac(const std::string& name, double seconds) {
        const std::string wav = (Work / "flac-input.wav").string();
        tooltest::WriteWav(wav, {}, static_cast<std::uint64_t>(seconds * 44100));
        const fs::path path = Src / name;
        EXPECT_EQ(tooltest::RunTool({AppDir + "flac", "-s", "-o", path.string(), wav}).ExitCode, 0);
        Checksums[path] = Checksum(path);
        return path.string();
    }

    // Four tagged FLAC tracks of 4, 2.5, 6 and 3 seconds.
    Strings MakeAlbum() {
        Strings tracks;
        for (const double seconds : {4.0, 2.5, 6.0, 3.0}) {
            const std::string n = std::to_string(tracks.size() + 1);
            tracks.push_back(sourcetest::MakeFlac(
                Src / ("track" + n + ".flac"), seconds,
                {"TITLE=Song " + n, "ARTIST=Band", "ALBUM=Album", "TRACKNUMBER=" + n}));
            Checksums[tracks.back()] = Checksum(tracks.back());
        }
        return tracks;
    }

    void AddFlac(const std::string& path) {
        auto source = std::make_unique<TFlacKind>();
        source->SetSrcFile(path);
        ASSERT_TRUE(source->SrcFileOk());
        Job.Sources.push_back(std::move(source));
    }

    // A run of the window over files already added, then the promises every run keeps.
    bool Convert(bool combine, bool toSelected) {
        const bool result = Job.DoConvert(combine, toSelected);
        EXPECT_TRUE(Job.Sources.empty());
        EXPECT_TRUE(pipelinetest::TempWavs(Work / "tmp").empty());
        for (const auto& [path, sum] : Checksums)
            EXPECT_EQ(Checksum(path), sum) << path;
        return result;
    }

    bool Run(const Strings& files, bool combine, bool toSelected) {
        Job.ClearAll();
        for (const auto& file : files)
            EXPECT_TRUE(Job.AddSrcFile(file)) << file;
        return Convert(combine, toSelected);
    }

    Strings Mp4sIn(const fs::path& folder) const {
        Strings names;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".mp4" || entry.path().extension() == ".m4a")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

double Duration(const fs::path& file) {
    return std::stod(tooltest::Probe(file, "format=duration").at("duration"));
}

} // namespace

TEST_F(Mp4Job, ThreeSourcesCombinedIntoOneFileWithChapters) {
    const Strings files = {MakeWav("one.wav", 2), MakeWav("two.wav", 3), MakeWav("three.wav", 1)};
    Job.NameAsTitle = true;
    Job.OutputExt = ".m4a";
    Job.SetOutputName("/elsewhere/My Album.wav");
    ASSERT_TRUE(Run(files, true, false));

    const std::string out = (Src / "My Album.m4a").string();
    EXPECT_EQ(Job.OutputFile, out);
    EXPECT_EQ(Mp4sIn(Src), Strings{"My Album.m4a"});
    EXPECT_EQ(Job.TotalSeconds, 6);
    EXPECT_EQ(platform::SplitCommandLine(Job.EncoderCommand),
              (Strings{AppDir + "neroAacEnc", "-cbr", "128000", "-if", files[0], "-if", files[1],
                       "-if", files[2], "-of", out}));
    EXPECT_EQ(platform::SplitCommandLine(Job.TaggerCommand),
              (Strings{AppDir + "neroAacTag", out, "-chapter:1", "-meta:Title=one", "-chapter:2",
                       "-meta:Title=two", "-chapter:3", "-meta:Title=three"}));
    EXPECT_EQ(Events,
              (Strings{"StepStart:4", "SourceDone", "StepStart:4", "SourceDone", "StepStart:4",
                       "SourceDone", "StepStart:10", "EncodeDone", "TagStart", "TagDone"}));
    EXPECT_EQ(Job.Activity, 0);

    const auto chapters = tooltest::Chapters(out);
    ASSERT_EQ(chapters.size(), 3u);
    const double starts[] = {0, 2, 5};
    const char* titles[] = {"one", "two", "three"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(chapters[i].Start, starts[i], 0.05) << i;
        EXPECT_EQ(chapters[i].Title, titles[i]);
    }
}

TEST_F(Mp4Job, SeparateFilesNeverReplaceExistingOnes) {
    const Strings files = {MakeWav("song.wav", 1), MakeWav("other.wav", 1)};
    WriteFile(Src / "song.mp4", "mine");
    WriteFile(Src / "song-1.mp4", "mine too");
    ASSERT_TRUE(Run(files, false, false));
    EXPECT_EQ(Mp4sIn(Src), (Strings{"other.mp4", "song-1.mp4", "song-2.mp4", "song.mp4"}));
    EXPECT_EQ(tooltest::ReadFile(Src / "song.mp4"), "mine");
    EXPECT_EQ(tooltest::ReadFile(Src / "song-1.mp4"), "mine too");
    EXPECT_NEAR(Duration(Src / "song-2.mp4"), 1, 0.1);
    EXPECT_EQ(platform::SplitCommandLine(Job.TaggerCommand),
              (Strings{AppDir + "neroAacTag", (Src / "other.mp4").string(), "-chapter:1"}));

    // The selected folder's dot is no extension, and the second run counts past the first.
    const fs::path selected = Work / "out.b";
    fs::create_directory(selected);
    for (int run = 0; run < 2; ++run) {
        Job.SetOutputDir(selected.string() + "/");
        ASSERT_TRUE(Run(files, false, true));
    }
    EXPECT_EQ(Mp4sIn(selected), (Strings{"other-1.mp4", "other.mp4", "song-1.mp4", "song.mp4"}));
}

// Staged, an output is only under a hidden stand-in name until it is tagged, and a name that
// turns up meanwhile is never replaced: the next number, or with KeepWantedName a failure.
TEST_F(Mp4Job, StagedOutputsTakeTheirNameOnlyWhenCompleteAndReplaceNothing) {
    const Strings files = {MakeWav("song.wav", 1)};
    Job.StageOutputs = true;
    Strings whileTagging;
    Job.OnTagStart = [&](TMP4&) {
        whileTagging = Mp4sIn(Src);
        WriteFile(Src / "song.mp4", "meanwhile");
    };
    ASSERT_TRUE(Run(files, false, false));
    ASSERT_EQ(whileTagging.size(), 1u);
    EXPECT_TRUE(whileTagging[0].starts_with(".song.")) << whileTagging[0];
    EXPECT_EQ(Job.Written, Strings{(Src / "song-1.mp4").string()});
    EXPECT_EQ(Mp4sIn(Src), (Strings{"song-1.mp4", "song.mp4"}));
    EXPECT_EQ(tooltest::ReadFile(Src / "song.mp4"), "meanwhile");
    EXPECT_NEAR(Duration(Src / "song-1.mp4"), 1, 0.1);

    fs::remove(Src / "song.mp4");
    fs::remove(Src / "song-1.mp4");
    Job.KeepWantedName = true;
    EXPECT_FALSE(Run(files, false, false));
    EXPECT_TRUE(Job.Written.empty());
    EXPECT_TRUE(Job.Failed);
    EXPECT_EQ(Mp4sIn(Src), Strings{"song.mp4"});
    EXPECT_EQ(tooltest::ReadFile(Src / "song.mp4"), "meanwhile");
}

TEST_F(Mp4Job, CombinedIntoASelectedFolder) {
    const Strings files = {MakeWav("a.wav", 1), MakeWav("b.wav", 1)};
    const fs::path selected = Work / "out.b";
    fs::create_directory(selected);
    Job.SetOutputDir(selected.string() + "/");
    Job.SetOutputName("mix");
    ASSERT_TRUE(Run(files, true, true));
    EXPECT_EQ(Job.OutputFile, (selected / "mix.mp4").string());
    EXPECT_EQ(tooltest::Chapters(selected / "mix.mp4").size(), 2u);
    EXPECT_TRUE(Mp4sIn(Src).empty());
}

TEST_F(Mp4Job, MixedRatesAreNotCombined) {
    const Strings files = {MakeWav("cd.wav", 1, 44100), MakeWav("dvd.wav", 1, 48000)};
    Job.SetOutputName("mixed");
    EXPECT_FALSE(Run(files, true, false));
    EXPECT_FALSE(Job.SameSampleRate);
    EXPECT_FALSE(Job.EncodeFailed);
    EXPECT_TRUE(Mp4sIn(Src).empty());
    EXPECT_EQ(std::count(Events.begin(), Events.end(), "StepStart:10"), 0);

    EXPECT_TRUE(Run(files, false, false));
    EXPECT_TRUE(Job.SameSampleRate);
    EXPECT_EQ(Mp4sIn(Src), (Strings{"cd.mp4", "dvd.mp4"}));
}

// Before anything is decoded: a combined file needs every source's WAV at once, separate files
// the WAV being encoded and the next one decoding beside it.
TEST_F(Mp4Job, TemporaryRoomIsCountedBeforeAnyDecodeAndSeparateFilesHoldTwoWavsAtATime) {
    const Strings files = {MakeFlac("a.flac", 3), MakeFlac("b.flac", 3), MakeFlac("c.flac", 3)};
    const std::string temp = (Work / "tmp").string();
    // Two decodes fit into the temporary folder's own small file system, three do not.
    Job.FolderRoom = [&temp](const std::string& folder) {
        auto room = platform::FolderRoom(folder);
        if (room && folder == temp)
            *room = {1200000, room->Volume + 1};
        return room;
    };
    std::size_t steps = 0, mostWavs = 0;
    const auto count = [&](TMP4&) {
        mostWavs = std::max(mostWavs, pipelinetest::TempWavs(temp).size());
    };
    Job.OnStepStart = [&](TMP4& j) {
        ++steps;
        count(j);
    };
    Job.OnProgress = count;
    Job.SetOutputName("all");
    EXPECT_FALSE(Run(files, true, false));
    EXPECT_NE(Job.Refusal.find("temporary folder " + temp + ":"), std::string::npos) << Job.Refusal;
    EXPECT_EQ(steps, 0u);
    EXPECT_TRUE(Mp4sIn(Src).empty());

    EXPECT_TRUE(Run(files, false, false));
    EXPECT_EQ(Job.Refusal, "");
    EXPECT_EQ(Mp4sIn(Src), (Strings{"a.mp4", "b.mp4", "c.mp4"}));
    EXPECT_EQ(mostWavs, 2u);

    // Two lanes: two encode while the third decodes.
    Job.Lanes = 2;
    EXPECT_FALSE(Run(files, false, false));
    EXPECT_NE(Job.Refusal.find("temporary folder " + temp + ":"), std::string::npos) << Job.Refusal;
}

TEST_F(Mp4Job, WavsOfOtherProgramsCombineWithAChapterAtEachFirstSample) {
    const Strings files = {
        MakeWavAs("junk.wav", 2, {}, true),
        MakeWavAs("extensible.wav", 3, {.Bits = 24, .Extensible = true}, true),
        MakeWavAs("list.wav", 1, {.Bits = 32, .Float = true, .ListBeforeData = true}),
        MakeWavAs("streamed.wav", 2, {.Bits = 8, .OpenDataSize = true}),
        MakeWavAs("zero.wav", 1, {.OpenDataSize = true, .OpenDataValue = 0}),
        MakeRf64("rf64.wav", 2)};
    Job.NameAsTitle = true;
    Job.SetOutputName("layouts");
    ASSERT_TRUE(Run(files, true, false));
    EXPECT_EQ(Job.TotalSeconds, 11);
    const auto chapters = tooltest::Chapters(Src / "layouts.mp4");
    ASSERT_EQ(chapters.size(), 6u);
    const double starts[] = {0, 2, 5, 6, 8, 9};
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_NEAR(chapters[i].Start, starts[i], 0.05) << i;
    EXPECT_EQ(chapters[1].Title, "extensible");
    EXPECT_NEAR(Duration(Src / "layouts.mp4"), 11, 0.1);
}

TEST_F(Mp4Job, JunkBeforeTheFormatHidesNoMixOfRates) {
    const Strings files = {MakeWavAs("dvd.wav", 1, {.Rate = 48000}, true), MakeWav("cd.wav", 1)};
    Job.SetOutputName("mixed");
    EXPECT_FALSE(Run(files, true, false));
    EXPECT_FALSE(Job.SameSampleRate);
    EXPECT_TRUE(Mp4sIn(Src).empty());

    // Alike rates behind the same chunk are no mix.
    EXPECT_TRUE(Run({MakeWavAs("a.wav", 1, {}, true), MakeWav("b.wav", 1)}, true, false));
    EXPECT_TRUE(Job.SameSampleRate);
}

TEST_F(Mp4Job, VerifyOnlyDecodesAndChecksButWritesNothing) {
    AddFlac(MakeFlac("f.flac", 1));
    ASSERT_TRUE(Job.AddSrcFile(MakeWav("w.wav", 1)));
    Job.VerifyOnly = true;
    Job.SetOutputName("v");
    EXPECT_TRUE(Convert(true, false));
    EXPECT_EQ(Events, (Strings{"StepStart:2", "SourceDone", "StepStart:4", "SourceDone"}));
    EXPECT_TRUE(Mp4sIn(Src).empty());

    EXPECT_FALSE(Run({MakeWav("cd.wav", 1, 44100), MakeWav("dvd.wav", 1, 48000)}, true, false));
    EXPECT_TRUE(Mp4sIn(Src).empty());
}

// The source that failed is left out and the others are numbered without a gap.
TEST_F(Mp4Job, AFailedDecodeIsLeftOutAndReported) {
    ASSERT_TRUE(Job.AddSrcFile(MakeWav("first.wav", 1)));
    WriteFile(Src / "broken.flac", "fLaC" + std::string(200, '\x11'));
    AddFlac((Src / "broken.flac").string());
    ASSERT_TRUE(Job.AddSrcFile(MakeWav("third.wav", 2)));
    Job.NameAsTitle = true;
    Job.SetOutputName("album");
    EXPECT_TRUE(Convert(true, false));
    ASSERT_EQ(SourceErrors.size(), 1u);
    EXPECT_FALSE(SourceErrors[0].empty());
    const auto chapters = tooltest::Chapters(Src / "album.mp4");
    ASSERT_EQ(chapters.size(), 2u);
    EXPECT_NEAR(chapters[1].Start, 1, 0.05);
    EXPECT_NE(Job.TaggerCommand.find("-chapter:2"), std::string::npos);
    EXPECT_EQ(Job.TaggerCommand.find("-chapter:3"), std::string::npos);
}

TEST_F(Mp4Job, AbortDuringADecodeStopsAndRemovesItsWav) {
    AddFlac(MakeFlac("long.flac", 30));
    ASSERT_TRUE(Job.AddSrcFile(MakeWav("next.wav", 1)));
    Job.OnProgress = [](TMP4& j) { j.Abort.Request(); };
    Job.SetOutputName("aborted");
    EXPECT_FALSE(Convert(true, false));
    EXPECT_EQ(Events, Strings{"StepStart:2"});
    EXPECT_TRUE(Mp4sIn(Src).empty());
}

TEST_F(Mp4Job, AbortDuringTheEncoderRunDeletesThePartialFile) {
    const Strings files = {MakeWav("long.wav", 60), MakeWav("later.wav", 1)};
    Job.OnProgress = [](TMP4& j) {
        if (j.Activity == 10)
            j.Abort.Request();
    };
    EXPECT_FALSE(Run(files, false, false));
    // Separate files: the next source is taken up while the first encodes, and the run stops
    // at the first abort.
    EXPECT_EQ(Events,
              (Strings{"StepStart:4", "SourceDone", "StepStart:10", "StepStart:4", "SourceDone"}));
    EXPECT_TRUE(Mp4sIn(Src).empty());
}

// An album in separate files on two lanes: the tracks really run side by side, and each file
// is the one the track gives converted alone; an abort while they run leaves nothing at all.
TEST_F(Mp4Job, AnAlbumSideBySideGivesEachTracksOwnFileAndAnAbortLeavesNothing) {
    const Strings tracks = MakeAlbum();
    const fs::path together = Work / "together", alone = Work / "alone";
    fs::create_directories(together);
    fs::create_directories(alone);
    bool overlapped = false;
    int lastPercent = 0;
    bool percentsRose = true;
    Job.OnProgress = [&](TMP4& j) {
        overlapped = overlapped || j.Overlapping();
        percentsRose = percentsRose && j.Percent >= lastPercent;
        lastPercent = j.Percent;
    };
    Job.Lanes = 2;
    Job.SetOutputDir(together.string() + "/");
    ASSERT_TRUE(Run(tracks, false, true));
    EXPECT_TRUE(overlapped);
    EXPECT_TRUE(percentsRose);
    EXPECT_GE(lastPercent, 99);
    EXPECT_EQ(std::count(Events.begin(), Events.end(), "TagDone"), 4);
    EXPECT_EQ(Job.Written.size(), 4u);
    Job.Lanes = 1;
    Job.SetOutputDir(alone.string() + "/");
    for (const std::string& track : tracks)
        ASSERT_TRUE(Run({track}, false, true));
    ASSERT_EQ(Mp4sIn(together), Mp4sIn(alone));
    ASSERT_EQ(Mp4sIn(together).size(), 4u);
    for (const std::string& name : Mp4sIn(together)) {
        EXPECT_EQ(Duration(together / name), Duration(alone / name)) << name;
        EXPECT_EQ(tooltest::Mp4Atoms(together / name), tooltest::Mp4Atoms(alone / name)) << name;
    }
    EXPECT_NEAR(Duration(together / "track3.mp4"), 6, 0.05);

    // Steps running side by side when the abort comes, before any file is done.
    const fs::path stopped = Work / "stopped";
    fs::create_directories(stopped);
    Job.Lanes = 2;
    Job.SetOutputDir(stopped.string() + "/");
    Job.OnProgress = [](TMP4& j) {
        if (j.Overlapping() && j.Percent >= 5)
            j.Abort.Request();
    };
    EXPECT_FALSE(Run(tracks, false, true));
    EXPECT_TRUE(Job.Abort.Requested());
    EXPECT_TRUE(fs::is_empty(stopped));
    Job.Abort.Clear();
}

TEST_F(Mp4Job, EncoderProgressRisesToTheEnd) {
    ASSERT_TRUE(Run({MakeWav("minute.wav", 60)}, true, false));
    ASSERT_GE(EncoderPercents.size(), 2u);
    EXPECT_TRUE(std::is_sorted(EncoderPercents.begin(), EncoderPercents.end()));
    // The last figure comes from the last poll before the encoder's closing line, up to one
    // poll slice (about a sixth of this run) before the end.
    EXPECT_LT(EncoderPercents.front(), 50);
    EXPECT_GE(EncoderPercents.back(), 70);
    EXPECT_LE(EncoderPercents.back(), 100);
}

// A RIFF file the encoder cannot read: no MP4, and the job says so instead of tagging nothing.
TEST_F(Mp4Job, AnEncoderRunWithoutOutputIsAFailure) {
    WriteFile(Src / "bad.wav", "RIFF" + std::string(60, 'x'));
    Checksums[Src / "bad.wav"] = Checksum(Src / "bad.wav");
    Strings encoderScreen;
    Job.OnEncodeDone = [&](TMP4& j) {
        Events.push_back("EncodeDone");
        EXPECT_TRUE(j.Failed);
        encoderScreen = j.ErrorLines;
    };
    EXPECT_FALSE(Run({(Src / "bad.wav").string()}, false, false));
    EXPECT_TRUE(Job.EncodeFailed);
    EXPECT_TRUE(Job.SameSampleRate);
    EXPECT_EQ(Events, (Strings{"StepStart:4", "SourceDone", "StepStart:10", "EncodeDone"}));
    std::string screen;
    for (const auto& line : encoderScreen)
        screen += line + "\n";
    EXPECT_NE(screen.find("not a WAV file"), std::string::npos) << screen;
    EXPECT_TRUE(Mp4sIn(Src).empty());
}

TEST_F(Mp4Job, NoSourcesConvertNothing) {
    for (const std::string name : {"d.wave", "e.txt"}) {
        WriteFile(Src / name, "RIFF" + std::string(100, '\0'));
        EXPECT_FALSE(Job.AddSrcFile((Src / name).string())) << name;
    }
    // The decoded kinds take any file of a header's size; shorter ones are no sources.
    for (const std::string name : {"a.ape", "b.flac", "c.mp3"}) {
        WriteFile(Src / name, std::string(43, '\0'));
        EXPECT_FALSE(Job.AddSrcFile((Src / name).string())) << name;
    }
    EXPECT_FALSE(Job.AddSrcFile((Src / "missing.wav").string()));
    EXPECT_TRUE(Job.AddSrcFile(MakeWav("UPPER.WAV", 1)));
    Job.ClearAll();
    // Left over from an earlier run, as the window's job keeps them.
    Job.SameSampleRate = false;
    Job.EncodeFailed = true;
    EXPECT_FALSE(Convert(true, false));
    EXPECT_FALSE(Convert(false, true));
    EXPECT_TRUE(Events.empty());
    EXPECT_TRUE(Job.SameSampleRate);
    EXPECT_FALSE(Job.EncodeFailed);
}

TEST(Mp4EncoderPoll, PercentFromTheSecondsOnTheLastLine) {
    TMP4 job;
    int raised = 0;
    job.OnProgress = [&](TMP4&) { ++raised; };
    job.TotalSeconds = 240;
    const Strings plan = {"neroAacEnc", "Input 1", "Output", "Mode", "Audio"};

    job.Cons.ScreenLines = plan;
    job.Cons.ScreenLines.back() = "Processed 30 seconds...";
    job.EncoderPoll(job.Cons);
    EXPECT_EQ(raised, 0);

    for (const auto& [last, percent] :
         std::vector<std::pair<std::string, int>>{{"Processed 30 seconds...", 13},
                                                  {"Processed,\"0\" s", 0},
                                                  {"x 999999999999999999", 100}}) {
        job.Cons.ScreenLines = plan;
        job.Cons.ScreenLines.push_back(last);
        job.EncoderPoll(job.Cons);
        EXPECT_EQ(job.Percent, percent) << last;
    }
    EXPECT_EQ(raised, 3);

    for (const std::string last : {"Done: 60.0 s", "Processed -3 seconds", "Processed"}) {
        job.Cons.ScreenLines = plan;
        job.Cons.ScreenLines.push_back(last);
        job.EncoderPoll(job.Cons);
    }
    EXPECT_EQ(raised, 3);
}

// The real encoder's screen, polled as the job polls it, with one input and with several (whose
// plan has a sixth line of its own): only the seconds done ever move the bar.
TEST(Mp4EncoderPoll, ReadsOnlyTheSecondsDoneFromTheRealEncodersScreen) {
    TScopedFolder dir;
    constexpr int seconds = 40;
    for (int inputs : {1, 2, 3}) {
        SCOPED_TRACE(std::to_string(inputs) + " inputs");
        Strings args = {AppDir + "neroAacEnc", "-cbr", "128000"};
        for (int i = 0; i < inputs; ++i) {
            const auto wav = dir / ("in" + std::to_string(i) + ".wav");
            tooltest::WriteWav(wav, tooltest::TWavSpec{},
                               static_cast<std::uint64_t>(seconds * 44100 / inputs));
            args.insert(args.end(), {"-if", wav.string()});
        }
        args.insert(args.end(),
                    {"-of", (dir / ("out" + std::to_string(inputs) + ".m4a")).string()});
        auto screens = tooltest::RunOnScreen(args);
        ASSERT_FALSE(screens.empty());
        // A poll may land after any line: the final screen as it grew, line by line, too.
        const auto final = screens.back();
        for (std::size_t k = 1; k < final.size(); ++k)
            screens.emplace_back(final.begin(), final.begin() + static_cast<std::ptrdiff_t>(k));
        TMP4 job;
        int raised = 0;
        job.OnProgress = [&](TMP4&) { ++raised; };
        job.TotalSeconds = seconds;
        int polls = 0;
        for (const auto& screen : screens) {
            if (screen.empty())
                continue;
            const int before = raised;
            job.Cons.ScreenLines = screen;
            job.EncoderPoll(job.Cons);
            const std::string& last = screen.back();
            long done = -1;
            if (last.rfind("Processed ", 0) == 0)
                done = std::stol(last.substr(10));
            if (done < 0 || screen.size() <= 5) {
                EXPECT_EQ(raised, before) << last;
                continue;
            }
            ++polls;
            EXPECT_EQ(raised, before + 1) << last;
            EXPECT_EQ(job.Percent, static_cast<int>(done * 100.0 / seconds + 0.5)) << last;
        }
        EXPECT_GT(polls, 0);
    }
}

// One file of an album: the encoder begins once the first track is decoded and reads each next
// one as its decode ends. The file is the one the serial run makes, a track that cannot join
// has the file made without it, and an abort while both run leaves nothing.
TEST_F(Mp4Job, ACombinedAlbumEncodesBesideItsLaterDecodes) {
    const Strings tracks = MakeAlbum();
    bool beside = false;
    Job.OnProgress = [&](TMP4& j) { beside = beside || (j.Overlapping() && j.Activity != 10); };
    Job.Lanes = 2;
    Job.SetOutputName("beside");
    ASSERT_TRUE(Run(tracks, true, false));
    EXPECT_TRUE(beside);
    EXPECT_NE(Job.EncoderCommand.find(" -await "), std::string::npos) << Job.EncoderCommand;
    Job.Lanes = 1;
    Job.SetOutputName("serial");
    ASSERT_TRUE(Run(tracks, true, false));
    EXPECT_EQ(Job.EncoderCommand.find(" -await "), std::string::npos);
    EXPECT_EQ(Duration(Src / "beside.mp4"), Duration(Src / "serial.mp4"));
    EXPECT_NEAR(Duration(Src / "beside.mp4"), 15.5, 0.05);
    EXPECT_EQ(tooltest::Mp4Atoms(Src / "beside.mp4"), tooltest::Mp4Atoms(Src / "serial.mp4"));
    const auto chapters = tooltest::Chapters(Src / "beside.mp4");
    ASSERT_EQ(chapters.size(), 4u);
    EXPECT_NEAR(chapters[2].Start, 6.5, 0.001);
    EXPECT_EQ(chapters[3].Title, "Song 4");

    Job.Lanes = 2;
    Job.ClearAll();
    ASSERT_TRUE(Job.AddSrcFile(tracks[0]));
    WriteFile(Src / "broken.flac", "fLaC" + std::string(200, '\x11'));
    AddFlac((Src / "broken.flac").string());
    ASSERT_TRUE(Job.AddSrcFile(tracks[2]));
    Job.SetOutputName("without");
    EXPECT_TRUE(Convert(true, false));
    EXPECT_EQ(Job.EncoderCommand.find(" -await "), std::string::npos);
    EXPECT_EQ(tooltest::Chapters(Src / "without.mp4").size(), 2u);
    EXPECT_NEAR(Duration(Src / "without.mp4"), 10, 0.05);

    Job.OnProgress = [](TMP4& j) {
        if (j.Overlapping())
            j.Abort.Request();
    };
    Job.SetOutputName("stopped");
    EXPECT_FALSE(Run(tracks, true, false));
    EXPECT_TRUE(Job.Abort.Requested());
    EXPECT_EQ(Mp4sIn(Src), (Strings{"beside.mp4", "serial.mp4", "without.mp4"}));
    Job.Abort.Clear();
}
