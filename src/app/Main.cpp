#include "app/Main.h"

#include "app/Dialogs.h"
#include "app/Gauge.h"
#include "app/PageControl.h"
#include "app/RadioGroup.h"
#include "app/RegFormat.h"
#include "app/Settings.h"
#include "app/StatusBar.h"
#include "job/Mp4.h"
#include "job/SourceWalk.h"
#include "pipeline/AbortState.h"
#include "pipeline/Onename.h"
#include "pipeline/PathParts.h"
#include "platform/AppFolder.h"
#include "platform/CodePage.h"
#include "platform/Cores.h"
#include "platform/Files.h"
#include "platform/ToolNames.h"
#include "ui_Main.h"
#include "update/UpdateDay.h"
#include "update/VersionCheck.h"
#include "update/WebServer.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

namespace {

const int TabHeight = 20;
const int HintMilliseconds = 10000;
const char* const RateValues[] = {"33",  "66",  "100", "128", "146",
                                  "192", "238", "285", "332", "381"};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The save dialog's filters and the extension each gives, in the order of FilterIndex.
const QStringList SaveNameFilters = {"MP4 (*.mp4)", "M4A (*.m4a)", "M4B audiobook (*.m4b)"};
const QStringList SaveExtensions = {".mp4", ".m4a", ".m4b"};
// The conversion radio group's item that puts all sources into one file.
const int ConvertCombined = 0;
// The four ways of saving: what the save dialog offers and where the output goes.
struct TSaveMode {
    // The output folder: the source's, the one chosen, or each source's own.
    enum class TFolder { Source, Chosen, EachSource };
    // The output name: the one chosen, the first source's (set before the dialog), or each
    // source's own.
    enum class TName { Chosen, Source, EachSource };
    const char* Title;
    bool OfferSourceName;
    bool OfferSourceFolder;
    TFolder Folder;
    TName Name;
};

// Combined from the source folder, combined to a chosen folder, separate into the source folders,
// separate into a chosen folder.
const TSaveMode SaveModes[] = {
    {"1. COMBINE-SOURCE : Directory = Source, Select a new Filename", true, true,
     TSaveMode::TFolder::Source, TSaveMode::TName::Chosen},
    {"2. COMBINE-SELECT : Select a new Filename and a new Directory", true, true,
     TSaveMode::TFolder::Chosen, TSaveMode::TName::Chosen},
    {"3. SEPARATE-SOURCE : Directory and Filename are taken form Source", false, false,
     TSaveMode::TFolder::EachSource, TSaveMode::TName::EachSource},
    {"4. SEPARATE-SELECT : Select a new Directory, Filename from Source", false, true,
     TSaveMode::TFolder::Chosen, TSaveMode::TName::Source},
};

// A track row keeps its sheet and number here; its text is for the eye.
const int SheetRole = Qt::UserRole;
const int TrackRole = Qt::UserRole + 1;

QColor ActivityColor(int activity) {
    switch (activity) {
    case TBase::KindApe:
        return QColor(166, 124, 82);
    case TBase::KindFlac:
        return QColor(255, 0, 0);
    case TBase::KindMp3:
        return QColor(0, 255, 0);
    default:
        return QColor(0, 0, 255);
    }
}

} // namespace

