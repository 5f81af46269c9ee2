#include "runtime/dates.h"

#include <ctime>

namespace sitedex::runtime {

namespace {

// Days since 1 March of year 0 of the proleptic Gregorian calendar (Howard Hinnant's civil-day
// arithmetic): exact for every year we accept, with no table and no loop.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void civilFromDays(std::int64_t z, CalendarDate& out) {
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    out.year = int(yoe + era * 400 + (m <= 2));
    out.month = m;
    out.day = d;
}

const std::int64_t kCivilOfDayZero = daysFromCivil(1801, 1, 1) - 4;

int g_pinnedYear = 0;

std::tm localNow() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return parts;
}

}  // namespace

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static const int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : kLengths[month - 1];
}

std::int64_t dayNumber(int year, int month, int day) {
    if (year < 1801 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return 0;
    const std::int64_t n = daysFromCivil(year, month, day) - kCivilOfDayZero;
    return n >= kFirstDayNumber && n <= kLastDayNumber ? n : 0;
}

bool calendarDate(std::int64_t n, CalendarDate& out) {
    if (n < kFirstDayNumber || n > kLastDayNumber)
        return false;
    civilFromDays(n + kCivilOfDayZero, out);
    return true;
}

std::int64_t dateFromParts(std::int64_t month, std::int64_t day, std::int64_t year) {
    // Keep every intermediate far from overflow: nothing valid lies beyond these bounds anyway.
    if (year < 0 || year > 9999 || month < -120000 || month > 120000 || day < -4000000 || day > 4000000)
        return 0;
    if (year < 100)
        year = expandTwoDigitYear(int(year));
    std::int64_t m0 = month - 1;
    year += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
    m0 -= (m0 >= 0 ? m0 / 12 : -((11 - m0) / 12)) * 12;
    if (year < 1 || year > 9999)
        return 0;
    const std::int64_t n = daysFromCivil(year, int(m0 + 1), 1) - kCivilOfDayZero + (day - 1);
    return n >= kFirstDayNumber && n <= kLastDayNumber ? n : 0;
}

int weekday(std::int64_t n) {
    if (n < kFirstDayNumber || n > kLastDayNumber)
        return -1;
    // Day 4 (1 January 1801) was a Thursday.
    return int(((n - 4) % 7 + 7 + 4) % 7);
}

bool isTimeValue(std::int64_t value) {
    return value >= 1 && value <= kLastTimeValue;
}

std::int64_t timeValue(int hour, int minute, int second, int hundredths) {
    return std::int64_t(hour) * 360000 + minute * 6000 + second * 100 + hundredths + 1;
}

bool clockTime(std::int64_t value, ClockTime& out) {
    if (!isTimeValue(value))
        return false;
    std::int64_t t = value - 1;
    out.hour = int(t / 360000);
    t %= 360000;
    out.minute = int(t / 6000);
    t %= 6000;
    out.second = int(t / 100);
    out.hundredths = int(t % 100);
    return true;
}

int centuryReferenceYear() {
    if (g_pinnedYear)
        return g_pinnedYear;
    return localNow().tm_year + 1900;
}

void pinCenturyReferenceYear(int year) {
    g_pinnedYear = year;
}

int expandTwoDigitYear(int year) {
    const int low = centuryReferenceYear() - 80;  // window: low .. low + 99
    int full = low - low % 100 + year;
    if (full < low)
        full += 100;
    return full;
}

std::int64_t today() {
    const std::tm t = localNow();
    return dayNumber(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
}

std::int64_t clockNow() {
    std::timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t{};
    localtime_r(&ts.tv_sec, &t);
    const int sec = t.tm_sec > 59 ? 59 : t.tm_sec;  // a leap second shows as the last second
    return timeValue(t.tm_hour, t.tm_min, sec, int(ts.tv_nsec / 10000000));
}

}  // namespace sitedex::runtime
