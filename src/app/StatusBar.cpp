#include "app/StatusBar.h"

#include <QHBoxLayout>
#include <QLabel>

TStatusBar::TStatusBar(QWidget* parent) : QFrame(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    const int widths[] = {64, 630};
    for (int i = 0; i < 2; ++i) {
        Panels[i] = new QLabel(this);
        Panels[i]->setObjectName(QString("panel%1").arg(i));
        Panels[i]->setFrameShape(QFrame::Panel);
        Panels[i]->setFrameShadow(QFrame::Sunken);
        Panels[i]->setFixedWidth(widths[i]);
        layout->addWidget(Panels[i]);
    }
    layout->addStretch();
}

QString TStatusBar::PanelText(int index) const {
    return Panels.at(index)->text();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    Panels.at(index)->setText(text);
}
