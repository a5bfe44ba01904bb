#include "app/Application.h"

#include "app/Dialogs.h"

#include <optional>

TApplication::TApplication(int& argc, char** argv, TDialogs& dialogs)
    : QApplication(argc, argv), Dialogs(dialogs) {
    setApplicationName("Parvane");
    setApplicationDisplayName("Parvane");
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
