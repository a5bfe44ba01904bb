#include "MainFormAccess.h"
#include "ScriptedDialogs.h"
#include "app/Gauge.h"
#include "app/Main.h"
#include "app/StatusBar.h"
#include "job/Mp4.h"
#include "sources/SourceTestFiles.h"
#include "tools/ToolTestSupport.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

using Strings = std::vector<std::string>;

class Progress : public testing::Test {
protected:
    tooltest::TScopedFolder Folder;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TMainForm> Form;
    QByteArray OldHome;

    void SetUp() override {
        OldHome = qgetenv("HOME");
        std::filesystem::create_directory(Folder / "home");
        qputenv("HOME", (Folder / "home").string().c_str());
        Form = std::make_unique<TMainForm>(Dialogs);
    }
    void TearDown() override { qputenv("HOME", OldHome); }

    TMP4& Job() { return Inside(*Form).Job; }
    TCGauge& Gauge() { return *Form->findChild<TCGauge*>("prGauge"); }
    TStatusBar& Bar(const char* name) { return *Form->findChild<TStatusBar*>(name); }
    QString Memo(const char* name) { return Form->findChild<QPlainTextEdit*>(name)->toPlainText(); }
    std::string MakeWav(const std::string& name, double seconds) {
        const std::string path = (Folder / name).string();
        tooltest::WriteWav(path, {}, static_cast<std::uint64_t>(seconds * 44100));
        return path;
    }
    // Everything the window shows at a moment of the run, as "panel texts | gauge".
    std::string Status() {
        auto text = [](TStatusBar& bar, int i) { return bar.PanelText(i).toStdString(); };
        return text(Bar("stbarProcessing"), 0) + "/" + text(Bar("stbarProcessing"), 1) + "/" +
               text(Bar("stbarSavedTo"), 0) + "/" + text(Bar("stbarSavedTo"), 1);
    }
};

} // namespace

TEST_F(Progress, ColoursTheGaugeByActivityAndShowsThePercentInTheCaption) {
    const std::pair<int, QColor> colours[] = {{1, QColor(166, 124, 82)},
                                              {2, QColor(255, 0, 0)},
                                              {3, QColor(0, 255, 0)},
                                              {4, QColor(0, 0, 255)},
                                              {10, QColor(0, 0, 255)}};
    for (const auto& [activity, colour] : colours) {
        Job().Activity = activity;
        Job().Percent = 50;
        Form->DoProgress(Job());
        EXPECT_EQ(Gauge().ForeColor(), colour) << activity;
        EXPECT_EQ(Gauge().Progress(), 366);
    }
    EXPECT_EQ(Form->windowTitle(), "Parvane -  encode 49%");
    Job().Activity = 2;
    Job().Percent = 100;
    Form->DoProgress(Job());
    EXPECT_EQ(Gauge().Progress(), 733);
    EXPECT_EQ(Form->windowTitle(), "Parvane -  decode 100%");

    // The bar as the user sees it.
    Job().Percent = 50;
    Form->DoProgress(Job());
    Gauge().SetShowText(false);
    const QImage image = Gauge().grab().toImage();
    EXPECT_EQ(image.pixelColor(100, 6), QColor(255, 0, 0));
    EXPECT_NE(image.pixelColor(600, 6), QColor(255, 0, 0));
}

TEST_F(Progress, ListsTagsWithoutPrefixAndKeepsEarlierErrors) {
    Form->findChild<QListWidget*>("lbxCueList")->addItems({"a.flac", "b.flac"});
    Job().Activity = 2;
    Job().CurrentSource = "/music/a.flac";
    Job().MetaArgs = {"-meta:Title=\"Song\"", "-meta:Artist=Band", "-meta:Year="};
    Form->DoStepStart(Job());
    EXPECT_EQ(Memo("memTagList"), "Title=\"Song\"\nArtist=Band\nYear=");
    EXPECT_EQ(Status(), "decoding//music/a.flac/Saved to/");

    Job().Failed = true;
    Job().ErrorLines = {"a.flac: ERROR", "bad frame"};
    Form->DoSourceDone(Job());
    Job().ErrorLines = {"b.flac: ERROR"};
    Form->DoSourceDone(Job());
    Job().Failed = false;
    Job().ErrorLines = {"not shown"};
    Form->DoSourceDone(Job());
    EXPECT_EQ(Memo("memError"), "a.flac: ERROR\nbad frame\nb.flac: ERROR");
    EXPECT_EQ(Form->findChild<QListWidget*>("lbxCueList")->count(), 0);
}

