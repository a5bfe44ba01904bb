#pragma once

#include "MainFormAccess.h"
#include "ScriptedDialogs.h"
#include "app/Main.h"
#include "job/Mp4.h"
#include "sources/SourceTestFiles.h"
#include "tools/ToolTestSupport.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

// A shown window over a scratch folder, with its own home, settings and temporary folders so
// that no run touches the user's and leftovers show.
class TWindowTest : public testing::Test {
protected:
    tooltest::TScopedFolder Folder;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TMainForm> Form;
    QByteArray OldHome, OldConfig, OldTemp;

    void SetUp() override {
        OldHome = qgetenv("HOME");
        OldConfig = qgetenv("XDG_CONFIG_HOME");
        OldTemp = qgetenv("TMPDIR");
        std::filesystem::create_directories(Folder / "home/tmp");
        qputenv("TMPDIR", (Folder / "home/tmp").string().c_str());
        qputenv("HOME", (Folder / "home").string().c_str());
        qputenv("XDG_CONFIG_HOME", (Folder / "home/.config").string().c_str());
        NewWindow();
    }
    void NewWindow() {
        Form = std::make_unique<TMainForm>(Dialogs);
        Form->show();
        Find<QListWidget>("lbxRate")->setCurrentRow(3);
    }
    void TearDown() override {
        Form.reset();
        Restore("HOME", OldHome);
        Restore("XDG_CONFIG_HOME", OldConfig);
        Restore("TMPDIR", OldTemp);
    }
    static void Restore(const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    bool NoTemporaryFiles() { return std::filesystem::is_empty(Folder / "home/tmp"); }

    template <class T> T* Find(const char* name) {
        T* widget = Form->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget& Cue() { return *Find<QListWidget>("lbxCueList"); }
    QStringList CueRows() {
        QStringList rows;
        for (int i = 0; i < Cue().count(); ++i)
            rows << Cue().item(i)->text();
        return rows;
    }
    // The texts of the error boxes shown so far.
    std::vector<std::string> Errors() {
        std::vector<std::string> texts;
        for (const auto& shown : Dialogs.Shown)
            if (shown.Kind == "error")
                texts.push_back(shown.Text.toStdString());
        return texts;
    }
    void Check(const char* name, bool on = true) {
        Find<QWidget>(name)->setProperty("checked", on);
    }

    std::string MakeWav(const std::string& name, double seconds, int rate = 44100) {
        const std::string path = (Folder / name).string();
        tooltest::TWavSpec spec;
        spec.Rate = rate;
        tooltest::WriteWav(path, spec, static_cast<std::uint64_t>(seconds * rate));
        return path;
    }
    std::string MakeFlac(const std::string& name, double seconds) {
        return sourcetest::MakeFlac(Folder / name, seconds);
    }
    // Drops the paths on the window as a file manager would.
    void Drop(const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls << QUrl::fromLocalFile(QString::fromStdString(path));
        mime.setUrls(urls);
        // Qt delivers a drop only to the widget that took the drag when it entered.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(Form.get(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Form.get(), &drop);
    }
    // Runs the action at the first progress report of the given activity (10 encoding).
    void AtFirstReport(int activity, std::function<void()> action) {
        auto shown = Inside(*Form).Job.OnProgress;
        Inside(*Form).Job.OnProgress = [=, done = false](TMP4& job) mutable {
            if (!done && job.Activity == activity) {
                done = true;
                action();
            }
            shown(job);
        };
    }
};

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
