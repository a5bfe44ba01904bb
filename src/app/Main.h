#pragma once

#include "update/Versioncomp.h"

#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <array>
#include <memory>
#include <string>

class QPainter;
class TDialogs;
class TMP4;

namespace Ui {
class TMainForm;
}

// The program's one window. It owns the MP4 job for its whole life, drives it from its controls
// and shows what the job reports.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TMainForm(TDialogs& dialogs, QWidget* parent = nullptr);
    ~TMainForm() override;

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<TMP4> mp4;
    TVersionComp Vers;

    bool Busy = false;
    bool AbortFlag = false;
    bool AbortPressed = false;
    int TagStepCount = 0;
    QString SavedToText;
    std::array<QString, 10> RateTexts;
    int RateButton = 0;
    // Where the tools must lie; the application folder unless a test says otherwise.
    std::string ToolFolder;

    void SetCaption();
    void FormActivate();
    void FormResize();
    void ApplyOnTop();
    bool FormCloseQuery();
    void FormClose();

    void DoStepStart(TMP4& job);
    void DoProgress(TMP4& job);
    void DoSourceDone(TMP4& job);
    void DoEncodeDone(TMP4& job);
    void DoTagStart(TMP4& job);
    void DoTagProgress(TMP4& job);
    void DoTagDone(TMP4& job);
    void TraceLine(const QString&) {}
    void LogLine(const QString&) {}

    // What the user is told when a run went wrong; empty when the job did not fail.
    QString RunFailureMessage() const;
    // Logs the failure message and shows it in its error box.
    void ShowRunFailure();

    void UpdateBitrateMode();
    void SelectBitrateButton(int mode);
    void ediQualityChange();
    void ediFreeBitrateChange();
    void ValidateBitrateEdits();
    void UpdateSaveCaptions();
    void ApplyHints();
    void PageControl1DrawTab(QPainter& painter, int index, const QRect& rect, bool active);
    void mnuAboutClick();
    void mnuHelpPdfClick();
    void mnuApeClick();
    void mnuFlacMetaflacClick();
    void mnuMP3Click();
    void mnuMP4Click();
    bool CodecsPresent();

    // The gauge's range while decoding and encoding: one step is one pixel.
    static constexpr int GaugeRange = 733;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A box's top-left corner, given relative to the window's.
    QPoint AtWindow(int dx, int dy) const;
    void OpenWebAddress(const std::string& path);
    void SourceDone(TMP4& job, bool removeCueRow);
    void WriteLogFile();

    TDialogs& Dialogs;
    bool Activated = false;
};
