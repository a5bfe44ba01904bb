#pragma once

#include "platform/LocalDay.h"
#include "update/UpdateKind.h"
#include "update/Versioncomp.h"

#include <QMainWindow>
#include <QPoint>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <string>

class QListWidgetItem;
class QPainter;
class TAbortState;
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

    // The job's abort state, the one the Abort button and closing the window set.
    TAbortState& Abort();
    // The tests' view of the private state below; the tests define it.
    struct TTestAccess;

    // The save dialog's filters, counted from 1 as the dialog counts them.
    static constexpr int FilterMp4 = 1;
    static constexpr int FilterM4a = 2;
    static constexpr int FilterM4b = 3;

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
    // The menu bar's "Code Page" submenu, mnuCodePage: the locale's choice and the code pages a
    // user may name instead.
    void BuildCodePageMenu();
    void SelectCodePage(int codePage);
    void PageControl1DrawTab(QPainter& painter, int index, const QRect& rect, bool active);
    void mnuAboutClick();
    void mnuHelpPdfClick();
    void mnuApeClick();
    void mnuFlacMetaflacClick();
    void mnuMP3Click();
    void mnuMP4Click();
    bool CodecsPresent();

    // The settings and the daily update check.
    void ReadFromRegistry();
    void SaveToRegistry();
    void CheckApplVersion();

    void btnConvertClick();
    // False when the user cancelled the save dialog.
    bool RunSaveDialog();
    void Convert();
    void btnAbortClick();
    void EnableSettings(bool enabled);

    // Handles drops for the whole application; handled is false for every other event.
    void ProcessMessage(QEvent* message, bool& handled);
    // Takes the paths as a drop of them: the files and folders a file manager opens us with.
    void DropPaths(const QStringList& paths);
    void lbxCueListMouseDown(Qt::MouseButton button, QPoint at);
    void lbxCueListMouseUp(Qt::MouseButton button, QPoint at);
    void btnClearCueClick();

    // The gauge's range while decoding and encoding: one step is one pixel.
    static constexpr int GaugeRange = 733;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A box's top-left corner, given relative to the window's.
    QPoint AtWindow(int dx, int dy) const;
    void OpenWebAddress(const std::string& path);
    void SourceDone(TMP4& job, bool removeCueRow);
    void KeepGaugeTheRuns(TMP4& job);
    void GiveBackTagGauge();
    void WriteLogFile();
    void InstallMessageHook();
    // Adds the file's row, or a sheet's track rows; returns the images the sheet stands for.
    std::vector<std::string> AddCueEntry(const QString& path);
    // The path a row stands for: its file, or the sheet of its track.
    static QString RowPath(const QListWidgetItem& row);
    // Hands the row to the job as it was dropped.
    void AddRowSource(const QListWidgetItem& row);
    // The closing steps of a run, taken however the run ended.
    void EndConvert();
    int CueRowAt(QPoint at) const;
    // The conversion radio group's choice: all sources into one file, or a file each.
    bool CombineChosen() const;

    // Only the window itself uses these (and the tests, through TTestAccess).
    std::unique_ptr<TMP4> mp4;
    bool Busy = false;
    int TagStepCount = 0;
    // The save dialog's filter, FilterMp4, FilterM4a or FilterM4b; kept in the settings.
    int FilterIndex = FilterMp4;
    QString OutputName, OutputExt;
    int RateButton = 0;
    // The 8-bit code page of tags and sheets, 0 for the locale's; kept in the settings.
    int CodePage = 0;
    // Where the tools must lie; the application folder unless a test says otherwise.
    std::string ToolFolder;
    // Day numbers as decimal text: the last day the program ran, and today.
    QString StoredDay, TodayText;
    // An updatekind number.
    int UpdateKind = updatekind::Unknown;
    // The clock of the day rule; tests set their own day.
    std::function<int()> Today = [] { return platform::LocalDay(); };
    std::unique_ptr<Ui::TMainForm> ui;
    TVersionComp Vers;
    QString RegistryKey;
    QString NewFileVersion;
    // The user hears of a failed save once, not at every later save.
    bool SaveFailureShown = false;
    QString OutputDir;
    int DragFromIndex = -1;
    QString DragText;
    QString SavedToText;
    // The tagger's steps took the gauge: only while nothing else ran beside them.
    bool TagHasGauge = false;
    std::array<QString, 10> RateTexts;

    TDialogs& Dialogs;
    bool Activated = false;
};