TMainForm::TMainForm(TDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), ToolFolder(platform::AppFolder()), ui(std::make_unique<Ui::TMainForm>()),
      Dialogs(dialogs) {
    ui->setupUi(this);
    QGuiApplication::clipboard()->clear();

    ui->centralwidget->setFixedSize(736, 577);
    setFixedSize(736, 577 + ui->mnuMain->sizeHint().height());
    FormResize();

    mp4 = std::make_unique<TMP4>();

    ui->stbarProcessing->SetPanelText(0, "decoding");
    for (TStatusBar* bar : {ui->stbarProcessing, ui->stbarSavedTo}) {
        QFont font = bar->font();
        font.setBold(true);
        bar->setFont(font);
    }

    ApplyHints();

    ui->btnTestDate->hide();
    ui->btnAbort->setEnabled(false);
    ui->memLog->hide();
    ui->PageControl1->setTabVisible(ui->PageControl1->indexOf(ui->tabLog), false);

    ui->PageControl1->setCurrentIndex(0);

    mp4->ClearAll();
    mp4->OnStepStart = [this](TMP4& job) { DoStepStart(job); };
    mp4->OnProgress = [this](TMP4& job) { DoProgress(job); };
    mp4->OnSourceDone = [this](TMP4& job) { DoSourceDone(job); };
    mp4->OnEncodeDone = [this](TMP4& job) { DoEncodeDone(job); };
    mp4->OnTagStart = [this](TMP4& job) { DoTagStart(job); };
    mp4->OnTagProgress = [this](TMP4& job) { DoTagProgress(job); };
    mp4->OnTagDone = [this](TMP4& job) { DoTagDone(job); };

    ui->prGauge->SetMaxValue(GaugeRange);
    ui->prGauge->SetShowText(true);
    ui->PageControl1->Tabs().SetTabHeight(TabHeight);
    ui->PageControl1->Tabs().DrawTab = [this](QPainter& painter, int index, const QRect& rect,
                                              bool active) {
        PageControl1DrawTab(painter, index, rect, active);
    };

    for (QRadioButton* button : {ui->rdbtnCBR, ui->rdbtnFreeBitrate, ui->rdbtnQuality})
        connect(button, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                UpdateBitrateMode();
        });
    for (QRadioButton* item : ui->rdgrpConvert->Items())
        connect(item, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                UpdateSaveCaptions();
        });
    connect(ui->ediQuality, &QLineEdit::textChanged, this, [this] { ediQualityChange(); });
    connect(ui->ediFreeBitrate, &QLineEdit::textChanged, this, [this] { ediFreeBitrateChange(); });
    const QRegularExpression digits("[0-9]*");
    ui->ediQuality->setValidator(new QRegularExpressionValidator(digits, ui->ediQuality));
    ui->ediFreeBitrate->setValidator(new QRegularExpressionValidator(digits, ui->ediFreeBitrate));
    connect(ui->chbxHint, &QCheckBox::toggled, this, [this] { ApplyHints(); });
    connect(ui->chbxOnTop, &QCheckBox::toggled, this, [this] { ApplyOnTop(); });
    BuildCodePageMenu();
    connect(ui->mnuAbout, &QAction::triggered, this, [this] { mnuAboutClick(); });
    connect(ui->mnuHelpPdf, &QAction::triggered, this, [this] { mnuHelpPdfClick(); });
    connect(ui->mnuApe, &QAction::triggered, this, [this] { mnuApeClick(); });
    connect(ui->mnuFlacMetaflac, &QAction::triggered, this, [this] { mnuFlacMetaflacClick(); });
    connect(ui->mnuMP3, &QAction::triggered, this, [this] { mnuMP3Click(); });
    connect(ui->mnuMP4, &QAction::triggered, this, [this] { mnuMP4Click(); });

    SetCaption();
    UpdateBitrateMode();

    setAcceptDrops(true);
    InstallMessageHook();
    connect(ui->btnConvert, &QPushButton::clicked, this, [this] { btnConvertClick(); });
    connect(ui->btnAbort, &QPushButton::clicked, this, [this] { btnAbortClick(); });
    connect(ui->btnClearCue, &QPushButton::clicked, this, [this] { btnClearCueClick(); });

    RegistryKey = "\\software\\Quillaby\\ParvaneB";
    ReadFromRegistry();
    ValidateBitrateEdits();

    std::copy(std::begin(RateValues), std::end(RateValues), RateTexts.begin());

    ui->btnConvert->setEnabled(false);
    ui->btnClearCue->setEnabled(true);

    UpdateSaveCaptions();
    TraceLine("B-end-MainForm constructor");
}

TMainForm::~TMainForm() {
    TraceLine("B-begin-Mainform destructor");
    mp4.reset();
    qApp->removeEventFilter(this);
    setAcceptDrops(false);
    SaveToRegistry();
    TraceLine("B-end-MainForm destructor");
}

TAbortState& TMainForm::Abort() {
    return mp4->Abort;
}

QPoint TMainForm::AtWindow(int dx, int dy) const {
    return pos() + QPoint(dx, dy);
}

void TMainForm::SetCaption() {
    TraceLine("B-begin-SetCaption");
    setWindowTitle("Parvane - APE/FLAC/MP3/WAV to MP4 transcoder " + Text(Vers.GetFileVersion()));
    TraceLine("B-end-SetCaption");
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && !Activated) {
        Activated = true;
        FormActivate();
    }
    return QMainWindow::event(event);
}

void TMainForm::FormActivate() {
    TraceLine("B-begin-FormActivate");
    CheckApplVersion();
    CodecsPresent();
    TraceLine("B-end-FormActivate");
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainForm::FormResize() {
    ui->PageControl1->Tabs().SetTabWidth(ui->PageControl1->width() / 3 - 1);
}

void TMainForm::ApplyOnTop() {
    // Changing the flag makes a new native window, which starts hidden and knows nothing of
    // drops; both are given back.
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, ui->chbxOnTop->isChecked());
    if (wasVisible)
        show();
    if (!Busy)
        InstallMessageHook();
    setAcceptDrops(true);
}

bool TMainForm::FormCloseQuery() {
    TraceLine("B-begin-FormCloseQuery");
    // The running job stops at its tool's next poll; the user closes again afterwards.
    if (Busy)
        Abort().Request();
    TraceLine("B-end-FormCloseQuery");
    return !Busy;
}

