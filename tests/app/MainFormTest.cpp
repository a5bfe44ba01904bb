#include "MainFormAccess.h"
#include "ScriptedDialogs.h"
#include "app/Gauge.h"
#include "app/Main.h"
#include "app/PageControl.h"
#include "app/StatusBar.h"
#include "job/Mp4.h"
#include "tools/ToolTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

class TUrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> Opened;

public slots:
    void Open(const QUrl& url) { Opened.push_back(url); }
};

class MainForm : public testing::Test {
protected:
    TScriptedDialogs Dialogs;
    std::unique_ptr<TMainForm> Form;

    void SetUp() override {
        QGuiApplication::clipboard()->setText("left over");
        Form = std::make_unique<TMainForm>(Dialogs);
    }

    template <class T> T* Find(const char* name) {
        T* widget = Form->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString Option() const { return QString::fromStdString(Inside(*Form).Job.EncoderOption); }
    void Type(const char* edit, const QString& text) {
        Find<QLineEdit>(edit)->clear();
        QTest::keyClicks(Find<QLineEdit>(edit), text);
    }
};

} // namespace

TEST_F(MainForm, StartsIdleWithItsLayout) {
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
    EXPECT_EQ(Form->windowTitle(), "Parvane - APE/FLAC/MP3/WAV to MP4 transcoder 1.11.5.1");
    EXPECT_EQ(Form->centralWidget()->size(), QSize(736, 577));
    EXPECT_EQ(Form->minimumSize(), Form->maximumSize());

    EXPECT_FALSE(Find<QPushButton>("btnConvert")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("btnAbort")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>("btnClearCue")->isEnabled());
    for (const char* name :
         {"chbxExitDone", "chbxHint", "chbxNameIsTag", "chbxOnTop", "chbxUpdates", "chbxVerify",
          "ediFreeBitrate", "ediQuality", "lbxRate", "rdbtnCBR", "rdbtnSelect", "rdgrpConvert"})
        EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
    EXPECT_TRUE(Find<QWidget>("btnTestDate")->isHidden());
    EXPECT_EQ(Find<QPushButton>("btnConvert")->text(), "    Start Conversion");

    auto* pages = Find<TPageControl>("PageControl1");
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(pages->Tabs().tabRect(0).width(), 243);
    EXPECT_EQ(pages->Tabs().tabRect(0).height(), 20);
    EXPECT_FALSE(pages->isTabVisible(3));
    EXPECT_EQ(pages->tabText(3), "Log");
    EXPECT_TRUE(Find<QWidget>("memLog")->isHidden());

    auto* processing = Find<TStatusBar>("stbarProcessing");
    auto* savedTo = Find<TStatusBar>("stbarSavedTo");
    EXPECT_EQ(processing->PanelText(0), "decoding");
    EXPECT_EQ(processing->PanelText(1), "");
    EXPECT_EQ(savedTo->PanelText(0), "Saved to");
    EXPECT_TRUE(processing->font().bold());

    auto* gauge = Find<TCGauge>("prGauge");
    EXPECT_EQ(gauge->width(), 733);
    EXPECT_EQ(gauge->MaxValue(), 733);
    EXPECT_EQ(gauge->ForeColor(), QColor(Qt::black));

    EXPECT_EQ(Find<QGroupBox>("grpbxSaveTo")->title(), "Save combined MP4 file to : ");
    EXPECT_EQ(Find<QRadioButton>("rdbtnSource")->text(), "the Source Directory and Filename");
    EXPECT_EQ(Find<QAction>("mnuFlacMetaflac")->iconText(), "FLAC & METAFLAC");
    EXPECT_EQ(Find<QAction>("mnuMP4")->iconText(), "MP4 (neroAacEnc & neroAacTag)");
    EXPECT_TRUE(Form->acceptDrops());
}

