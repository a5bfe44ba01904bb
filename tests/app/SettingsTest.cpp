#include "MainFormAccess.h"
#include "ScriptedDialogs.h"
#include "app/Main.h"
#include "app/RadioGroup.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>

namespace {

const std::string Key = "[HKEY_CURRENT_USER\\software\\Quillaby\\ParvaneB]\r\n";

class Settings : public testing::Test {
protected:
    TScriptedDialogs Dialogs;
    std::unique_ptr<TMainForm> Form;
    const std::filesystem::path File =
        std::filesystem::path(qgetenv("XDG_CONFIG_HOME").toStdString()) / "Quillaby/ParvaneB.reg";

    void Start() { Form = std::make_unique<TMainForm>(Dialogs); }
    // Closing saves, and so does the destructor.
    void Restart() {
        Form->close();
        Form.reset();
        Start();
    }
    void WriteFile(const std::string& bytes) {
        std::filesystem::create_directories(File.parent_path());
        std::ofstream(File, std::ios::binary) << bytes;
    }
    void WriteValues(const std::string& values) {
        WriteFile("Windows Registry Editor Version 5.00\r\n\r\n" + Key + values);
    }
    std::string Stored() const {
        std::ostringstream bytes;
        bytes << std::ifstream(File, std::ios::binary).rdbuf();
        return bytes.str();
    }

