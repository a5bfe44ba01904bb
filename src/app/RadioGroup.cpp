#include "app/RadioGroup.h"

#include <QRadioButton>

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent) {}

QList<QRadioButton*> TRadioGroup::Items() const {
    return findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
}

int TRadioGroup::ItemIndex() const {
    const QList<QRadioButton*> items = Items();
    for (int i = 0; i < items.size(); ++i) {
        if (items[i]->isChecked())
            return i;
    }
    return -1;
}

void TRadioGroup::SetItemIndex(int index) {
    const QList<QRadioButton*> items = Items();
    if (index >= 0 && index < items.size())
        items[index]->setChecked(true);
}