void TMainForm::FormClose() {
    TraceLine("B-begin-FormClose");
    SaveToRegistry();
    TraceLine("B-end-FormClose");
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMainForm::DoStepStart(TMP4& job) {
    KeepGaugeTheRuns(job);
    if (ui->lbxCueList->count() > 0)
        ui->lbxCueList->setCurrentRow(0);
    LogLine("start: " + Text(job.CurrentSource));
    if (job.Activity != TMP4::ActivityEncoding) {
        ui->stbarProcessing->SetPanelText(1, Text(job.CurrentSource));
        // An encode going on beside this decode keeps its name shown.
        if (!job.Overlapping())
            ui->stbarSavedTo->SetPanelText(1, "");
    }
    ui->memTagList->clear();
    const std::size_t prefix = std::string("-meta:").size();
    for (const std::string& arg : job.MetaArgs)
        ui->memTagList->appendPlainText(Text(arg.substr(std::min(prefix, arg.size()))));
}

void TMainForm::DoProgress(TMP4& job) {
    KeepGaugeTheRuns(job);
    TCGauge& gauge = *ui->prGauge;
    gauge.setEnabled(!Abort().Requested());
    gauge.SetForeColor(ActivityColor(job.Activity));
    const int width = gauge.width();
    gauge.SetProgress(job.Percent * width / 100);
    QString step = " decode ";
    if (job.Activity == TMP4::ActivityEncoding) {
        ui->stbarProcessing->SetPanelText(1, "");
        ui->stbarSavedTo->SetPanelText(1, Text(job.OutputFile));
        step = " encode ";
    } else if (job.Overlapping()) {
        ui->stbarSavedTo->SetPanelText(1, Text(job.OutputFile));
    }
    const int shown = width > 0 ? gauge.Progress() * 100 / width : 0;
    setWindowTitle("Parvane - " + step + QString::number(shown) + "%");
}

void TMainForm::SourceDone(TMP4& job, bool removeCueRow) {
    LogLine("finish: " + Text(job.CurrentSource) + " -> " + Text(job.CurrentTarget));
    if (removeCueRow && ui->lbxCueList->count() > 0)
        delete ui->lbxCueList->takeItem(0);
    if (job.Activity == TMP4::ActivityEncoding)
        LogLine("total secs so far: " + QString::number(job.TotalSeconds));
    if (job.Failed) {
        for (const std::string& line : job.ErrorLines)
            ui->memError->appendPlainText(Text(line));
    }
}

void TMainForm::DoSourceDone(TMP4& job) {
    SourceDone(job, true);
}

void TMainForm::DoEncodeDone(TMP4& job) {
    SourceDone(job, false);
}

void TMainForm::DoTagStart(TMP4& job) {
    LogLine("start tagging " + Text(job.CurrentTarget));
    // Beside other steps the gauge stays the run's.
    KeepGaugeTheRuns(job);
    TagHasGauge = !job.Overlapping();
    if (!TagHasGauge)
        return;
    ui->prGauge->SetShowText(false);
    ui->prGauge->SetMaxValue(100);
    ui->stbarProcessing->SetPanelText(0, "tagging...");
    SavedToText = ui->stbarSavedTo->PanelText(1);
    ui->stbarSavedTo->SetPanelText(0, "");
    ui->stbarSavedTo->SetPanelText(1, "");
}

void TMainForm::DoTagProgress(TMP4&) {
    LogLine("tagging progress " + QString::number(TagStepCount));
    if (TagHasGauge)
        ui->prGauge->SetProgress(TagStepCount);
    ++TagStepCount;
}

void TMainForm::DoTagDone(TMP4& job) {
    LogLine("finish tagging " + Text(job.CurrentTarget));
    if (TagHasGauge)
        GiveBackTagGauge();
    WriteLogFile();
}

void TMainForm::KeepGaugeTheRuns(TMP4& job) {
    // A tagger that started alone hands the gauge back once another step runs beside it.
    if (TagHasGauge && job.Overlapping())
        GiveBackTagGauge();
}

void TMainForm::GiveBackTagGauge() {
    ui->prGauge->SetShowText(true);
    ui->prGauge->SetMaxValue(GaugeRange);
    ui->stbarProcessing->SetPanelText(0, "decoding");
    ui->stbarSavedTo->SetPanelText(0, "encoding");
    ui->stbarSavedTo->SetPanelText(1, SavedToText);
    TagHasGauge = false;
}

void TMainForm::WriteLogFile() {
    const char* home = std::getenv("HOME");
    TOneName name;
    name.Path =
        (home && *home ? std::string(home) : QDir::homePath().toStdString()) + "/ParvaneLog.txt";
    // Created exclusively: a log file of an earlier run is never replaced.
    QFile file(Text(name.UniqueName()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return;
    const QString log = ui->memLog->toPlainText();
    if (!log.isEmpty()) {
        for (const QString& line : log.split('\n'))
            file.write((line + "\r\n").toUtf8());
    }
}

QString TMainForm::RunFailureMessage() const {
    if (mp4->Abort.Requested())
        return "Abort requested - processing has stopped";
    if (!mp4->SameSampleRate)
        return ui->chbxVerify->isChecked()
                   ? "Mixed Sample Frequency audio file set detected."
                   : "Mixed Sample Frequency audio file set detected.\nCannot convert this set of "
                     "files to MP4.";
    if (!mp4->Refusal.empty())
        return Text(mp4->Refusal);
    if (mp4->EncodeFailed)
        return "The encoder did not write the MP4 file.\nIts messages are in the Error List.";
    if (mp4->Failed)
        return "An audio file could not be decoded.\nIts decoder's messages are in the Error List.";
    return "None of the audio files could be converted.";
}

void TMainForm::ShowRunFailure() {
    const QString message = RunFailureMessage();
    LogLine(message);
    Dialogs.Error(this, AtWindow(190, 140), message);
    repaint();
}

void TMainForm::UpdateBitrateMode() {
    ui->grpbxConstBitrate->setVisible(ui->rdbtnCBR->isChecked());
    ui->grpbxFreeBitrate->setVisible(ui->rdbtnFreeBitrate->isChecked());
    ui->grpbxQuality->setVisible(ui->rdbtnQuality->isChecked());
    QString option;
    if (ui->rdbtnCBR->isChecked()) {
        const int row = ui->lbxRate->currentRow();
        const QString rate =
            row >= 0 && row < static_cast<int>(RateTexts.size()) ? RateTexts[row] : QString();
        option = "-cbr " + rate + "000";
        RateButton = 0;
    } else if (ui->rdbtnFreeBitrate->isChecked()) {
        option = "-br " + ui->ediFreeBitrate->text() + "000";
        RateButton = 1;
    } else {
        option = "-q 0." + ui->ediQuality->text();
        RateButton = 2;
    }
    mp4->SetEncoderOption(option.toStdString());
}

void TMainForm::SelectBitrateButton(int mode) {
    if (mode == 1)
        ui->rdbtnFreeBitrate->setChecked(true);
    else if (mode == 2)
        ui->rdbtnQuality->setChecked(true);
    else
        ui->rdbtnCBR->setChecked(true);
}

void TMainForm::ediQualityChange() {
    // A digit too many empties the edit rather than shortening it.
    if (ui->ediQuality->text().size() > 2)
        ui->ediQuality->clear();
}

void TMainForm::ediFreeBitrateChange() {
    if (ui->ediFreeBitrate->text().size() > 3)
        ui->ediFreeBitrate->clear();
}

void TMainForm::ValidateBitrateEdits() {
    if (ui->ediQuality->text().isEmpty())
        ui->ediQuality->setText("50");
    if (ui->ediFreeBitrate->text().isEmpty())
        ui->ediFreeBitrate->setText("128");
    // Text that is no number reads as 0 and so becomes the lowest bitrate.
    if (ui->ediFreeBitrate->text().toInt() < 33)
        ui->ediFreeBitrate->setText("33");
    if (ui->ediFreeBitrate->text().toInt() > 381)
        ui->ediFreeBitrate->setText("381");
}

void TMainForm::UpdateSaveCaptions() {
    if (!CombineChosen()) {
        ui->grpbxSaveTo->setTitle("Save separate MP4 files to : ");
        ui->rdbtnSelect->setText("a Selected Directory");
        ui->rdbtnSource->setText("the Source Directory");
    } else {
        ui->grpbxSaveTo->setTitle("Save combined MP4 file to : ");
        ui->rdbtnSelect->setText("a Selected Directory and Filename");
        ui->rdbtnSource->setText("the Source Directory and Filename");
    }
}

void TMainForm::ApplyHints() {
    const std::pair<QWidget*, const char*> hints[] = {
        {ui->btnClearCue, "Clears the cue list"},
        {ui->chbxExitDone, "If checked, the Program exits as soon as \nit has finished"},
        {ui->chbxHint, "Switches ON or OFF all the Hints"},
        {ui->chbxOnTop, "If checked, the program stays on top \neven if it doesn't have the focus"},
        {ui->chbxUpdates, "If checked, at the first start of the \nprogram each day, it checks "
                          "whether\nthere is an update"},
        {ui->chbxVerify, "If checked, the encoding step is \nomitted. This is useful if you only "
                         "want \nto check the integrity of the source files"},
        {ui->chbxNameIsTag,
         "An audio file without a Title Tag causes a\n'Chapter n' to appear in the final MP4 "
         "file.\nIf you check this box, the filename is\nused as the Title Tag resulting in a "
         "meaning-\nfull Chapter name"},
        {ui->grpbxSaveTo, "Select here whether the MP4 files \nare to be saved to the source "
                          "folder or \nto a new folder"},
        {ui->lbxCueList, "Shows a list of the audio files to be converted"},
        {ui->lbxRate, "Select here the fixed bitrate (kbps)"},
        {ui->memError, "Shows the errors found during decoding"},
        {ui->memTagList, "Shows the tags of the audio file currently being\nprocessend"},
        {ui->pnlAbort, "Press to terminate the program as soon \nas possible"},
        {ui->pnlConvert,
         "After pressing the button you have to select a\ntarget folder name for the MP4 files "
         "and a filename.\nSome combinations of radiobuttons only need either\na folder name or "
         "a filename - or even neither"},
        {ui->prGauge, "The color of the progress bar indicates what process is going on. \nBrown "
                      "= decoding APE, \nRed = decoding FLAC, \nGreen = decoding MP3, \nBlue = "
                      "encoding to MP4. \n(The WAV files do not need decoding) "},
        {ui->rdgrpConvert, "Select here whether or not the files\nare to be combined into one "
                           "MP4 file"},
        {ui->stbarProcessing, "Shows the name of the APE, FLAC, WAV,\nor MP3 file being decoded"},
        {ui->stbarSavedTo, "Shows the name of the MP4 file being built.\nAfter the program "
                           "finishes, it displays the name\nof the directory where the MP4 file "
                           "is saved"},
        {ui->grpbxBitrateControl, "Select one of three encoding bitrate modes"},
        {ui->grpbxQuality, "The value for the target quality is an integer\nbetween 0 and 99"},
        {ui->grpbxFreeBitrate,
         "The value for the target bitrate is an integer\nbetween 33 and 381"},
    };
    // A widget without a tool tip shows none, so switching the hints off clears the texts.
    const bool on = ui->chbxHint->isChecked();
    for (const auto& [widget, hint] : hints) {
        widget->setToolTipDuration(HintMilliseconds);
        widget->setToolTip(on ? QString(hint) : QString());
    }
}

void TMainForm::PageControl1DrawTab(QPainter& painter, int index, const QRect& rect, bool active) {
    TOwnerTabBar& tabs = ui->PageControl1->Tabs();
    painter.save();
    QFont font = tabs.font();
    if (active) {
        painter.fillRect(rect, Qt::black);
        font.setBold(true);
        painter.setPen(QColor(254, 254, 254));
    } else {
        painter.setPen(tabs.palette().color(QPalette::WindowText));
    }
    painter.setFont(font);
    painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, tabs.tabText(index));
    painter.restore();
}

void TMainForm::mnuAboutClick() {
    Dialogs.Information(this, std::nullopt, "Parvane",
                        "Parvane\n\n(beta) version " + Text(Vers.GetFileVersion()) +
                            "\n\nDeveloping and Testing still going on.\n\nsee remarks at: \n" +
                            Text(update::WebAddress("/")));
}

void TMainForm::OpenWebAddress(const std::string& path) {
    QDesktopServices::openUrl(QUrl(Text(update::WebAddress(path))));
}

void TMainForm::mnuHelpPdfClick() {
    OpenWebAddress("/net/Help-Parvane-1-11-05-01.pdf");
}

void TMainForm::mnuApeClick() {
    OpenWebAddress("/net/redir.php?dest=free-codecs_ape");
}

void TMainForm::mnuFlacMetaflacClick() {
    OpenWebAddress("/net/redir.php?dest=free-codecs_flac");
}

void TMainForm::mnuMP3Click() {
    OpenWebAddress("/net/redir.php?dest=free-codecs_lame");
}

void TMainForm::mnuMP4Click() {
    OpenWebAddress("/net/redir.php?dest=nero_aac_codec");
}

bool TMainForm::CodecsPresent() {
    TraceLine("B-begin-CodecsPresent");
    QString missing;
    for (const std::string& tool : platform::MissingTools(ToolFolder)) {
        missing += Text(tool);
        if (tool == platform::SleepTool)
            missing += " (part of Parvane zip!)";
        missing += "\n";
    }
    TraceLine("B-end-CodecsPresent");
    if (missing.isEmpty())
        return true;
    Dialogs.Error(this, AtWindow(220, 140),
                  "One or more Codecs missing:\n\n" + missing +
                      "\nUse the \"Get Codecs\" menu item\nto download the Codecs.");
    return false;
}

void TMainForm::btnConvertClick() {
    ValidateBitrateEdits();
    if (!CodecsPresent()) {
        ui->lbxCueList->clear();
        ui->btnClearCue->setEnabled(true);
        ui->btnConvert->setEnabled(false);
    } else if (ui->lbxCueList->count() > 0 && RunSaveDialog()) {
        ui->btnClearCue->setEnabled(false);
        ui->btnConvert->setEnabled(false);
        mp4->SetOutputDir(OutputDir.toStdString());
        mp4->SetOutputName(OutputName.toStdString());
        mp4->OutputExt = OutputExt.toStdString();
        TagStepCount = 0;
        Convert();
        const bool pressed = Abort().Pressed();
        Abort().Clear();
        mp4->ClearAll();
        ui->stbarSavedTo->SetPanelText(0, "encoding");
        ui->prGauge->SetProgress(0);
        ui->btnClearCue->setEnabled(true);
        ui->btnConvert->setEnabled(false);
        if (!pressed) {
            ui->stbarProcessing->SetPanelText(1, "");
            ui->stbarProcessing->SetPanelText(0, "");
            ui->stbarSavedTo->SetPanelText(0, "MP4 file(s)");
            ui->stbarSavedTo->SetPanelText(1, OutputDir.isEmpty()
                                                  ? QString("saved to the source directories")
                                                  : "saved to directory:\n" + OutputDir);
        } else {
            ui->stbarSavedTo->SetPanelText(0, "encoding");
        }
    }
    ui->stbarProcessing->SetPanelText(0, "Ready");
}

bool TMainForm::RunSaveDialog() {
    if (!ui->chbxVerify->isChecked()) {
        const TSaveMode& mode =
            SaveModes[(CombineChosen() ? 0 : 2) + (ui->rdbtnSource->isChecked() ? 0 : 1)];
        const std::string first = RowPath(*ui->lbxCueList->item(0)).toStdString();
        const QString folder = Text(pipeline::FolderPart(first));
        TSaveRequest request{{}, {}, {}, SaveNameFilters, FilterIndex};
        request.Title = mode.Title;
        request.FileName = mode.OfferSourceName
                               ? Text(pipeline::StripExtension(pipeline::FileNamePart(first)))
                               : QString("the filename will be ignored");
        request.Folder = mode.OfferSourceFolder ? folder : QString("the directory will be ignored");
        if (mode.Name == TSaveMode::TName::Source)
            OutputName = Text(pipeline::FileNamePart(first));
        const std::optional<TSaveChoice> choice = Dialogs.SaveFile(this, request);
        if (!choice)
            return false;
        FilterIndex = choice->FilterIndex;
        const std::string chosen = choice->File.toStdString();
        switch (mode.Folder) {
        case TSaveMode::TFolder::Source:
            OutputDir = folder;
            break;
        case TSaveMode::TFolder::Chosen:
            OutputDir = Text(pipeline::FolderPart(chosen));
            break;
        case TSaveMode::TFolder::EachSource:
            OutputDir = QString();
            break;
        }
        if (mode.Name == TSaveMode::TName::Chosen)
            OutputName = Text(pipeline::FileNamePart(chosen));
    }
    OutputExt = FilterIndex >= FilterMp4 && FilterIndex <= FilterM4b
                    ? SaveExtensions[FilterIndex - FilterMp4]
                    : QString();
    return true;
}

void TMainForm::Convert() {
    {
        EnableSettings(false);
        ui->btnAbort->setEnabled(true);
        ui->prGauge->SetProgress(0);
        Busy = true;
        // An exception out of the job must not leave a window that refuses to close.
        struct TEndAtExit {
            TMainForm& Form;
            ~TEndAtExit() { Form.EndConvert(); }
        } endAtExit{*this};

        mp4->NameAsTitle = ui->chbxNameIsTag->isChecked();
        mp4->VerifyOnly = ui->chbxVerify->isChecked();
        mp4->Lanes = platform::UsableCores();
        UpdateBitrateMode();
        ui->memError->clear();
        mp4->ClearAll();
        for (int row = 0; row < ui->lbxCueList->count(); ++row)
            AddRowSource(*ui->lbxCueList->item(row));
        const bool combine = CombineChosen();
        if (!mp4->DoConvert(combine, ui->rdbtnSelect->isChecked())) {
            ui->prGauge->SetProgress(0);
            ShowRunFailure();
        }
    }
    if (ui->chbxExitDone->isChecked())
        close();
}

void TMainForm::EndConvert() {
    Busy = false;
    ui->btnConvert->setEnabled(false);
    ui->btnAbort->setEnabled(false);
    ui->btnClearCue->setEnabled(true);
    SetCaption();
    ui->lbxCueList->clear();
    EnableSettings(true);
}

void TMainForm::btnAbortClick() {
    if (!Busy) {
        Abort().Clear();
        return;
    }
    // The running tool's console reads it after every slice, so a hung tool that reports
    // nothing stops too.
    Abort().Press();
    ui->lbxCueList->clear();
    ui->stbarProcessing->SetPanelText(0, "decoding");
    ui->stbarSavedTo->SetPanelText(0, "encoding");
    ui->stbarProcessing->SetPanelText(1, "");
    ui->stbarSavedTo->SetPanelText(1, "");
}

void TMainForm::EnableSettings(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui->chbxExitDone, ui->chbxHint, ui->chbxNameIsTag, ui->chbxOnTop, ui->chbxUpdates,
             ui->chbxVerify, ui->ediFreeBitrate, ui->ediQuality, ui->lblFreeBitrate, ui->lblQuality,
             ui->lbxRate})
        control->setEnabled(enabled);
    ui->mnuAbout->setEnabled(enabled);
    ui->mnuCodecs->menuAction()->setEnabled(enabled);
    findChild<QMenu*>("mnuCodePage")->menuAction()->setEnabled(enabled);
    ui->mnuHelpPdf->setEnabled(enabled);
    for (QWidget* control :
         std::initializer_list<QWidget*>{ui->rdbtnCBR, ui->rdbtnFreeBitrate, ui->rdbtnQuality,
                                         ui->rdbtnSelect, ui->rdbtnSource, ui->rdgrpConvert})
        control->setEnabled(enabled);
}

