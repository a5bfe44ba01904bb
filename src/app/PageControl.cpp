#include "app/PageControl.h"

#include <QPainter>

TOwnerTabBar::TOwnerTabBar(QWidget* parent) : QTabBar(parent) {
    setExpanding(false);
    setUsesScrollButtons(false);
    setDrawBase(false);
}

void TOwnerTabBar::SetTabWidth(int width) {
    Width = width;
    Relayout();
}

void TOwnerTabBar::SetTabHeight(int height) {
    Height = height;
    Relayout();
}

void TOwnerTabBar::Relayout() {
    // The tab bar lays its tabs out again only when it thinks their content changed; setting the
    // icon size is the cheapest change that makes it ask for the sizes again.
    setIconSize(iconSize());
    updateGeometry();
    update();
}

QSize TOwnerTabBar::tabSizeHint(int) const {
    return QSize(Width, Height);
}

void TOwnerTabBar::paintEvent(QPaintEvent* event) {
    if (!DrawTab) {
        QTabBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    for (int i = 0; i < count(); ++i) {
        if (isTabVisible(i))
            DrawTab(painter, i, tabRect(i), i == currentIndex());
    }
}

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent), Bar(new TOwnerTabBar(this)) {
    setTabBar(Bar);
}
