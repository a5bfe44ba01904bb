#pragma once

#include "app/Dialogs.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

// Answers every dialog at once and keeps what would have been shown, and where.
class TScriptedDialogs : public TDialogs {
public:
    struct TShown {
        QString Kind;
        std::optional<QPoint> At;
        QString Title;
        QString Text;
        // What a save dialog offered.
        QStringList Filters = {};
        int FilterIndex = 0;
    };
    std::vector<TShown> Shown;
    bool ConfirmAnswer = true;
    std::optional<TSaveChoice> SaveAnswer;

    bool Confirm(QWidget*, QPoint at, const QString& text) override {
        Shown.push_back({"confirm", at, {}, text});
        return ConfirmAnswer;
    }
    void Error(QWidget*, std::optional<QPoint> at, const QString& text) override {
        Shown.push_back({"error", at, {}, text});
    }
    void Information(QWidget*, std::optional<QPoint> at, const QString& title,
                     const QString& text) override {
        Shown.push_back({"information", at, title, text});
    }
    std::optional<TSaveChoice> SaveFile(QWidget*, const TSaveRequest& request) override {
        Shown.push_back(
            {"save", {}, request.Title, request.FileName, request.Filters, request.FilterIndex});
        return SaveAnswer;
    }
};
