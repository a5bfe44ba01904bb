#pragma once

#include <QColor>
#include <QWidget>

// A horizontal progress bar that draws itself: bar and background colour, a range from 0 to
// MaxValue, a position kept inside it and an optional centred percentage.
class TCGauge : public QWidget {
    Q_OBJECT

public:
    explicit TCGauge(QWidget* parent = nullptr);

    void SetForeColor(const QColor& color);
    QColor ForeColor() const { return Fore; }
    void SetBackColor(const QColor& color);
    QColor BackColor() const { return Back; }
    void SetProgress(int position);
    int Progress() const { return Position; }
    // The position is pulled down to a smaller maximum.
    void SetMaxValue(int maximum);
    int MaxValue() const { return Maximum; }
    int MinValue() const { return 0; }
    void SetShowText(bool show);
    bool ShowText() const { return Text; }
    // Whole percent of the position within the range.
    int PercentDone() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor Fore = Qt::black;
    QColor Back;
    int Position = 0;
    int Maximum = 100;
    bool Text = true;
};