void TMainForm::InstallMessageHook() {
    // Installing again only moves the filter to the front; it never runs twice.
    qApp->installEventFilter(this);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // The cue list's mouse events come through here too, as everything of the application does.
    if (watched == ui->lbxCueList->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            lbxCueListMouseDown(mouse->button(), mouse->position().toPoint());
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            lbxCueListMouseUp(mouse->button(), mouse->position().toPoint());
        }
        return false;
    }
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!drag->mimeData()->hasUrls())
            return false;
        drag->acceptProposedAction();
        return true;
    }
    bool handled = false;
    ProcessMessage(event, handled);
    return handled;
}

void TMainForm::ProcessMessage(QEvent* message, bool& handled) {
    if (message->type() != QEvent::Drop) {
        handled = false;
        return;
    }
    handled = true;
    auto* drop = static_cast<QDropEvent*>(message);
    drop->acceptProposedAction();
    QStringList paths;
    for (const QUrl& url : drop->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    DropPaths(paths);
}

void TMainForm::DropPaths(const QStringList& paths) {
    if (Busy)
        return;
    Abort().Clear();
    EnableSettings(true);
    ui->memLog->clear();
    ui->memTagList->clear();
    ui->stbarProcessing->SetPanelText(0, "decoding");
    ui->stbarProcessing->SetPanelText(1, "");
    ui->stbarSavedTo->SetPanelText(0, "encoding");
    ui->stbarSavedTo->SetPanelText(1, "");
    ui->PageControl1->setCurrentIndex(0);
    ui->prGauge->SetProgress(0);
    TSourceWalk walk;
    walk.OnSheet = [this](const std::string& sheet, const std::string&) {
        return AddCueEntry(QString::fromStdString(sheet));
    };
    walk.OnFile = [this](const std::string& file, const std::string&) {
        AddCueEntry(QString::fromStdString(file));
    };
    std::vector<std::string> names;
    for (const QString& name : paths)
        names.push_back(name.toStdString());
    walk.Walk(names);
    if (!Busy) {
        if (ui->lbxCueList->count() > 0)
            ui->btnConvert->setEnabled(true);
        ui->lbxCueList->update();
    }
}

std::vector<std::string> TMainForm::AddCueEntry(const QString& path) {
    const std::string name = path.toStdString();
    const std::string extension = pipeline::LowerExtension(name);
    std::vector<std::string> images;
    if (!TMP4::IsSourceKind(name))
        return images;
    // An image with a sheet inside stands for its tracks; one whose sheet is of no use is
    // converted whole.
    const std::vector<TMP4::TSheetTrack> tracks = mp4->AddCueSheet(name);
    if (tracks.empty() && !mp4->SheetError.empty())
        ui->memError->appendPlainText(Text(mp4->SheetError));
    for (const std::string& warning : mp4->SheetWarnings)
        ui->memError->appendPlainText(Text(warning));
    if (tracks.empty() && extension != ".cue") {
        if (mp4->AddSrcFile(name))
            ui->lbxCueList->addItem(path);
        return images;
    }
    for (const TMP4::TSheetTrack& track : tracks) {
        const QString number = QString::number(track.Number).rightJustified(2, '0');
        auto* row = new QListWidgetItem(
            number + "  " + (track.Title.empty() ? "Track " + number : Text(track.Title)) + "  (" +
            Text(pipeline::FileNamePart(track.Image)) + ")");
        row->setData(SheetRole, path);
        row->setData(TrackRole, track.Number);
        ui->lbxCueList->addItem(row);
        images.push_back(track.Image);
    }
    return images;
}

QString TMainForm::RowPath(const QListWidgetItem& row) {
    const QVariant sheet = row.data(SheetRole);
    return sheet.isValid() ? sheet.toString() : row.text();
}

void TMainForm::AddRowSource(const QListWidgetItem& row) {
    const QVariant sheet = row.data(SheetRole);
    if (!sheet.isValid()) {
        mp4->AddSrcFile(row.text().toStdString());
    } else if (!mp4->AddCueTrack(sheet.toString().toStdString(), row.data(TrackRole).toInt())) {
        ui->memError->appendPlainText(Text(mp4->SheetError));
    }
}

bool TMainForm::CombineChosen() const {
    return ui->rdgrpConvert->ItemIndex() == ConvertCombined;
}

int TMainForm::CueRowAt(QPoint at) const {
    QListWidgetItem* item = ui->lbxCueList->itemAt(at);
    return item ? ui->lbxCueList->row(item) : -1;
}

void TMainForm::lbxCueListMouseDown(Qt::MouseButton button, QPoint at) {
    if (Busy || button != Qt::LeftButton)
        return;
    DragFromIndex = CueRowAt(at);
    if (DragFromIndex >= 0)
        DragText = ui->lbxCueList->item(DragFromIndex)->text();
}

void TMainForm::lbxCueListMouseUp(Qt::MouseButton button, QPoint at) {
    if (Busy)
        return;
    QListWidget& list = *ui->lbxCueList;
    if (button == Qt::LeftButton) {
        const int target = CueRowAt(at);
        const int from = DragFromIndex;
        // One press moves one row once; a release without a press of its own moves nothing.
        DragFromIndex = -1;
        if (target < 0 || from < 0 || from >= list.count())
            return;
        // The row moves whole: a track row carries its sheet and number.
        if (target < from) {
            list.insertItem(target, list.item(from)->clone());
            delete list.takeItem(from + 1);
        } else if (target > from) {
            list.insertItem(target + 1, list.item(from)->clone());
            delete list.takeItem(from);
        }
        list.setCurrentRow(target);
    } else if (button == Qt::RightButton) {
        const int row = CueRowAt(at);
        if (row < 0) {
            list.clearSelection();
            list.setCurrentRow(-1);
        } else {
            list.setCurrentRow(row);
            if (Dialogs.Confirm(this, AtWindow(76, 148),
                                "Delete:  \"" + list.item(row)->text() + "\"  ?"))
                delete list.takeItem(row);
        }
        if (list.count() == 0) {
            ui->btnClearCue->setEnabled(true);
            ui->btnConvert->setEnabled(false);
        }
    }
}

void TMainForm::btnClearCueClick() {
    ui->lbxCueList->clear();
}

namespace {

bool OnSomeScreen(const QRect& area) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(),
                       [&](const QScreen* screen) { return screen->geometry().intersects(area); });
}

} // namespace

