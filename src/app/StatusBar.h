#pragma once

#include <QFrame>
#include <array>

class QLabel;

// A status line of two panels: a short label (64 pixels) and a long text (630 pixels).
class TStatusBar : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString panel0 READ Panel0 WRITE SetPanel0)
    Q_PROPERTY(QString panel1 READ Panel1 WRITE SetPanel1)

public:
    explicit TStatusBar(QWidget* parent = nullptr);

    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    QString Panel0() const { return PanelText(0); }
    QString Panel1() const { return PanelText(1); }
    void SetPanel0(const QString& text) { SetPanelText(0, text); }
    void SetPanel1(const QString& text) { SetPanelText(1, text); }

private:
    std::array<QLabel*, 2> Panels;
    std::array<QString, 2> Texts;
};
