#include "WindowTest.h"
#include "app/Gauge.h"
#include "app/StatusBar.h"

#include <QCheckBox>
#include <QPushButton>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

class ConversionRun : public TWindowTest {
protected:
    QString Panel(const char* bar, int i) { return Find<TStatusBar>(bar)->PanelText(i); }
    void Answer(const fs::path& file, int filterIndex = 1) {
        Dialogs.SaveAnswer = TSaveChoice{QString::fromStdString(file.string()), filterIndex};
    }
    void Start() { Find<QPushButton>("btnConvert")->click(); }
    void Mode(bool combined, bool toSource) {
        Check(combined ? "rdgrpConvertItem0" : "rdgrpConvertItem1");
        Check(toSource ? "rdbtnSource" : "rdbtnSelect");
    }
    // The buttons and the settings, as "convert abort clear settings", 1 for enabled.
    std::string Controls() {
        auto on = [&](const char* name) { return Find<QWidget>(name)->isEnabled() ? '1' : '0'; };
        return {on("btnConvert"), on("btnAbort"), on("btnClearCue"), on("chbxVerify")};
    }
};

} // namespace

TEST_F(ConversionRun, EachSaveModeWritesWhereItShould) {
    fs::create_directories(Folder / "src");
    fs::create_directories(Folder / "out");
    const std::string a = MakeWav("src/a.wav", 1), b = MakeWav("src/b.wav", 1);

    // Browsing to another folder changes nothing; the typed extension gives way to the filter's.
    Mode(true, true);
    Drop({a, b});
    Answer(Folder / "out/album.m4a", 1);
    Start();
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Title,
              "1. COMBINE-SOURCE : Directory = Source, Select a new Filename");
    EXPECT_EQ(Dialogs.Shown[0].Text, "a");
    EXPECT_TRUE(fs::exists(Folder / "src/album.mp4"));
    EXPECT_EQ(tooltest::Chapters(Folder / "src/album.mp4").size(), 2u);
    EXPECT_EQ(Panel("stbarSavedTo", 1),
              "saved to directory:\n" + QString::fromStdString((Folder / "src/").string()));

    Mode(true, false);
    Drop({a, b});
    Answer(Folder / "out/mix.mp4", 2);
    Start();
    EXPECT_EQ(Dialogs.Shown.back().Title,
              "2. COMBINE-SELECT : Select a new Filename and a new Directory");
    EXPECT_TRUE(fs::exists(Folder / "out/mix.m4a"));
    EXPECT_EQ(Inside(*Form).FilterIndex, 2);

    Mode(false, true);
    Drop({a, b});
    Answer(Folder / "out/ignored.mp4", 1);
    Start();
    EXPECT_EQ(Dialogs.Shown.back().Title,
              "3. SEPARATE-SOURCE : Directory and Filename are taken form Source");
    EXPECT_EQ(Dialogs.Shown.back().Text, "the filename will be ignored");
    EXPECT_TRUE(fs::exists(Folder / "src/a.mp4"));
    EXPECT_TRUE(fs::exists(Folder / "src/b.mp4"));
    EXPECT_EQ(Panel("stbarSavedTo", 0), "MP4 file(s)");
    EXPECT_EQ(Panel("stbarSavedTo", 1), "saved to the source directories");

    Mode(false, false);
    Drop({a, b});
    Answer(Folder / "out/whatever");
    Start();
    EXPECT_EQ(Dialogs.Shown.back().Title,
              "4. SEPARATE-SELECT : Select a new Directory, Filename from Source");
    EXPECT_TRUE(fs::exists(Folder / "out/a.mp4"));
    EXPECT_TRUE(fs::exists(Folder / "out/b.mp4"));
    EXPECT_EQ(Inside(*Form).OutputName, "a.wav");
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Panel("stbarProcessing", 0), "Ready");
}

