#include "app/QtDialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

int ShowBox(QWidget* owner, std::optional<QPoint> at, QMessageBox::Icon icon, const QString& title,
            const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, title, text, buttons, owner);
    // A box that was moved keeps its place; otherwise Qt centres it on the owner.
    if (at)
        box.move(*at);
    return box.exec();
}

} // namespace

bool TQtDialogs::Confirm(QWidget* owner, QPoint at, const QString& text) {
    return ShowBox(owner, at, QMessageBox::Question, QObject::tr("Confirm"), text,
                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TQtDialogs::Error(QWidget* owner, std::optional<QPoint> at, const QString& text) {
    ShowBox(owner, at, QMessageBox::Critical, QObject::tr("Error"), text, QMessageBox::Ok);
}

void TQtDialogs::Information(QWidget* owner, std::optional<QPoint> at, const QString& title,
                             const QString& text) {
    ShowBox(owner, at, QMessageBox::Information, title, text, QMessageBox::Ok);
}

std::optional<TSaveChoice> TQtDialogs::SaveFile(QWidget* owner, const TSaveRequest& request) {
    QFileDialog dialog(owner, request.Title, request.Folder);
    // Qt's own dialog behaves the same on every desktop; the program never overwrites, so the
    // overwrite question would only confuse.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.Filters);
    if (request.FilterIndex >= 1 && request.FilterIndex <= request.Filters.size())
        dialog.selectNameFilter(request.Filters[request.FilterIndex - 1]);
    dialog.selectFile(request.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return TSaveChoice{dialog.selectedFiles().front(),
                       static_cast<int>(request.Filters.indexOf(dialog.selectedNameFilter())) + 1};
}