void TMainForm::BuildCodePageMenu() {
    static const std::map<int, const char*> Scripts = {{1250, "Central European"},
                                                       {1251, "Cyrillic"},
                                                       {1252, "Western"},
                                                       {1253, "Greek"},
                                                       {1254, "Turkish"},
                                                       {1255, "Hebrew"},
                                                       {1256, "Arabic"},
                                                       {1257, "Baltic"},
                                                       {1258, "Vietnamese"},
                                                       {874, "Thai"},
                                                       {932, "Japanese"},
                                                       {936, "Simplified Chinese"},
                                                       {949, "Korean"},
                                                       {950, "Traditional Chinese"}};
    const auto name = [](int codePage) {
        return "Windows-" + QString::number(codePage) + " (" + Scripts.at(codePage) + ")";
    };
    auto* menu = new QMenu("Code Page", ui->mnuMain);
    menu->setObjectName("mnuCodePage");
    auto* group = new QActionGroup(menu);
    std::vector<int> choices = {0};
    choices.insert(choices.end(), platform::ChoosableCodePages.begin(),
                   platform::ChoosableCodePages.end());
    for (const int codePage : choices) {
        QAction* action = menu->addAction(
            codePage == 0 ? "Automatic (the locale's: " + name(platform::SystemCodePage()) + ")"
                          : name(codePage));
        action->setCheckable(true);
        action->setData(codePage);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, codePage] { SelectCodePage(codePage); });
        if (codePage == 0)
            menu->addSeparator();
    }
    ui->mnuMain->insertMenu(ui->mnuAbout, menu);
    SelectCodePage(0);
}