// Three separate outputs: three empty log files, the tag counter running on across them, and
// the status texts around every tagging step.
TEST_F(Progress, FollowsARealSeparateRun) {
    const Strings files = {MakeWav("one.wav", 1), MakeWav("two.wav", 1), MakeWav("three.wav", 1)};
    std::vector<int> tagStarts;
    std::vector<std::string> seen;
    QString savedBefore;
    Job().OnTagStart = [&](TMP4& job) {
        tagStarts.push_back(Inside(*Form).TagStepCount);
        savedBefore = Bar("stbarSavedTo").PanelText(1);
        Form->DoTagStart(job);
        seen.push_back(Bar("stbarProcessing").PanelText(0).toStdString() + "|" +
                       Bar("stbarSavedTo").PanelText(0).toStdString() + "|" +
                       Bar("stbarSavedTo").PanelText(1).toStdString() + "|" +
                       std::to_string(Gauge().MaxValue()));
    };
    Job().OnTagDone = [&](TMP4& job) {
        Form->DoTagDone(job);
        seen.push_back(Bar("stbarProcessing").PanelText(0).toStdString() + "|" +
                       Bar("stbarSavedTo").PanelText(0).toStdString() + "|" +
                       std::to_string(Bar("stbarSavedTo").PanelText(1) == savedBefore) + "|" +
                       std::to_string(Gauge().MaxValue()));
    };
    for (const std::string& file : files)
        ASSERT_TRUE(Job().AddSrcFile(file));
    Job().NameAsTitle = true;
    Job().OutputExt = ".m4a";
    Job().SetEncoderOption("-cbr 128000");
    ASSERT_TRUE(Job().DoConvert(false, false));

    ASSERT_EQ(tagStarts.size(), 3u);
    EXPECT_EQ(tagStarts[0], 0);
    EXPECT_GT(tagStarts[1], tagStarts[0]);
    EXPECT_GT(tagStarts[2], tagStarts[1]);
    ASSERT_EQ(seen.size(), 6u);
    for (std::size_t i = 0; i < seen.size(); i += 2) {
        EXPECT_EQ(seen[i], "tagging...|||100");
        EXPECT_EQ(seen[i + 1], "decoding|encoding|1|733");
    }
    EXPECT_EQ(Gauge().MaxValue(), 733);
    EXPECT_TRUE(Gauge().ShowText());

    const auto home = Folder / "home";
    for (const char* log : {"ParvaneLog.txt", "ParvaneLog-1.txt", "ParvaneLog-2.txt"}) {
        ASSERT_TRUE(std::filesystem::exists(home / log)) << log;
        EXPECT_EQ(std::filesystem::file_size(home / log), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(home / "ParvaneLog-3.txt"));
}

TEST_F(Progress, AnAbortGreysTheGaugeAtTheNextReport) {
    ASSERT_TRUE(Job().AddSrcFile(MakeWav("long.wav", 120)));
    Job().OutputExt = ".mp4";
    Job().SetEncoderOption("-cbr 128000");
    const TMP4::TEvent report = Job().OnProgress;
    Job().OnProgress = [this, report](TMP4& job) {
        Form->Abort().Request();
        report(job);
    };
    Job().SetOutputName("long");
    EXPECT_FALSE(Job().DoConvert(true, false));
    EXPECT_FALSE(Gauge().isEnabled());
    EXPECT_FALSE(std::filesystem::exists(Folder / "long.mp4"));
    EXPECT_EQ(Form->RunFailureMessage(), "Abort requested - processing has stopped");
}

TEST_F(Progress, AFailedEncodeShowsItsBoxAndTheEncoderLines) {
    ASSERT_TRUE(Job().AddSrcFile(MakeWav("song.wav", 1)));
    Job().OutputExt = ".mp4";
    Job().SetEncoderOption("-cbr 128000");
    Job().SetOutputDir((Folder / "no such folder").string() + "/");
    EXPECT_FALSE(Job().DoConvert(false, true));
    EXPECT_TRUE(Job().EncodeFailed);
    EXPECT_FALSE(Memo("memError").isEmpty());

    Form->move(40, 60);
    Form->ShowRunFailure();
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "error");
    EXPECT_EQ(Dialogs.Shown[0].At, Form->pos() + QPoint(190, 140));
    EXPECT_EQ(Dialogs.Shown[0].Text,
              "The encoder did not write the MP4 file.\nIts messages are in the Error List.");
}

