#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

struct TSaveRequest {
    QString Title;
    QString FileName;
    QString Folder;
    // Qt name filters such as "MP4 (*.mp4)"; FilterIndex counts from 1.
    QStringList Filters;
    int FilterIndex = 1;
};

struct TSaveChoice {
    QString File;
    int FilterIndex = 1;
};

// Every question and message of the window goes through here, so that tests can answer them and
// see where they would have appeared. Positions are top-left corners in screen coordinates; a
// box without one is centred on its owner.
class TDialogs {
public:
    virtual ~TDialogs() = default;

    // Yes or No; true for Yes.
    virtual bool Confirm(QWidget* owner, QPoint at, const QString& text) = 0;
    virtual void Error(QWidget* owner, std::optional<QPoint> at, const QString& text) = 0;
    virtual void Information(QWidget* owner, std::optional<QPoint> at, const QString& title,
                             const QString& text) = 0;
    // Nothing when the user cancels.
    virtual std::optional<TSaveChoice> SaveFile(QWidget* owner, const TSaveRequest& request) = 0;
};
