#pragma once

#include <QApplication>
#include <QStringList>
#include <exception>

class TDialogs;

// The application object. An exception that escapes an event handler ends up here and is shown
// as an error message; the program goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv, TDialogs& dialogs);

    bool notify(QObject* receiver, QEvent* event) override;
    void ShowException(const std::exception_ptr& error);

    // The files and folders among the arguments after the program's name, as absolute paths:
    // what a file manager's "Open With" passes. Qt has already taken its own options out.
    QStringList CommandLinePaths() const;

private:
    void LoadDesignFont();

    TDialogs& Dialogs;
};
