#pragma once
// Day numbers and time values: the program's two numbers for a calendar date and a time of day, as
// they are stored in LONG fields (HIS:DATE, HIS:TIME) and shown through the date and time pictures.
//
// A day number counts days with 4 = 1 January 1801 (so 36527 is 31 December 1900 and 36528 is
// 1 January 1901). The count follows the Gregorian calendar: every fourth year is a leap year, except
// the century years not divisible by 400 (1900, 2100, 2200 ...). For 1801 to 2099 this is the same
// as "every fourth year except 1900"; we keep the true calendar beyond 2099 so that dates after
// February 2100 stay right. Valid day numbers run from 4 (1 January 1801) to 2994626 (31 December
// 9999); 0 means "no date", and anything else outside that range is not a date.
//
// A time value is hundredths of a second since midnight plus one: 1 is midnight, 8640000 is the last
// hundredth of the day, 0 means "no time"; any value outside 1..8640000 is not a time.
//
// Two-digit years are taken into a sliding century window: the year lies in the 100 years from 80
// years before the reference year up to 19 years after it. The reference year is the current year
// unless a caller (a test) pins it.
//
// Callers: any layer. Everything here is a pure function of its arguments except today(), clock()
// and the current year.

#include <cstdint>

namespace sitedex::runtime {

struct CalendarDate {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
};

struct ClockTime {
    int hour = 0;        // 0..23
    int minute = 0;      // 0..59
    int second = 0;      // 0..59
    int hundredths = 0;  // 0..99
};

constexpr std::int64_t kFirstDayNumber = 4;       // 1 January 1801
constexpr std::int64_t kLastDayNumber = 2994626;  // 31 December 9999
constexpr std::int64_t kLastTimeValue = 8640000;  // 23:59:59.99

bool isLeapYear(int year);
int daysInMonth(int year, int month);

// Day number of a calendar date; 0 when the date is not a valid date between 1801 and 9999.
std::int64_t dayNumber(int year, int month, int day);

// Calendar date of a day number; false (and the output untouched) for 0 and numbers out of range.
bool calendarDate(std::int64_t dayNumber, CalendarDate& out);

// Day number from month, day and year with the carrying of the runtime's DATE function: a month
// beyond 12 or below 1 moves into the following or previous years, and the day is counted on from
// the first of that month (day 0 is the last day of the month before). Two-digit years (0..99) go
// through the century window. 0 when the result is outside the valid day numbers.
std::int64_t dateFromParts(std::int64_t month, std::int64_t day, std::int64_t year);

// 0 = Sunday ... 6 = Saturday; -1 for an invalid day number.
int weekday(std::int64_t dayNumber);

bool isTimeValue(std::int64_t value);
std::int64_t timeValue(int hour, int minute, int second, int hundredths = 0);
// False (and the output untouched) for values that are not a time.
bool clockTime(std::int64_t value, ClockTime& out);

// The two-digit year 0..99 taken into the century window.
int expandTwoDigitYear(int year);

// The reference year of the century window: the current year, or the pinned one. Pinning 0 unpins.
int centuryReferenceYear();
void pinCenturyReferenceYear(int year);

// Today's day number and the time value of now, both in local time.
std::int64_t today();
std::int64_t clockNow();

}  // namespace sitedex::runtime
