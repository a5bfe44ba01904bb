#include "app/Application.h"

#include "ScriptedDialogs.h"
#include "app/Main.h"
#include "app/QtDialogs.h"
#include "tools/ToolTestSupport.h"

#include <QEvent>
#include <QFontInfo>
#include <QListWidget>
#include <QObject>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <qpa/qplatformwindow.h>
#include <stdexcept>

namespace {

class TThrower : public QObject {
public:
    bool Plain = false;
    int Handled = 0;

protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        ++Handled;
        if (Plain)
            throw 42;
        throw std::runtime_error("disk full");
    }
};

} // namespace

// An exception escaping a handler becomes the error message, and the program goes on.
TEST(Application, ShowsEscapingExceptionsAndGoesOn) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "parvane";
    char* argv[] = {name, nullptr};
    TScriptedDialogs dialogs;
    TApplication app(argc, argv, dialogs);
    EXPECT_EQ(QApplication::applicationDisplayName(), "Parvane");

    TThrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    thrower.Plain = true;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::processEvents();

    EXPECT_EQ(thrower.Handled, 2);
    ASSERT_EQ(dialogs.Shown.size(), 2u);
    EXPECT_EQ(dialogs.Shown[0].Kind, "error");
    EXPECT_EQ(dialogs.Shown[0].Text, "disk full");
    EXPECT_EQ(dialogs.Shown[1].Text, "");
}

namespace {

// The program's start as main.cpp makes it: the application object over a command line, in a
// scratch folder with settings of its own.
class StartedApplication : public testing::Test {
protected:
    tooltest::TScopedFolder Folder;
    TScriptedDialogs Dialogs;
    std::vector<std::string> Arguments{"parvane"};
    std::vector<char*> Argv;
    int Argc = 0;
    std::unique_ptr<TApplication> App;

    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("HOME", Folder.Path.c_str());
        qputenv("XDG_CONFIG_HOME", (Folder / ".config").c_str());
        qputenv("PARVANE_UPDATE_SERVER", "127.0.0.1:1");
    }
    void Start() {
        for (std::string& argument : Arguments)
            Argv.push_back(argument.data());
        Argv.push_back(nullptr);
        Argc = static_cast<int>(Arguments.size());
        App = std::make_unique<TApplication>(Argc, Argv.data(), Dialogs);
    }
    void MakeFile(const std::string& name) {
        tooltest::WriteFile(Folder / name, std::string(200, 'x'));
    }
};

// Reaches the formatting every native title bar gets from Qt, which appends the display name.
struct TTitleBar : QPlatformWindow {
    using QPlatformWindow::formatWindowTitle;
};

QString TitleBarText(const QString& title) {
    return TTitleBar::formatWindowTitle(title, QString::fromUtf8(" \xe2\x80\x94 "));
}

} // namespace

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

TEST_F(StartedApplication, TitleBarsShowExactlyTheSetTexts) {
    Start();
    TMainForm form(Dialogs);
    EXPECT_TRUE(form.windowTitle().startsWith("Parvane - APE/FLAC/MP3/WAV to MP4 transcoder "));
    EXPECT_EQ(TitleBarText(form.windowTitle()), form.windowTitle());

    QString boxTitle;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            boxTitle = box->windowTitle();
            box->close();
        }
    });
    TQtDialogs().Error(&form, std::nullopt, "disk full");
    EXPECT_EQ(boxTitle, "Error");
    EXPECT_EQ(TitleBarText(boxTitle), "Error");
}

// The layout's pixels are Tahoma's; without one installed, the program brings its own.
TEST_F(StartedApplication, TheDesignFontAnswersToTahoma) {
    Start();
    EXPECT_EQ(QFontInfo(QFont("Tahoma")).family(), "Tahoma");
    QFont bold("Tahoma");
    bold.setBold(true);
    EXPECT_EQ(QFontInfo(bold).family(), "Tahoma");
    EXPECT_TRUE(QFontInfo(bold).bold());
    EXPECT_EQ(QFontInfo(bold).style(), QFont::StyleNormal);
}

// "Open With" passes files and folders as arguments; they enter as a drop of them would, in the
// order given, and every other argument is ignored.
TEST_F(StartedApplication, CommandLinePathsEnterTheCueListAsADrop) {
    std::filesystem::create_directories(Folder / "album/sub");
    for (const char* name : {"album/10 x.mp3", "album/2 x.mp3", "album/1 x.mp3", "album/notes.txt",
                             "album/sub/3 x.mp3", "single.mp3", "cover.jpg"})
        MakeFile(name);
    const std::string folder = Folder.Path.string();
    const std::string old = std::filesystem::current_path();
    std::filesystem::current_path(Folder.Path);
    Arguments.insert(Arguments.end(), {"--unknown-option", "single.mp3", folder + "/album/",
                                       "missing.mp3", "cover.jpg", folder + "/single.mp3"});
    Start();
    TMainForm form(Dialogs);
    if (const QStringList paths = App->CommandLinePaths(); !paths.isEmpty())
        form.DropPaths(paths);
    std::filesystem::current_path(old);
    auto* cue = form.findChild<QListWidget*>("lbxCueList");
    ASSERT_NE(cue, nullptr);
    QStringList rows;
    for (int i = 0; i < cue->count(); ++i)
        rows << cue->item(i)->text();
    const QString base = QString::fromStdString(folder);
    EXPECT_EQ(rows,
              (QStringList{base + "/single.mp3", base + "/album/1 x.mp3", base + "/album/2 x.mp3",
                           base + "/album/10 x.mp3", base + "/single.mp3"}));
    EXPECT_TRUE(form.findChild<QPushButton*>("btnConvert")->isEnabled());
}

// Without arguments nothing is dropped and the window starts as it always did.
TEST_F(StartedApplication, NoArgumentsNoPaths) {
    Arguments.push_back("--unknown-option");
    Start();
    EXPECT_TRUE(App->CommandLinePaths().isEmpty());
}
