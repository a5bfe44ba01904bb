#pragma once

#include <QTabBar>
#include <QTabWidget>
#include <functional>

class TPageControl;

// Tabs of one fixed size, painted by the page control's owner.
class TOwnerTabBar : public QTabBar {
    Q_OBJECT

public:
    using TDrawTab =
        std::function<void(QPainter& painter, int index, const QRect& rect, bool active)>;

    explicit TOwnerTabBar(QWidget* parent = nullptr);

    void SetTabWidth(int width);
    int TabWidth() const { return Width; }
    void SetTabHeight(int height);
    TDrawTab DrawTab;

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent* event) override;

private:
    void Relayout();

    int Width = 100;
    int Height = 20;
};

// A tab widget with owner-drawn tabs.
class TPageControl : public QTabWidget {
    Q_OBJECT

public:
    explicit TPageControl(QWidget* parent = nullptr);

    TOwnerTabBar& Tabs() { return *Bar; }

private:
    TOwnerTabBar* Bar;
};