void TMainForm::SelectCodePage(int codePage) {
    CodePage = codePage;
    mp4->CodePage = codePage;
    // The job keeps each sheet as first read; the next drop reads it in the new code page, and
    // the run adds the cue list's rows again anyway.
    mp4->ClearAll();
    for (QAction* action : findChild<QMenu*>("mnuCodePage")->actions())
        if (action->isCheckable())
            action->setChecked(action->data().toInt() == codePage);
}

void TMainForm::ReadFromRegistry() {
    const std::unique_ptr<QSettings> settings = regformat::OpenUserSettings();
    settings->beginGroup(QString(RegistryKey).replace('\\', '/'));
    const TSettings read = TSettings::Read(*settings);
    ui->chbxVerify->setChecked(read.Verify);
    ui->chbxUpdates->setChecked(read.Update);
    ui->chbxNameIsTag->setChecked(read.NameTitle);
    ui->chbxHint->setChecked(read.Hints);
    ui->rdgrpConvert->SetItemIndex(read.Combine);
    ui->lbxRate->setCurrentRow(read.Rate);
    FilterIndex = read.FilterIndex;
    const QPoint stored(read.Left, read.Top);
    const TSettings defaults;
    move(OnSomeScreen(QRect(stored, frameGeometry().size())) ? stored
                                                             : QPoint(defaults.Left, defaults.Top));
    RateButton = read.RateButton;
    ui->chbxOnTop->setChecked(read.OnTop);
    ui->chbxExitDone->setChecked(read.ExitWhenDone);
    // Checking one radio button unchecks the other.
    (read.FromSource ? ui->rdbtnSource : ui->rdbtnSelect)->setChecked(true);
    StoredDay = read.Day;
    ui->ediQuality->setText(read.Quality);
    ui->ediFreeBitrate->setText(read.FreeBitrate);
    SelectBitrateButton(RateButton);
    SelectCodePage(read.CodePage);
}