// The third filter makes audiobooks: .m4b files of media kind 2, and it is offered again.
TEST_F(ConversionRun, TheAudiobookFilterWritesM4bFiles) {
    fs::create_directories(Folder / "out");
    Mode(true, false);
    Drop({MakeWav("a.wav", 1), MakeWav("b.wav", 1)});
    Answer(Folder / "out/book.mp4", 3);
    Start();
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Filters,
              QStringList({"MP4 (*.mp4)", "M4A (*.m4a)", "M4B audiobook (*.m4b)"}));
    const fs::path book = Folder / "out/book.m4b";
    ASSERT_TRUE(fs::exists(book));
    EXPECT_EQ(tooltest::Mp4Atoms(book)["stik"], "2");
    EXPECT_EQ(tooltest::Chapters(book).size(), 2u);

    Mode(false, false);
    Drop({(Folder / "a.wav").string()});
    Answer(Folder / "out/whatever", 3);
    Start();
    EXPECT_EQ(Dialogs.Shown.back().FilterIndex, 3);
    EXPECT_EQ(tooltest::Mp4Atoms(Folder / "out/a.m4b")["stik"], "2");
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ConversionRun, ACancelledDialogStartsNothing) {
    Drop({MakeWav("a.wav", 1)});
    Start();
    EXPECT_EQ(Controls(), "1011");
    EXPECT_EQ(CueRows().size(), 1);
    EXPECT_EQ(Folder.Names(), (std::vector<std::string>{"a.wav", "home"}));
}

TEST_F(ConversionRun, VerifyOnlyOpensNoDialogAndWritesNothing) {
    Check("chbxVerify");
    Inside(*Form).FilterIndex = 2;
    Inside(*Form).OutputName = "kept";
    Drop({MakeWav("a.wav", 1), MakeWav("b.wav", 1)});
    Start();
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_EQ(Inside(*Form).OutputExt, ".m4a");
    EXPECT_EQ(Inside(*Form).OutputName, "kept");
    EXPECT_EQ(Folder.Names(), (std::vector<std::string>{"a.wav", "b.wav", "home"}));

    Drop({MakeWav("c.wav", 1), MakeWav("d.wav", 1, 48000)});
    Start();
    Check("chbxVerify", false);
    Drop({(Folder / "c.wav").string(), (Folder / "d.wav").string()});
    Answer(Folder / "mixed");
    Start();
    EXPECT_EQ(Errors(), (std::vector<std::string>{
                            "Mixed Sample Frequency audio file set detected.",
                            "Mixed Sample Frequency audio file set detected.\nCannot convert this "
                            "set of files to MP4."}));
    EXPECT_EQ(Dialogs.Shown.back().At, Form->pos() + QPoint(190, 140));
    EXPECT_FALSE(fs::exists(Folder / "mixed.mp4"));
}

TEST_F(ConversionRun, HoldsTheStateTableThroughARun) {
    EXPECT_EQ(Controls(), "0011");
    Drop({MakeWav("a.wav", 1)});
    EXPECT_EQ(Controls(), "1011");
    std::string confirmed, running;
    Inside(*Form).Job.OnStepStart = [&, shown = Inside(*Form).Job.OnStepStart](TMP4& job) {
        running = Controls() + (Inside(*Form).Busy ? "B" : "");
        shown(job);
    };
    Answer(Folder / "a");
    Start();
    EXPECT_EQ(running, "0100B");
    EXPECT_EQ(Controls(), "0011");
    EXPECT_FALSE(Inside(*Form).Busy);
    EXPECT_TRUE(CueRows().isEmpty());
    EXPECT_EQ(Form->windowTitle(), "Parvane - APE/FLAC/MP3/WAV to MP4 transcoder 1.11.5.1");
}

TEST_F(ConversionRun, AbortDuringDecodingOrEncodingLeavesNoOutput) {
    const std::string flac = MakeFlac("long.flac", 240), wav = MakeWav("long.wav", 240);
    for (const auto& [source, activity] : {std::pair{flac, 2}, {wav, 10}}) {
        Dialogs.Shown.clear();
        Drop({source, MakeWav("next.wav", 1)});
        AtFirstReport(activity, [&] { Find<QPushButton>("btnAbort")->click(); });
        Mode(false, true);
        Answer(Folder / "x");
        Start();
        EXPECT_EQ(Errors(), std::vector<std::string>{"Abort requested - processing has stopped"});
        EXPECT_EQ(Folder.Names(),
                  (std::vector<std::string>{"home", "long.flac", "long.wav", "next.wav"}));
        EXPECT_TRUE(NoTemporaryFiles());
        EXPECT_TRUE(CueRows().isEmpty());
        EXPECT_EQ(Panel("stbarSavedTo", 0), "encoding");
        EXPECT_FALSE(Form->Abort().Pressed());
    }
    // Verify only stops the same way.
    Check("chbxVerify");
    Dialogs.Shown.clear();
    Drop({flac});
    AtFirstReport(2, [&] { Form->btnAbortClick(); });
    Start();
    EXPECT_EQ(Errors(), std::vector<std::string>{"Abort requested - processing has stopped"});
}