    template <class T> T* Find(const char* name) {
        T* widget = Form->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    bool Checked(const char* name) { return Find<QAbstractButton>(name)->isChecked(); }
    int Row() { return Find<QListWidget>("lbxRate")->currentRow(); }
    int Combine() { return Find<TRadioGroup>("rdgrpConvert")->ItemIndex(); }
    QString Edit(const char* name) { return Find<QLineEdit>(name)->text(); }

    void ExpectDefaults() {
        EXPECT_FALSE(Checked("chbxVerify"));
        EXPECT_FALSE(Checked("chbxOnTop"));
        EXPECT_FALSE(Checked("chbxExitDone"));
        EXPECT_TRUE(Checked("chbxUpdates"));
        EXPECT_TRUE(Checked("chbxHint"));
        EXPECT_TRUE(Checked("chbxNameIsTag"));
        EXPECT_EQ(Combine(), 0);
        EXPECT_EQ(Row(), 5);
        EXPECT_EQ(Inside(*Form).FilterIndex, 1);
        EXPECT_EQ(Form->pos(), QPoint(50, 50));
        EXPECT_TRUE(Checked("rdbtnCBR"));
        EXPECT_EQ(Inside(*Form).RateButton, 0);
        EXPECT_TRUE(Checked("rdbtnSource"));
        EXPECT_EQ(Inside(*Form).StoredDay, "10000");
        EXPECT_EQ(Edit("ediQuality"), "33");
        EXPECT_EQ(Edit("ediFreeBitrate"), "126");
    }
};

} // namespace

TEST_F(Settings, FirstStartShowsTheDefaultsAndWritesNothing) {
    Start();
    ExpectDefaults();
    EXPECT_TRUE(Find<QGroupBox>("grpbxConstBitrate")->isVisibleTo(Form.get()));
    EXPECT_FALSE(std::filesystem::exists(File));
}

// The file is written whole at every close, with today's day from the check at start-up.
TEST_F(Settings, ClosingWritesEveryValueEvenWhenNothingChanged) {
    Start();
    Inside(*Form).Today = [] { return 46365; };
    Form->CheckApplVersion();
    Form->close();
    EXPECT_EQ(Stored(), "Windows Registry Editor Version 5.00\n\n"
                        "[HKEY_CURRENT_USER\\software\\Quillaby\\ParvaneB]\n"
                        "\"codepage\"=dword:00000000\n"
                        "\"combine\"=dword:00000000\n"
                        "\"exitod\"=dword:00000000\n"
                        "\"filterindex\"=dword:00000001\n"
                        "\"free\"=\"126\"\n"
                        "\"hints\"=dword:00000001\n"
                        "\"juliancount\"=\"46365\"\n"
                        "\"left\"=dword:00000032\n"
                        "\"nametitle\"=dword:00000001\n"
                        "\"ontop\"=dword:00000000\n"
                        "\"quality\"=\"33\"\n"
                        "\"rate\"=dword:00000005\n"
                        "\"ratebtn\"=dword:00000000\n"
                        "\"source\"=dword:00000001\n"
                        "\"top\"=dword:00000032\n"
                        "\"update\"=dword:00000001\n"
                        "\"verify\"=dword:00000000\n\n");
}

TEST_F(Settings, EveryValueSurvivesACloseAndARestart) {
    Start();
    Inside(*Form).Today = [] { return 46400; };
    for (const char* box : {"chbxVerify", "chbxOnTop", "chbxExitDone"})
        Find<QCheckBox>(box)->setChecked(true);
    for (const char* box : {"chbxUpdates", "chbxHint", "chbxNameIsTag"})
        Find<QCheckBox>(box)->setChecked(false);
    Form->CheckApplVersion();
    Find<TRadioGroup>("rdgrpConvert")->SetItemIndex(1);
    Find<QListWidget>("lbxRate")->setCurrentRow(2);
    Inside(*Form).FilterIndex = 2;
    Form->move(120, 90);
    Find<QRadioButton>("rdbtnQuality")->setChecked(true);
    Find<QRadioButton>("rdbtnSelect")->setChecked(true);
    Find<QLineEdit>("ediQuality")->setText("7");
    Find<QLineEdit>("ediFreeBitrate")->setText("200");

    Restart();
    EXPECT_TRUE(Checked("chbxVerify"));
    EXPECT_TRUE(Checked("chbxOnTop"));
    EXPECT_TRUE(Checked("chbxExitDone"));
    EXPECT_FALSE(Checked("chbxUpdates"));
    EXPECT_FALSE(Checked("chbxHint"));
    EXPECT_FALSE(Checked("chbxNameIsTag"));
    EXPECT_EQ(Combine(), 1);
    EXPECT_EQ(Row(), 2);
    EXPECT_EQ(Inside(*Form).FilterIndex, 2);
    EXPECT_EQ(Form->pos(), QPoint(120, 90));
    EXPECT_EQ(Inside(*Form).RateButton, 2);
    EXPECT_TRUE(Checked("rdbtnQuality"));
    EXPECT_TRUE(Checked("rdbtnSelect"));
    EXPECT_EQ(Inside(*Form).StoredDay, "46400");
    EXPECT_EQ(Edit("ediQuality"), "7");
    EXPECT_EQ(Edit("ediFreeBitrate"), "200");
}

// Setting a control from the store has the effect of the user setting it.
TEST_F(Settings, StoredValuesTakeEffectOnTheWindow) {
    WriteValues(
        "\"ontop\"=dword:00000001\r\n\"hints\"=dword:00000000\r\n"
        "\"ratebtn\"=dword:00000002\r\n\"combine\"=dword:00000001\r\n"
        "\"source\"=dword:00000000\r\n\"left\"=dword:ffffff9c\r\n\"top\"=dword:0000000a\r\n");
    Start();
    EXPECT_TRUE(Form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(Form->acceptDrops());
    EXPECT_TRUE(Find<QWidget>("chbxHint")->toolTip().isEmpty());
    EXPECT_TRUE(Find<QGroupBox>("grpbxQuality")->isVisibleTo(Form.get()));
    EXPECT_FALSE(Find<QGroupBox>("grpbxConstBitrate")->isVisibleTo(Form.get()));
    EXPECT_EQ(Find<QGroupBox>("grpbxSaveTo")->title(), "Save separate MP4 files to : ");
    EXPECT_TRUE(Checked("rdbtnSelect"));
    EXPECT_FALSE(Checked("rdbtnSource"));
    // Partly on the screen is on the screen.
    EXPECT_EQ(Form->pos(), QPoint(-100, 10));
}

TEST_F(Settings, AValueOfTheWrongTypeFallsBackAlone) {
    WriteValues("\"combine\"=dword:00000001\r\n\"rate\"=\"3\"\r\n\"filterindex\"=dword:00000003\r\n"
                "\"quality\"=\"\"\r\n\"free\"=dword:00000050\r\n\"juliancount\"=dword:0000b51d\r\n"
                "\"verify\"=\"1\"\r\n\"exitod\"=dword:00000001\r\n");
    Start();
    EXPECT_EQ(Combine(), 1);
    EXPECT_EQ(Row(), 5);
    EXPECT_EQ(Inside(*Form).FilterIndex, 3);
    EXPECT_EQ(Edit("ediQuality"), "33");
    EXPECT_EQ(Edit("ediFreeBitrate"), "126");
    EXPECT_EQ(Inside(*Form).StoredDay, "10000");
    EXPECT_FALSE(Checked("chbxVerify"));
    EXPECT_TRUE(Checked("chbxExitDone"));
}

// Numbers the controls cannot hold would index past the rate texts or hide the window.
TEST_F(Settings, ValuesTheControlsCannotHoldTakeTheirDefaults) {
    WriteValues("\"combine\"=dword:00000007\r\n\"rate\"=dword:ffffffff\r\n"
                "\"filterindex\"=dword:00000004\r\n\"top\"=dword:000186a0\r\n"
                "\"left\"=dword:00000064\r\n\"ratebtn\"=dword:00000009\r\n"
                "\"quality\"=\"abc\"\r\n\"free\"=\"1000\"\r\n\"codepage\"=dword:00000064\r\n");
    Start();
    // No code page 100: the locale's.
    EXPECT_TRUE(Form->findChild<QMenu*>("mnuCodePage")->actions().value(0)->isChecked());
    EXPECT_EQ(Combine(), 0);
    EXPECT_EQ(Row(), 5);
    EXPECT_EQ(Inside(*Form).FilterIndex, 1);
    EXPECT_EQ(Form->pos(), QPoint(50, 50));
    EXPECT_TRUE(Checked("rdbtnCBR"));
    EXPECT_EQ(Edit("ediQuality"), "33");
    EXPECT_EQ(Edit("ediFreeBitrate"), "126");

    WriteValues("\"rate\"=dword:0000000a\r\n");
    Restart();
    EXPECT_EQ(Row(), 5);
}

TEST_F(Settings, AGarbledFileGivesTheDefaultsAndIsReplacedAtClose) {
    WriteFile(std::string("\x89PNG\r\n\x1a\n\0\0\0\"rate\"=dword:00000001\n", 30));
    Start();
    ExpectDefaults();
    Form->close();
    EXPECT_TRUE(Dialogs.Shown.empty());
    EXPECT_TRUE(Stored().starts_with("Windows Registry Editor Version 5.00\n\n"
                                     "[HKEY_CURRENT_USER\\software\\Quillaby\\ParvaneB]\n"));
}

// A full disk: the error is shown once for the close and the destructor together, and the file
// keeps what the last good save wrote.
TEST_F(Settings, AFailedSaveIsReportedOnceAndLosesNothing) {
    WriteValues("\"verify\"=dword:00000001\r\n\"quality\"=\"12\"\r\n");
    const std::string before = Stored();
    Start();
    Find<QCheckBox>("chbxVerify")->setChecked(false);

    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tiny{1, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &tiny);
    Form->close();
    Form.reset();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(Dialogs.Shown.size(), 1u);
    EXPECT_EQ(Dialogs.Shown[0].Kind, "error");
    EXPECT_FALSE(Dialogs.Shown[0].At.has_value());
    EXPECT_TRUE(Dialogs.Shown[0].Text.contains("ParvaneB.reg"))
        << Dialogs.Shown[0].Text.toStdString();
    EXPECT_EQ(Stored(), before);
}