TEST_F(MainForm, BuildsTheEncoderOptionOfEachMode) {
    Find<QListWidget>("lbxRate")->setCurrentRow(5);
    Form->UpdateBitrateMode();
    EXPECT_EQ(Option(), "-cbr 192000");
    EXPECT_EQ(Inside(*Form).RateButton, 0);

    // The edits start with the stored defaults, not the layout's texts.
    Form->SelectBitrateButton(1);
    EXPECT_EQ(Option(), "-br 126000");
    EXPECT_EQ(Inside(*Form).RateButton, 1);
    EXPECT_TRUE(Find<QWidget>("grpbxConstBitrate")->isHidden());
    EXPECT_FALSE(Find<QWidget>("grpbxFreeBitrate")->isHidden());

    Form->SelectBitrateButton(2);
    EXPECT_EQ(Option(), "-q 0.33");
    EXPECT_TRUE(Find<QWidget>("grpbxFreeBitrate")->isHidden());
    EXPECT_FALSE(Find<QWidget>("grpbxQuality")->isHidden());
    for (const auto& [typed, option] : {std::pair{"5", "-q 0.5"}, {"05", "-q 0.05"}}) {
        Type("ediQuality", typed);
        // Typing alone leaves the job's option as it was.
        Form->UpdateBitrateMode();
        EXPECT_EQ(Option(), option);
    }
    Form->SelectBitrateButton(7);
    EXPECT_EQ(Inside(*Form).RateButton, 0);
}

TEST_F(MainForm, ValidatesAndEmptiesTheNumberEdits) {
    auto* free = Find<QLineEdit>("ediFreeBitrate");
    auto* quality = Find<QLineEdit>("ediQuality");
    for (const auto& [typed, kept] :
         {std::pair{"20", "33"}, {"500", "381"}, {"200", "200"}, {"", "128"}}) {
        Type("ediFreeBitrate", typed);
        Form->ValidateBitrateEdits();
        EXPECT_EQ(free->text(), kept) << typed;
    }
    Type("ediFreeBitrate", "1000");
    EXPECT_EQ(free->text(), "");
    Type("ediQuality", "123");
    EXPECT_EQ(quality->text(), "");
    Type("ediFreeBitrate", "12a");
    EXPECT_EQ(free->text(), "12");
    Form->ValidateBitrateEdits();
    EXPECT_EQ(quality->text(), "50");
    EXPECT_EQ(free->text(), "33");
    // Text that got in without typing.
    free->setText("abc");
    Form->ValidateBitrateEdits();
    EXPECT_EQ(free->text(), "33");
}

TEST_F(MainForm, SaveCaptionsFollowTheConvertMode) {
    Find<QRadioButton>("rdgrpConvertItem1")->setChecked(true);
    EXPECT_EQ(Find<QGroupBox>("grpbxSaveTo")->title(), "Save separate MP4 files to : ");
    EXPECT_EQ(Find<QRadioButton>("rdbtnSelect")->text(), "a Selected Directory");
    EXPECT_EQ(Find<QRadioButton>("rdbtnSource")->text(), "the Source Directory");
    Find<QRadioButton>("rdgrpConvertItem0")->setChecked(true);
    EXPECT_EQ(Find<QRadioButton>("rdbtnSelect")->text(), "a Selected Directory and Filename");
}

TEST_F(MainForm, ShowHintsSwitchesAllHintsAtOnce) {
    const char* hinted[] = {
        "btnClearCue",     "chbxExitDone",    "chbxHint",     "chbxOnTop",           "chbxUpdates",
        "chbxVerify",      "chbxNameIsTag",   "grpbxSaveTo",  "lbxCueList",          "lbxRate",
        "memError",        "memTagList",      "pnlAbort",     "pnlConvert",          "prGauge",
        "rdgrpConvert",    "stbarProcessing", "stbarSavedTo", "grpbxBitrateControl", "grpbxQuality",
        "grpbxFreeBitrate"};
    Find<QCheckBox>("chbxHint")->setChecked(true);
    for (const char* name : hinted) {
        EXPECT_FALSE(Find<QWidget>(name)->toolTip().isEmpty()) << name;
        EXPECT_EQ(Find<QWidget>(name)->toolTipDuration(), 10000);
    }
    EXPECT_TRUE(Find<QWidget>("prGauge")->toolTip().endsWith("need decoding) "));
    EXPECT_TRUE(Find<QWidget>("btnConvert")->toolTip().isEmpty());
    Find<QCheckBox>("chbxHint")->setChecked(false);
    for (const char* name : hinted)
        EXPECT_TRUE(Find<QWidget>(name)->toolTip().isEmpty()) << name;
}