void TMainForm::SaveToRegistry() {
    const std::unique_ptr<QSettings> settings = regformat::OpenUserSettings();
    settings->beginGroup(QString(RegistryKey).replace('\\', '/'));
    TSettings kept;
    kept.Verify = ui->chbxVerify->isChecked();
    kept.Update = ui->chbxUpdates->isChecked();
    kept.NameTitle = ui->chbxNameIsTag->isChecked();
    kept.Hints = ui->chbxHint->isChecked();
    kept.OnTop = ui->chbxOnTop->isChecked();
    kept.ExitWhenDone = ui->chbxExitDone->isChecked();
    kept.FromSource = ui->rdbtnSource->isChecked();
    kept.Combine = ui->rdgrpConvert->ItemIndex();
    kept.Rate = ui->lbxRate->currentRow();
    kept.FilterIndex = FilterIndex;
    kept.Top = pos().y();
    kept.Left = pos().x();
    kept.RateButton = RateButton;
    kept.CodePage = CodePage;
    kept.Day = TodayText;
    kept.Quality = ui->ediQuality->text();
    kept.FreeBitrate = ui->ediFreeBitrate->text();
    kept.Write(*settings);
    settings->endGroup();
    // The store is replaced as a whole, so a failed write leaves the last saved settings intact.
    settings->sync();
    if (regformat::Saved(*settings) || SaveFailureShown)
        return;
    SaveFailureShown = true;
    Dialogs.Error(this, std::nullopt,
                  "The settings could not be saved to " + settings->fileName() + ".");
}

void TMainForm::CheckApplVersion() {
    TraceLine("B-begin-CheckApplVersion");
    TodayText = QString::number(Today());
    if (update::CheckDue(TodayText.toStdString(), StoredDay.toStdString()) &&
        ui->chbxUpdates->isChecked()) {
        // The day counts as checked before anything is fetched, so a dead server costs one wait
        // a day.
        StoredDay = TodayText;
        SaveToRegistry();
        const update::TPublishedVersion published =
            update::FetchPublishedVersion(Vers.GetFileVersion(), Vers.GetProductVersion());
        UpdateKind = published.Kind;
        // A failed fetch is silent.
        if (UpdateKind != updatekind::Unknown) {
            NewFileVersion = Text(published.FileVersion);
            const QString message =
                UpdateKind == updatekind::Major   ? "Major update " + NewFileVersion + " available"
                : UpdateKind == updatekind::Minor ? "Minor update " + NewFileVersion + " available"
                                                  : QString("No update available");
            Dialogs.Information(this, AtWindow(220, 140), "Information", message);
        }
    }
    TraceLine("B-end-CheckApplVersion");
}