TEST_F(ConversionRun, ClosingDuringARunAbortsItAndASecondCloseSucceeds) {
    Drop({MakeWav("long.wav", 240)});
    bool firstClose = true;
    AtFirstReport(10, [&] { firstClose = Form->close(); });
    Answer(Folder / "x");
    Start();
    EXPECT_FALSE(firstClose);
    EXPECT_TRUE(Form->isVisible());
    EXPECT_EQ(Errors(), std::vector<std::string>{"Abort requested - processing has stopped"});
    EXPECT_EQ(Panel("stbarSavedTo", 0), "MP4 file(s)");
    EXPECT_FALSE(fs::exists(Folder / "x.mp4"));
    EXPECT_TRUE(Form->close());
}

TEST_F(ConversionRun, ExitWhenDoneClosesAfterSuccessFailureAndAbort) {
    for (int outcome = 0; outcome < 3; ++outcome) {
        NewWindow();
        Check("chbxExitDone");
        const std::string n = std::to_string(outcome);
        if (outcome == 1)
            Drop({MakeWav(n + "a.wav", 1), MakeWav(n + "b.wav", 1, 48000)});
        else
            Drop({MakeWav(n + ".wav", outcome == 2 ? 240 : 1)});
        if (outcome == 2)
            AtFirstReport(10, [&] { Form->btnAbortClick(); });
        Answer(Folder / ("out" + n));
        Start();
        EXPECT_FALSE(Form->isVisible()) << outcome;
    }
    EXPECT_TRUE(fs::exists(Folder / "out0.mp4"));
    EXPECT_FALSE(fs::exists(Folder / "out1.mp4"));
    EXPECT_FALSE(fs::exists(Folder / "out2.mp4"));
}

TEST_F(ConversionRun, AnExceptionInsideTheRunStillLeavesTheWindowIdle) {
    Drop({MakeWav("a.wav", 1)});
    Inside(*Form).Job.OnStepStart = [](TMP4&) { throw std::runtime_error("handler failed"); };
    Answer(Folder / "a");
    EXPECT_THROW(Form->Convert(), std::runtime_error);
    EXPECT_FALSE(Inside(*Form).Busy);
    EXPECT_EQ(Controls(), "0011");
    EXPECT_TRUE(Form->close());
}

TEST_F(ConversionRun, SkipsAnEntryDeletedAfterTheDropAndTakesLongPaths) {
    std::string deep = Folder.Path.string();
    while (deep.size() < 200)
        deep += "/" + std::string(40, 'd');
    fs::create_directories(deep);
    const std::string longPath = deep + "/" + std::string(295 - deep.size(), 'n') + ".wav";
    ASSERT_EQ(longPath.size(), 300u);
    const std::string gone = MakeWav("gone.wav", 1);
    tooltest::WriteWav(longPath, {}, 44100);
    Drop({gone, longPath});
    ASSERT_EQ(CueRows().size(), 2);
    fs::remove(gone);
    Mode(false, true);
    Answer(Folder / "x");
    Start();
    EXPECT_TRUE(Errors().empty());
    EXPECT_TRUE(fs::exists(longPath.substr(0, longPath.size() - 4) + ".mp4"));
}

TEST_F(ConversionRun, MissingToolsEmptyTheCueListWithoutADialog) {
    Inside(*Form).ToolFolder = (Folder / "home").string() + "/";
    Drop({MakeWav("a.wav", 1)});
    Start();
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "error");
    EXPECT_TRUE(CueRows().isEmpty());
    EXPECT_EQ(Controls(), "0011");
    EXPECT_EQ(Panel("stbarProcessing", 0), "Ready");
}
