#pragma once

#include "app/Dialogs.h"

// The dialogs as the user sees them: Qt's message boxes and Qt's own file dialog.
class TQtDialogs : public TDialogs {
public:
    bool Confirm(QWidget* owner, QPoint at, const QString& text) override;
    void Error(QWidget* owner, std::optional<QPoint> at, const QString& text) override;
    void Information(QWidget* owner, std::optional<QPoint> at, const QString& title,
                     const QString& text) override;
    std::optional<TSaveChoice> SaveFile(QWidget* owner, const TSaveRequest& request) override;
};
