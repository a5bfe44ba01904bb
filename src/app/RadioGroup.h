#pragma once

#include <QGroupBox>
#include <QList>

class QRadioButton;

// A group box whose radio buttons are its items, counted in the order they were made.
class TRadioGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    // -1 when no item is checked.
    int ItemIndex() const;
    void SetItemIndex(int index);
    QList<QRadioButton*> Items() const;
};