TEST_F(Progress, MixedRatesGetTheirMessageForEachMode) {
    Job().SameSampleRate = false;
    EXPECT_EQ(Form->RunFailureMessage(),
              "Mixed Sample Frequency audio file set detected.\nCannot convert this set of files "
              "to MP4.");
    Form->findChild<QWidget*>("chbxVerify")->setProperty("checked", true);
    EXPECT_EQ(Form->RunFailureMessage(), "Mixed Sample Frequency audio file set detected.");
    // The job's other refusals (mixed channel counts, no room) bring their own text.
    Job().Refusal = "The rates differ.";
    EXPECT_EQ(Form->RunFailureMessage(), "Mixed Sample Frequency audio file set detected.");
    Job().SameSampleRate = true;
    Job().Failed = true;
    EXPECT_EQ(Form->RunFailureMessage(), "The rates differ.");
}

TEST_F(Progress, EachRealDecoderShowsItsColourAndEncodingIsBlue) {
    std::filesystem::copy_file(sourcetest::Ape("mac-399.ape"), Folder / "a.ape");
    const Strings files = {(Folder / "a.ape").string(), sourcetest::MakeFlac(Folder / "b.flac", 20),
                           sourcetest::MakeMp3(Folder / "c.mp3", 20), MakeWav("d.wav", 20)};
    std::map<int, std::set<QRgb>> colours;
    Job().OnProgress = [&, shown = Job().OnProgress](TMP4& job) {
        shown(job);
        colours[job.Activity].insert(Gauge().ForeColor().rgb());
    };
    for (const std::string& file : files)
        ASSERT_TRUE(Job().AddSrcFile(file));
    Job().OutputExt = ".mp4";
    Job().SetEncoderOption("-cbr 128000");
    ASSERT_TRUE(Job().DoConvert(false, false));
    EXPECT_EQ(colours, (std::map<int, std::set<QRgb>>{{1, {QColor(166, 124, 82).rgb()}},
                                                      {2, {QColor(255, 0, 0).rgb()}},
                                                      {3, {QColor(0, 255, 0).rgb()}},
                                                      {10, {QColor(0, 0, 255).rgb()}}}));
}

// Side by side, the two bars show what decodes and what encodes at the same moment, and the
// gauge stays the run's: the tagger beside other steps never takes it over.
TEST_F(Progress, ASideBySideRunShowsTheDecodeAndTheEncodeAtOnce) {
    Strings files;
    for (const char* name : {"a.flac", "b.flac", "c.flac"})
        files.push_back(sourcetest::MakeFlac(Folder / name, 4));
    std::set<std::string> both;
    bool gaugeKept = true;
    Job().OnProgress = [&, shown = Job().OnProgress](TMP4& job) {
        shown(job);
        if (job.Overlapping() && job.Activity != TMP4::ActivityEncoding)
            both.insert(Bar("stbarProcessing").PanelText(1).toStdString() + " | " +
                        Bar("stbarSavedTo").PanelText(1).toStdString());
        gaugeKept = gaugeKept && (!job.Overlapping() || Gauge().MaxValue() == 733);
    };
    for (const std::string& file : files)
        ASSERT_TRUE(Job().AddSrcFile(file));
    Job().OutputExt = ".mp4";
    Job().SetEncoderOption("-cbr 128000");
    Job().Lanes = 2;
    ASSERT_TRUE(Job().DoConvert(false, false));
    EXPECT_TRUE(gaugeKept);
    const auto path = [this](const char* name) { return (Folder / name).string(); };
    // b decodes while a encodes, c while a or b does.
    EXPECT_TRUE(both.contains(path("b.flac") + " | " + path("a.mp4"))) << both.size();
    EXPECT_TRUE(both.contains(path("c.flac") + " | " + path("b.mp4")) ||
                both.contains(path("c.flac") + " | " + path("a.mp4")));

    // One file: its encode runs beside every decode after the first.
    both.clear();
    for (const std::string& file : files)
        ASSERT_TRUE(Job().AddSrcFile(file));
    Job().SetOutputName("album");
    ASSERT_TRUE(Job().DoConvert(true, false));
    EXPECT_TRUE(gaugeKept);
    EXPECT_TRUE(both.contains(path("b.flac") + " | " + path("album.mp4"))) << both.size();
    EXPECT_TRUE(both.contains(path("c.flac") + " | " + path("album.mp4")));
}
