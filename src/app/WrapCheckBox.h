#pragma once

#include <QCheckBox>

// A check box whose caption wraps onto further lines within its width, as Qt's own never does.
class TWrapCheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit TWrapCheckBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
