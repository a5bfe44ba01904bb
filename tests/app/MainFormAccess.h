#pragma once

#include "app/Main.h"
#include "job/Mp4.h"

#include <QString>
#include <functional>
#include <string>

// The window's private state as the tests read and set it.
struct TMainForm::TTestAccess {
    explicit TTestAccess(TMainForm& form)
        : Job(*form.mp4), Busy(form.Busy), TagStepCount(form.TagStepCount),
          FilterIndex(form.FilterIndex), OutputName(form.OutputName), OutputExt(form.OutputExt),
          RateButton(form.RateButton), ToolFolder(form.ToolFolder), StoredDay(form.StoredDay),
          TodayText(form.TodayText), UpdateKind(form.UpdateKind), Today(form.Today) {}
    TMP4& Job;
    bool& Busy;
    int& TagStepCount;
    int& FilterIndex;
    QString& OutputName;
    QString& OutputExt;
    int& RateButton;
    std::string& ToolFolder;
    QString& StoredDay;
    QString& TodayText;
    int& UpdateKind;
    std::function<int()>& Today;
};

inline TMainForm::TTestAccess Inside(TMainForm& form) {
    return TMainForm::TTestAccess(form);
}
