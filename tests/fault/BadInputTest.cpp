#include "FaultRun.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class BadInput : public TFaultRun {
protected:
    std::string MakeMp3(const std::string& name) {
        const std::string wav = MakeWav(name + ".source.wav", 1);
        const std::string mp3 = (Folder / name).string();
        EXPECT_EQ(tooltest::RunTool({tooltest::Tool("lame"), "--quiet", wav, mp3}).ExitCode, 0);
        fs::remove(wav);
        return mp3;
    }
    // Drops the files and converts each next to itself, or into the folder given.
    void ConvertSeparately(const std::vector<std::string>& files, const fs::path& into = {}) {
        Dialogs.Shown.clear();
        Drop(files);
        Check("rdgrpConvertItem1");
        Check(into.empty() ? "rdbtnSource" : "rdbtnSelect");
        Dialogs.SaveAnswer = TSaveChoice{QString::fromStdString((into / "x").string()), 1};
        Find<QPushButton>("btnConvert")->click();
        ExpectIdle();
        EXPECT_TRUE(NoTemporaryFiles());
    }
    QString ErrorList() { return Find<QPlainTextEdit>("memError")->toPlainText().trimmed(); }
    static void Mode(const fs::path& path, fs::perms perms) {
        fs::permissions(path, perms, fs::perm_options::replace);
    }
};

const std::vector<std::string> NoError;
const std::string DecodeFailed =
    "An audio file could not be decoded.\nIts decoder's messages are in the Error List.";
const std::string EncodeFailed =
    "The encoder did not write the MP4 file.\nIts messages are in the Error List.";

} // namespace

// The drop's own refusals are covered with the cue list; the job refuses the same names alone.
TEST_F(BadInput, TheJobRefusesEmptyFilesFoldersDanglingLinksAndFifos) {
    std::vector<std::string> names;
    for (const char* name : {"empty.ape", "empty.flac", "empty.mp3", "empty.wav"}) {
        tooltest::WriteFile(Folder / name, "");
        names.push_back((Folder / name).string());
    }
    Drop(names);
    EXPECT_TRUE(CueRows().isEmpty());
    fs::create_directories(Folder / "x.mp3");
    fs::create_symlink(Folder / "nowhere.flac", Folder / "dangling.flac");
    ASSERT_EQ(mkfifo((Folder / "x.wav").c_str(), 0600), 0);
    for (const char* name : {"x.mp3", "dangling.flac", "x.wav"})
        names.push_back((Folder / name).string());
    TMP4 job;
    for (const std::string& name : names)
        EXPECT_FALSE(job.AddSrcFile(name)) << name;
    EXPECT_FALSE(job.DoConvert(false, false));
    EXPECT_FALSE(job.Failed || job.EncodeFailed || !job.SameSampleRate);
}

TEST_F(BadInput, SourcesChangedBetweenDropAndRunAreSkippedOrFailAlone) {
    fs::create_directories(Folder / "src");
    const std::string flac = MakeFlac("src/a.flac", 1), wav = MakeWav("src/b.wav", 1),
                      mp3 = MakeMp3("src/c.mp3"), ape = (Folder / "src/d.ape").string(),
                      good = MakeWav("src/e.wav", 1);
    fs::copy_file(tooltest::TestData("ape/mac-399.ape"), ape);
    Drop({flac, wav, mp3, ape, good});
    ASSERT_EQ(CueRows().size(), 5);
    fs::remove(flac);
    fs::remove(wav);
    ASSERT_EQ(mkfifo(wav.c_str(), 0600), 0);
    tooltest::WriteFile(mp3, "");
    fs::remove(ape);
    tooltest::WriteFile(ape, "MAC " + std::string(2000, '\x7f'));
    const TFiles before = Contents(Folder / "src");
    Dialogs.SaveAnswer = TSaveChoice{"x", 1};
    Check("rdgrpConvertItem1");
    Check("rdbtnSource");
    Find<QPushButton>("btnConvert")->click();
    ExpectIdle();
    // The last file converted, so the run reports no failure; the broken one is listed.
    EXPECT_EQ(Errors(), NoError);
    EXPECT_FALSE(ErrorList().isEmpty());
    TFiles after = Contents(Folder / "src");
    EXPECT_EQ(after.erase("e.mp4"), 1u);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(NoTemporaryFiles());

    // Nothing left at all is its own message.
    const std::string gone = MakeFlac("src/gone.flac", 1);
    Drop({gone});
    fs::remove(gone);
    ConvertSeparately({});
    EXPECT_EQ(Errors(), std::vector<std::string>{"None of the audio files could be converted."});
}

