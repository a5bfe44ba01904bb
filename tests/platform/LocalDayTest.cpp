#include "platform/LocalDay.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

std::time_t LocalTime(int year, int month, int day, int hour, int minute = 0) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// The day follows the local date, so it is tested in a zone far from UTC.
class LocalDay : public testing::Test {
protected:
    std::string OldZone;
    bool HadZone = false;

    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) {
            HadZone = true;
            OldZone = zone;
        }
        setenv("TZ", "Pacific/Kiritimati", 1);
        tzset();
    }
    void TearDown() override {
        if (HadZone)
            setenv("TZ", OldZone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
};

} // namespace

TEST_F(LocalDay, CountsFromTheThirtiethOfDecember1899) {
    EXPECT_EQ(platform::LocalDay(LocalTime(1899, 12, 30, 12)), 0);
    EXPECT_EQ(platform::LocalDay(LocalTime(1900, 1, 1, 12)), 2);
    EXPECT_EQ(platform::LocalDay(LocalTime(1970, 1, 1, 12)), 25569);
    EXPECT_EQ(platform::LocalDay(LocalTime(2000, 3, 1, 12)), 36586);
    EXPECT_EQ(platform::LocalDay(LocalTime(2026, 12, 9, 12)), 46365);
}

TEST_F(LocalDay, ChangesAtLocalMidnight) {
    EXPECT_EQ(platform::LocalDay(LocalTime(2026, 12, 9, 0, 0)), 46365);
    EXPECT_EQ(platform::LocalDay(LocalTime(2026, 12, 9, 23, 59)), 46365);
    EXPECT_EQ(platform::LocalDay(LocalTime(2026, 12, 10, 0, 0)), 46366);
    EXPECT_EQ(platform::LocalDay(), platform::LocalDay(std::time(nullptr)));
}
