#include "runtime/dates.h"

#include <gtest/gtest.h>

namespace sitedex::runtime {
namespace {

// The day-number rule as the data files have always used it, written out step by step: it is the
// reference our calendar arithmetic must agree with for every day it covers (1801 to 2099).
CalendarDate classicDate(std::int64_t n) {
    n -= n > 36527 ? 3 : 4;
    int year = int(n / 1461) * 4 + 1801;
    int rem = int(n % 1461);
    if (rem == 1460)
        return {year + 3, 12, 31};
    year += rem / 365;
    int doy = rem % 365;
    bool leap = year % 4 == 0 && year != 1900;
    const int lengths[12] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    while (doy >= lengths[month])
        doy -= lengths[month++];
    return {year, month + 1, doy + 1};
}

std::int64_t classicDayNumber(int year, int month, int day) {
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    std::int64_t n = std::int64_t(year - 1801) * 1461 / 4 + before[month - 1] + day + 3;
    if (year > 1900)
        n -= 1;
    if (month > 2 && year % 4 == 0 && year != 1900)
        n += 1;
    return n;
}

TEST(DayNumbers, AgreeWithTheClassicRuleFrom1801To2099) {
    const std::int64_t lastClassic = dayNumber(2100, 2, 28);
    ASSERT_EQ(lastClassic, 109270);
    for (std::int64_t n = 4; n <= lastClassic; ++n) {
        CalendarDate ours;
        ASSERT_TRUE(calendarDate(n, ours)) << n;
        CalendarDate ref = classicDate(n);
        ASSERT_TRUE(ours.year == ref.year && ours.month == ref.month && ours.day == ref.day)
            << n << ": " << ours.year << "-" << ours.month << "-" << ours.day << " vs " << ref.year << "-" << ref.month
            << "-" << ref.day;
        ASSERT_EQ(classicDayNumber(ref.year, ref.month, ref.day), n);
        ASSERT_EQ(dayNumber(ref.year, ref.month, ref.day), n);
    }
}

TEST(DayNumbers, LandmarksAndLimits) {
    struct Case {
        std::int64_t n;
        int y, m, d;
    } cases[] = {
        {4, 1801, 1, 1},      {36527, 1900, 12, 31}, {36528, 1901, 1, 1},     {72687, 2000, 1, 1},
        {81512, 2024, 2, 29}, {109271, 2100, 3, 1},  {2994626, 9999, 12, 31},
    };
    for (const Case& c : cases) {
        CalendarDate d;
        ASSERT_TRUE(calendarDate(c.n, d)) << c.n;
        EXPECT_EQ(d.year, c.y) << c.n;
        EXPECT_EQ(d.month, c.m) << c.n;
        EXPECT_EQ(d.day, c.d) << c.n;
        EXPECT_EQ(dayNumber(c.y, c.m, c.d), c.n);
    }
    CalendarDate untouched{7, 7, 7};
    for (std::int64_t bad : {std::int64_t(0), std::int64_t(3), std::int64_t(-5), kLastDayNumber + 1})
        EXPECT_FALSE(calendarDate(bad, untouched)) << bad;
    EXPECT_EQ(untouched.year, 7);
    // 1900 and 2100 have no 29 February; 2000 has one.
    EXPECT_EQ(dayNumber(1900, 2, 29), 0);
    EXPECT_EQ(dayNumber(2100, 2, 29), 0);
    EXPECT_NE(dayNumber(2000, 2, 29), 0);
    EXPECT_EQ(dayNumber(2023, 13, 1), 0);
    EXPECT_EQ(dayNumber(2023, 4, 31), 0);
    EXPECT_EQ(dayNumber(1800, 12, 31), 0);
    EXPECT_EQ(weekday(4), 4);      // a Thursday
    EXPECT_EQ(weekday(72687), 6);  // 1 January 2000, a Saturday
}

TEST(DayNumbers, DateFromPartsCarriesMonthsAndDaysAndWindowsShortYears) {
    pinCenturyReferenceYear(2026);  // window 1946 .. 2045
    EXPECT_EQ(dateFromParts(13, 1, 2000), dayNumber(2001, 1, 1));
    EXPECT_EQ(dateFromParts(0, 1, 2000), dayNumber(1999, 12, 1));
    EXPECT_EQ(dateFromParts(-11, 1, 2000), dayNumber(1999, 1, 1));
    EXPECT_EQ(dateFromParts(3, 0, 2024), dayNumber(2024, 2, 29));
    EXPECT_EQ(dateFromParts(2, 30, 2023), dayNumber(2023, 3, 2));
    EXPECT_EQ(dateFromParts(9, 5, 26), dayNumber(2026, 9, 5));
    EXPECT_EQ(dateFromParts(9, 5, 45), dayNumber(2045, 9, 5));
    EXPECT_EQ(dateFromParts(9, 5, 46), dayNumber(1946, 9, 5));
    EXPECT_EQ(dateFromParts(1, 1, 1700), 0);
    EXPECT_EQ(dateFromParts(1, 1, 10000), 0);
    EXPECT_EQ(dateFromParts(1, -5000000, 2000), 0);
    pinCenturyReferenceYear(0);
}

TEST(TimeValues, MidnightLastHundredthAndOutOfRange) {
    ClockTime t;
    ASSERT_TRUE(clockTime(1, t));
    EXPECT_EQ(t.hour + t.minute + t.second + t.hundredths, 0);
    ASSERT_TRUE(clockTime(8640000, t));
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 59);
    EXPECT_EQ(t.second, 59);
    EXPECT_EQ(t.hundredths, 99);
    EXPECT_EQ(timeValue(23, 59, 59, 99), 8640000);
    EXPECT_EQ(timeValue(13, 5, 0), 13 * 360000 + 5 * 6000 + 1);
    EXPECT_FALSE(clockTime(0, t));
    EXPECT_FALSE(clockTime(8640001, t));
    EXPECT_FALSE(clockTime(-1, t));
    EXPECT_TRUE(isTimeValue(clockNow()));
    EXPECT_GT(today(), dayNumber(2020, 1, 1));
}

}  // namespace
}  // namespace sitedex::runtime
