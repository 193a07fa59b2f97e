// Spreadsheet date serials: the 1900 leap-year quirk, round trips over the
// whole range, time fractions and rounding, and clamping of absurd serials.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sheets/sheet_dates.h"

namespace tabrelium {
namespace {

struct DateTime {
  int y, m, d, h, min, s;
  bool operator==(const DateTime&) const = default;
};

DateTime ToDate(double serial) {
  DateTime t{};
  SerialToDate(serial, t.y, t.m, t.d, t.h, t.min, t.s);
  return t;
}

void PrintTo(const DateTime& t, std::ostream* os) {
  *os << t.y << '-' << t.m << '-' << t.d << ' ' << t.h << ':' << t.min << ':' << t.s;
}

TEST(SheetDates, SerialsAroundThe1900LeapYearQuirk) {
  EXPECT_EQ(DateSerial(1899, 12, 31), 0);
  EXPECT_EQ(DateSerial(1900, 1, 1), 1);
  EXPECT_EQ(DateSerial(1900, 2, 28), 59);
  EXPECT_EQ(DateSerial(1900, 2, 29), 60);  // the day spreadsheets invent
  EXPECT_EQ(DateSerial(1900, 3, 1), 61);
  EXPECT_EQ(DateSerial(2026, 12, 9), 46365);
  EXPECT_EQ(DateSerial(9999, 12, 31), 2958465);

  EXPECT_EQ(ToDate(1), (DateTime{1900, 1, 1, 0, 0, 0}));
  EXPECT_EQ(ToDate(59), (DateTime{1900, 2, 28, 0, 0, 0}));
  EXPECT_EQ(ToDate(60), (DateTime{1900, 2, 29, 0, 0, 0}));
  EXPECT_EQ(ToDate(61), (DateTime{1900, 3, 1, 0, 0, 0}));
  EXPECT_EQ(ToDate(0), (DateTime{1899, 12, 31, 0, 0, 0}));
  EXPECT_EQ(ToDate(-1), (DateTime{1899, 12, 30, 0, 0, 0}));
}

TEST(SheetDates, EveryDayRoundTripsAndFollowsThePreviousOne) {
  DateTime previous = ToDate(DateSerial(1, 1, 1));
  EXPECT_EQ(previous, (DateTime{1, 1, 1, 0, 0, 0}));
  for (double serial = DateSerial(1, 1, 1) + 1; serial <= DateSerial(9999, 12, 31); ++serial) {
    const DateTime t = ToDate(serial);
    ASSERT_EQ(DateSerial(t.y, t.m, t.d), serial);
    ASSERT_EQ(t.h + t.min + t.s, 0);
    const bool nextDay = (t.d == previous.d + 1 && t.m == previous.m && t.y == previous.y) ||
                         (t.d == 1 && t.m == previous.m + 1 && t.y == previous.y) ||
                         (t.d == 1 && t.m == 1 && previous.m == 12 && t.y == previous.y + 1);
    ASSERT_TRUE(nextDay) << serial;
    ASSERT_TRUE(IsCalendarDate(t.y, t.m, t.d) || serial == 60) << serial;
    previous = t;
  }
}

TEST(SheetDates, DaysBeyondTheMonthRunIntoTheNext) {
  EXPECT_EQ(DateSerial(2026, 2, 30), DateSerial(2026, 3, 2));
  EXPECT_EQ(DateSerial(2026, 13, 1), DateSerial(2027, 1, 1));
  EXPECT_EQ(DateSerial(2026, 0, 1), DateSerial(2025, 12, 1));
  EXPECT_EQ(DateSerial(1900, 2, 30), 61);  // February 1900 has 29 days here
  EXPECT_EQ(DateSerial(1900, 1, 60), 60);
  EXPECT_EQ(DateSerial(1900, 1, 0), 0);
  EXPECT_EQ(DateSerial(1899, 12, 31), 0);
}

TEST(SheetDates, TimeFractionsAndRoundingToTheSecond) {
  EXPECT_EQ(TimeFraction(12, 0, 0), 0.5);
  EXPECT_EQ(TimeFraction(0, 0, 0), 0);
  EXPECT_DOUBLE_EQ(TimeFraction(23, 59, 59), 86399.0 / 86400);

  const double serial = DateSerial(2026, 12, 9);
  EXPECT_EQ(ToDate(serial + TimeFraction(8, 5, 0)), (DateTime{2026, 12, 9, 8, 5, 0}));
  EXPECT_EQ(ToDate(serial + TimeFraction(23, 59, 59)), (DateTime{2026, 12, 9, 23, 59, 59}));
  // 0.4 s before midnight rounds into the next day.
  EXPECT_EQ(ToDate(serial + 1 - 0.4 / 86400), (DateTime{2026, 12, 10, 0, 0, 0}));
  EXPECT_EQ(ToDate(serial + 1.6 / 86400), (DateTime{2026, 12, 9, 0, 0, 2}));
  // A time with no date counts from serial 0.
  EXPECT_EQ(ToDate(TimeFraction(13, 30, 15)), (DateTime{1899, 12, 31, 13, 30, 15}));

  for (int s = 0; s < 86400; s += 7) {
    const DateTime t = ToDate(serial + TimeFraction(s / 3600, s / 60 % 60, s % 60));
    ASSERT_EQ(t.h * 3600 + t.min * 60 + t.s, s);
  }
}

TEST(SheetDates, AbsurdSerialsAreClampedToFourDigitYears) {
  EXPECT_EQ(ToDate(1e300), (DateTime{9999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(ToDate(std::numeric_limits<double>::infinity()), (DateTime{9999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(ToDate(-1e300), (DateTime{1, 1, 1, 0, 0, 0}));
  EXPECT_EQ(ToDate(std::nan("")), ToDate(0));
}

TEST(SheetDates, CalendarDates) {
  EXPECT_TRUE(IsCalendarDate(2024, 2, 29));
  EXPECT_TRUE(IsCalendarDate(2000, 2, 29));
  EXPECT_FALSE(IsCalendarDate(2023, 2, 29));
  EXPECT_FALSE(IsCalendarDate(1900, 2, 29));
  EXPECT_TRUE(IsCalendarDate(2026, 12, 31));
  EXPECT_FALSE(IsCalendarDate(2026, 4, 31));
  EXPECT_FALSE(IsCalendarDate(2026, 0, 1));
  EXPECT_FALSE(IsCalendarDate(2026, 13, 1));
  EXPECT_FALSE(IsCalendarDate(2026, 1, 0));
}

}  // namespace
}  // namespace tabrelium