TEST_F(MainForm, ReportsMissingToolsBesideTheWindow) {
    tooltest::TScopedFolder folder;
    for (const char* tool : {"MAC", "flac", "metaflac", "neroAacEnc", "neroAacTag"})
        tooltest::WriteFile(folder / tool, "");
    std::filesystem::create_directory(folder / "lame");
    Inside(*Form).ToolFolder = folder.Path.string() + "/";
    Form->move(100, 120);
    EXPECT_FALSE(Form->CodecsPresent());
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "error");
    EXPECT_EQ(Dialogs.Shown[0].At, Form->pos() + QPoint(220, 140));
    EXPECT_EQ(Dialogs.Shown[0].Text,
              "One or more Codecs missing:\n\nlame\nsleep (part of Parvane zip!)\n\nUse the "
              "\"Get Codecs\" menu item\nto download the Codecs.");

    Dialogs.Shown.clear();
    Inside(*Form).ToolFolder = PARVANE_APP_DIR;
    EXPECT_TRUE(Form->CodecsPresent());
    EXPECT_TRUE(Dialogs.Shown.empty());
}

TEST_F(MainForm, MenusOpenTheirAddressesAndTheAboutBox) {
    qputenv("PARVANE_UPDATE_SERVER", "localhost:8642");
    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler("http", &recorder, "Open");
    for (const char* name :
         {"mnuHelpPdf", "mnuApe", "mnuFlacMetaflac", "mnuMP3", "mnuMP4", "mnuAbout"})
        Find<QAction>(name)->trigger();
    QDesktopServices::unsetUrlHandler("http");
    qunsetenv("PARVANE_UPDATE_SERVER");
    ASSERT_EQ(recorder.Opened.size(), 5);
    EXPECT_EQ(recorder.Opened[0].toString(),
              "http://localhost:8642/net/Help-Parvane-1-11-05-01.pdf");
    EXPECT_EQ(recorder.Opened[4].toString(),
              "http://localhost:8642/net/redir.php?dest=nero_aac_codec");
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_TRUE(Dialogs.Shown[0].Text.startsWith("Parvane\n\n(beta) version 1.11.5.1\n\n"));
    EXPECT_TRUE(Dialogs.Shown[0].Text.endsWith("see remarks at: \nhttp://localhost:8642/"));
}

TEST_F(MainForm, StaysOnTopAndADropTargetThroughToggles) {
    Form->show();
    auto* onTop = Find<QCheckBox>("chbxOnTop");
    for (bool on : {true, false, true}) {
        onTop->setChecked(on);
        EXPECT_EQ(Form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
        EXPECT_TRUE(Form->acceptDrops());
        EXPECT_TRUE(Form->isVisible());
    }
}

TEST_F(MainForm, RefusesToCloseDuringARunAndAbortsInstead) {
    Form->show();
    Inside(*Form).Busy = true;
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->Abort().Requested());
    EXPECT_TRUE(Form->isVisible());
    Inside(*Form).Busy = false;
    EXPECT_TRUE(Form->close());
}

TEST_F(MainForm, ChecksTheToolsOnceWhenFirstActivated) {
    tooltest::TScopedFolder folder;
    Inside(*Form).ToolFolder = folder.Path.string() + "/";
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Form->hide();
    Form->show();
    Form->activateWindow();
    QTest::qWait(20);
    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_TRUE(Dialogs.Shown[0].Text.startsWith("One or more Codecs missing:\n\nmac\nflac\n"));
}

// The active tab is black with a light bold caption; the others have no fill.
TEST_F(MainForm, DrawsTheActiveTabBlackWithALightCaption) {
    Form->show();
    TOwnerTabBar& tabs = Find<TPageControl>("PageControl1")->Tabs();
    const QImage image = tabs.grab().toImage();
    const QRect active = tabs.tabRect(0);
    EXPECT_EQ(image.pixelColor(active.left() + 2, active.top() + 2), QColor(Qt::black));
    int light = 0;
    for (int x = active.left(); x <= active.right(); ++x) {
        for (int y = active.top(); y <= active.bottom(); ++y)
            light += image.pixelColor(x, y).red() > 200;
    }
    EXPECT_GT(light, 10);
    const QRect other = tabs.tabRect(1);
    EXPECT_NE(image.pixelColor(other.left() + 2, other.top() + 2), QColor(Qt::black));
}

#include "MainFormTest.moc"

// A panel is one line high; the closing "saved to directory:\n" + folder must read whole.
TEST(StatusBar, ShowsALineBreakAsABlankAndKeepsTheText) {
    TStatusBar bar;
    bar.SetPanelText(1, "saved to directory:\n/home/user/<Music>/");
    EXPECT_EQ(bar.PanelText(1), "saved to directory:\n/home/user/<Music>/");
    auto* panel = bar.findChild<QLabel*>("panel1");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->text(), "saved to directory: /home/user/<Music>/");
    EXPECT_EQ(panel->textFormat(), Qt::PlainText);
}
