#include "app/Gauge.h"

#include <QPainter>
#include <algorithm>

TCGauge::TCGauge(QWidget* parent) : QWidget(parent), Back(palette().color(QPalette::Window)) {}

void TCGauge::SetForeColor(const QColor& color) {
    Fore = color;
    update();
}

void TCGauge::SetBackColor(const QColor& color) {
    Back = color;
    update();
}

void TCGauge::SetProgress(int position) {
    Position = std::clamp(position, MinValue(), Maximum);
    update();
}

void TCGauge::SetMaxValue(int maximum) {
    Maximum = std::max(maximum, MinValue());
    SetProgress(Position);
}

void TCGauge::SetShowText(bool show) {
    Text = show;
    update();
}

int TCGauge::PercentDone() const {
    const int range = Maximum - MinValue();
    return range > 0 ? static_cast<int>((Position - MinValue()) * 100LL / range) : 0;
}

void TCGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool enabled = isEnabled();
    // Disabled, the bar keeps its extent but loses its colour.
    const QColor bar = enabled ? Fore : palette().color(QPalette::Disabled, QPalette::Mid);
    painter.fillRect(rect(), Back);
    const int range = Maximum - MinValue();
    const int done =
        range > 0
            ? static_cast<int>(static_cast<long long>(width()) * (Position - MinValue()) / range)
            : 0;
    painter.fillRect(QRect(0, 0, done, height()), bar);
    if (Text) {
        painter.setPen(enabled ? palette().color(QPalette::WindowText)
                               : palette().color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignCenter, QString::number(PercentDone()) + "%");
    }
}
