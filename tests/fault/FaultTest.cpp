#include "FaultRun.h"

#include <QTimer>

namespace {

namespace fs = std::filesystem;
using faulttest::TFault;

const std::vector<std::string> Decoders = {"mac", "flac", "lame"};

// Each test runs again from a fake application folder, where the tools misbehave on request.
class Fault : public TFaultRun {
protected:
    // A healthy run after the faults still stops at an abort and leaves nothing.
    void ExpectAbortStillWorks() {
        Dialogs.Shown.clear();
        Drop({MakeWav("long.wav", 30)});
        AtFirstReport(10, [&] { Find<QPushButton>("btnAbort")->click(); });
        Dialogs.SaveAnswer = TSaveChoice{"ignored", 1};
        Find<QPushButton>("btnConvert")->click();
        EXPECT_EQ(Errors(), std::vector<std::string>{"Abort requested - processing has stopped"});
        ExpectIdle();
        EXPECT_TRUE(NoTemporaryFiles());
        EXPECT_FALSE(fs::exists(Folder / "long.mp4"));
    }
};

} // namespace

// Decoders and the encoder fail their step; without tags or their tagging the file still converts.
TEST_F(Fault, ACrashingToolFailsItsStepAndLosesNothing) {
    if (!faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder();
    for (const std::string& tool : Decoders)
        ExpectOutcome(tool, TFault::Crash, false);
    ExpectOutcome("neroAacEnc", TFault::Crash, false);
    ExpectOutcome("metaflac", TFault::Crash, true);
    ExpectOutcome("neroAacTag", TFault::Crash, true);
    ExpectAbortStillWorks();
}

TEST_F(Fault, GarbageOnTheScreenIsOnlyText) {
    if (!faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder();
    for (const std::string& tool : Decoders)
        ExpectOutcome(tool, TFault::Garbage, false);
    ExpectOutcome("neroAacEnc", TFault::Garbage, false);
    ExpectOutcome("metaflac", TFault::Garbage, true);
    ExpectOutcome("neroAacTag", TFault::Garbage, true);
}

TEST_F(Fault, TenMegabytesOfTextNeitherBlockNorBreakTheRun) {
    if (!faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder();
    ExpectOutcome("neroAacEnc", TFault::Flood, false);
    ExpectAbortStillWorks();
}

// A WAV header, or an MP4 without its index, is no finished output.
TEST_F(Fault, AToolKilledAfterItsFirstBytesLeavesNothingHalfWritten) {
    if (!faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder();
    for (const std::string& tool : Decoders)
        ExpectOutcome(tool, TFault::Header, false);
    ExpectOutcome("neroAacEnc", TFault::Header, false);
}

TEST_F(Fault, AToolThatSucceedsWithoutWritingIsAFailure) {
    if (!faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder();
    for (const std::string& tool : Decoders)
        ExpectOutcome(tool, TFault::Silent, false);
    ExpectOutcome("neroAacEnc", TFault::Silent, false);
    ExpectOutcome("metaflac", TFault::Silent, true);
    ExpectOutcome("neroAacTag", TFault::Silent, true);
}

TEST_F(Fault, ADecoderWritingAnotherRateIsNotCombined) {
    if (!faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder();
    fs::create_directories(Folder / "src");
    const std::string wav = MakeWav("src/a.wav", 1), flac = MakeFlac("src/b.flac", 1);
    const TFiles before = Contents(Folder / "src");
    faulttest::PlayFault("flac", TFault::Rate);

    TMP4 job;
    job.OutputExt = ".mp4";
    job.SetOutputName("job");
    ASSERT_TRUE(job.AddSrcFile(wav));
    ASSERT_TRUE(job.AddSrcFile(flac));
    EXPECT_FALSE(job.DoConvert(true, false));
    EXPECT_FALSE(job.SameSampleRate);

    Drop({wav, flac});
    Check("rdgrpConvertItem0");
    Check("rdbtnSource");
    Dialogs.SaveAnswer = TSaveChoice{QString::fromStdString((Folder / "window").string()), 1};
    Find<QPushButton>("btnConvert")->click();
    EXPECT_EQ(Errors(), std::vector<std::string>{"Mixed Sample Frequency audio file set "
                                                 "detected.\nCannot convert this set of files to "
                                                 "MP4."});
    ExpectIdle();
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_EQ(Contents(Folder / "src"), before);
}

// There is no time-out: a hung decoder or encoder keeps the run going, with the window answering
// all along, until the abort ends it.
TEST_F(Fault, AHungToolEndsThroughTheAbortAlone) {
    if (!faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder();
    for (const std::string tool : {"mac", "flac", "lame", "neroAacEnc"}) {
        SCOPED_TRACE(tool);
        const std::string source = MakeSource(tool, tool);
        const TFiles before = Contents(Folder / tool);
        faulttest::PlayFault(tool, TFault::Hang);

        TMP4 job;
        job.OutputExt = ".mp4";
        ASSERT_TRUE(job.AddSrcFile(source));
        int pumps = 0;
        platform::SetMessagePump([&] {
            if (++pumps == 7)
                job.Abort.Request();
        });
        EXPECT_FALSE(job.DoConvert(false, false));
        EXPECT_GE(pumps, 7);
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });

        Dialogs.Shown.clear();
        Drop({source});
        QTimer ticks;
        int ticked = 0;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            if (++ticked != 10)
                return;
            EXPECT_TRUE(Inside(*Form).Busy);
            Find<QPushButton>("btnAbort")->click();
        });
        ticks.start(100);
        Check("rdgrpConvertItem1");
        Dialogs.SaveAnswer = TSaveChoice{"ignored", 1};
        Find<QPushButton>("btnConvert")->click();
        EXPECT_GE(ticked, 10);
        EXPECT_EQ(Errors(), std::vector<std::string>{"Abort requested - processing has stopped"});
        ExpectIdle();
        EXPECT_TRUE(NoTemporaryFiles());
        EXPECT_EQ(Contents(Folder / tool), before);
    }
}

// A tag run that takes its time still stops at an abort, and the run keeps nothing.
TEST_F(Fault, AnAbortStopsSlowTagRuns) {
    if (!faulttest::InFakeAppFolder())
        return faulttest::RunCurrentTestInFakeFolder();
    for (const std::string tool : {"metaflac", "neroAacTag"}) {
        SCOPED_TRACE(tool);
        const std::string source = MakeSource(tool, tool);
        const TFiles before = Contents(Folder / tool);
        faulttest::PlayFault(tool, TFault::Slow);
        Dialogs.Shown.clear();
        Drop({source});
        QTimer::singleShot(500, Find<QPushButton>("btnAbort"), &QPushButton::click);
        Check("rdgrpConvertItem1");
        Dialogs.SaveAnswer = TSaveChoice{"ignored", 1};
        Find<QPushButton>("btnConvert")->click();
        ExpectIdle();
        EXPECT_TRUE(NoTemporaryFiles());
        EXPECT_EQ(Errors(), std::vector<std::string>{"Abort requested - processing has stopped"});
        EXPECT_EQ(Contents(Folder / tool), before);
    }
}
