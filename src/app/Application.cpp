#include "app/Application.h"

#include "app/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <optional>

namespace {

// Debian's fonts-wine: Tahoma's metrics under a free licence, outside fontconfig's folders.
const char* const DesignFontFolder = "/usr/share/wine/fonts/";

} // namespace

TApplication::TApplication(int& argc, char** argv, TDialogs& dialogs)
    : QApplication(argc, argv), Dialogs(dialogs) {
    // No display name: Qt would append it to every title the program sets.
    setApplicationName("Parvane");
    setDesktopFileName("org.quillaby.Parvane");
    LoadDesignFont();
}

void TApplication::LoadDesignFont() {
    // The window is laid out in pixels for Tahoma; the usual fallback is wider and clips.
    if (QFontInfo(QFont("Tahoma")).family().compare("Tahoma", Qt::CaseInsensitive) == 0)
        return;
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf"})
        QFontDatabase::addApplicationFont(QString(DesignFontFolder) + file);
}

QStringList TApplication::CommandLinePaths() const {
    QStringList paths;
    for (const QString& argument : arguments().mid(1)) {
        const QFileInfo path(QDir::current(), argument);
        if (path.exists())
            paths << QDir::cleanPath(path.absoluteFilePath());
    }
    return paths;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

void TApplication::ShowException(const std::exception_ptr& error) {
    // Anything thrown that is not an exception has no message to show.
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
    }
    Dialogs.Error(activeWindow(), std::nullopt, text);
}
