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
        Panels[i]->setTextFormat(Qt::PlainText);
        Panels[i]->setFrameShape(QFrame::Panel);
        Panels[i]->setFrameShadow(QFrame::Sunken);
        Panels[i]->setFixedWidth(widths[i]);
        layout->addWidget(Panels[i]);
    }
    layout->addStretch();
}

QString TStatusBar::PanelText(int index) const {
    return Texts.at(index);
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    // A panel is one line high: a second line would be cut at the top and the bottom.
    Texts.at(index) = text;
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    Panels.at(index)->setText(line);
}
