#include "app/WrapCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

TWrapCheckBox::TWrapCheckBox(QWidget* parent) : QCheckBox(parent) {}

void TWrapCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    // The style draws the box and the focus frame; the caption is drawn here, wrapped.
    option.text.clear();
    painter.drawControl(QStyle::CE_CheckBox, option);
    const QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    QRect label = rect();
    label.setLeft(box.right() + 1 +
                  style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this));
    painter.drawItemText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, palette(),
                         isEnabled(), caption, QPalette::WindowText);
}
