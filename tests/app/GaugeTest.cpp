#include "app/Gauge.h"

#include <gtest/gtest.h>

TEST(Gauge, KeepsThePositionInsideTheRange) {
    TCGauge gauge;
    gauge.SetMaxValue(733);
    gauge.SetProgress(900);
    EXPECT_EQ(gauge.Progress(), 733);
    gauge.SetProgress(-5);
    EXPECT_EQ(gauge.Progress(), 0);
    gauge.SetProgress(500);
    gauge.SetMaxValue(100);
    EXPECT_EQ(gauge.Progress(), 100);
    gauge.SetMaxValue(-3);
    EXPECT_EQ(gauge.MaxValue(), 0);
    EXPECT_EQ(gauge.Progress(), 0);
    EXPECT_EQ(gauge.PercentDone(), 0);
}

TEST(Gauge, PercentIsTheWholePercentOfTheRange) {
    TCGauge gauge;
    gauge.SetMaxValue(733);
    gauge.SetProgress(366);
    EXPECT_EQ(gauge.PercentDone(), 49);
    gauge.SetProgress(733);
    EXPECT_EQ(gauge.PercentDone(), 100);
}

// The bar covers its share of the width in its colour; disabled, it loses the colour.
TEST(Gauge, DrawsTheBarInItsColourAndGreysItWhenDisabled) {
    TCGauge gauge;
    gauge.resize(200, 13);
    gauge.SetBackColor(Qt::white);
    gauge.SetForeColor(QColor(166, 124, 82));
    gauge.SetMaxValue(200);
    gauge.SetProgress(100);
    gauge.SetShowText(false);
    QImage image = gauge.grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 6), QColor(166, 124, 82));
    EXPECT_EQ(image.pixelColor(190, 6), QColor(Qt::white));
    gauge.setEnabled(false);
    image = gauge.grab().toImage();
    EXPECT_NE(image.pixelColor(10, 6), QColor(166, 124, 82));
    EXPECT_EQ(image.pixelColor(190, 6), QColor(Qt::white));
}