TEST_F(BadInput, AMissingTemporaryFolderFailsTheDecodeOnly) {
    fs::create_directories(Folder / "src");
    const std::string flac = MakeFlac("src/a.flac", 1), wav = MakeWav("src/b.wav", 1);
    const TFiles before = Contents(Folder / "src");
    qputenv("TMPDIR", (Folder / "no such folder").c_str());
    ConvertSeparately({flac, wav});
    qputenv("TMPDIR", (Folder / "home/tmp").c_str());
    EXPECT_EQ(Errors(), NoError);
    EXPECT_FALSE(ErrorList().isEmpty());
    TFiles after = Contents(Folder / "src");
    EXPECT_EQ(after.erase("b.mp4"), 1u);
    EXPECT_EQ(after, before);
}

// A folder too small for what the run writes there is found before anything is decoded.
TEST_F(BadInput, AFullTemporaryOrOutputFolderRefusesTheRunUpFront) {
    if (geteuid() != 0 || !Folder.MountSmallTmpfs("full", "64k"))
        GTEST_SKIP() << "mounting a small file system needs root";
    fs::create_directories(Folder / "src");
    const std::string flac = MakeFlac("src/a.flac", 1), wav = MakeWav("src/long.wav", 20);
    const TFiles before = Contents(Folder / "src");
    qputenv("TMPDIR", (Folder / "full").c_str());
    ConvertSeparately({flac});
    qputenv("TMPDIR", (Folder / "home/tmp").c_str());
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("temporary folder " + (Folder / "full").string()), std::string::npos)
        << Errors()[0];
    EXPECT_TRUE(ErrorList().isEmpty());

    ConvertSeparately({wav}, Folder / "full");
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_NE(Errors()[0].find("output folder " + (Folder / "full").string()), std::string::npos)
        << Errors()[0];
    EXPECT_TRUE(fs::is_empty(Folder / "full"));
    EXPECT_EQ(Contents(Folder / "src"), before);
}

// Permissions do not hold for root, so the copy runs as an unprivileged user then.
TEST_F(BadInput, UnreadableSourcesAndClosedFoldersFailCleanly) {
    if (geteuid() == 0 && !faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder(true);
    ASSERT_NE(geteuid(), 0u);
    fs::create_directories(Folder / "src");
    const std::string lockedWav = MakeWav("src/locked.wav", 1),
                      lockedFlac = MakeFlac("src/locked.flac", 1);
    Mode(lockedWav, fs::perms::none);
    Mode(lockedFlac, fs::perms::none);
    TMP4 job;
    EXPECT_FALSE(job.AddSrcFile(lockedWav));
    // Only its size is checked at the drop; the decoder then cannot read it.
    ConvertSeparately({lockedWav, lockedFlac});
    EXPECT_EQ(Errors(), std::vector<std::string>{DecodeFailed});
    EXPECT_FALSE(ErrorList().isEmpty());

    // A folder the encoder cannot write into.
    fs::create_directories(Folder / "closed");
    const std::string inClosed = MakeWav("closed/song.wav", 1);
    Mode(Folder / "closed", fs::perms::owner_read | fs::perms::owner_exec);
    ConvertSeparately({inClosed});
    EXPECT_EQ(Errors(), std::vector<std::string>{EncodeFailed});

    // A temporary folder closed to writing fails the decode, not the WAV source.
    const std::string flac = MakeFlac("src/a.flac", 1), wav = MakeWav("src/b.wav", 1);
    Mode(Folder / "home/tmp", fs::perms::owner_read | fs::perms::owner_exec);
    ConvertSeparately({flac, wav});
    Mode(Folder / "home/tmp", fs::perms::owner_all);
    EXPECT_EQ(Errors(), NoError);
    EXPECT_FALSE(ErrorList().isEmpty());
    EXPECT_FALSE(fs::exists(Folder / "src/a.mp4"));
    EXPECT_TRUE(fs::exists(Folder / "src/b.mp4"));
    Mode(Folder / "closed", fs::perms::owner_all);
    EXPECT_EQ(Contents(Folder / "closed").size(), 1u);
}
