// Spreadsheet date serials: the day count that XLS, XLSX and the loader's
// value text share. A serial counts days (from 1900-03-01 on, the days since
// 1899-12-30), its fraction the time of day, as spreadsheets store dates in
// their 1900 date system.
//
// Spreadsheets take 1900 for a leap year: serial 60 is the day 1900-02-29,
// which never was, and the serials 1 to 59 (1900-01-01 to 1900-02-28) are
// one more than the true day count since 1899-12-30. These functions follow
// the spreadsheets, so a date comes out as the user saw it in the sheet:
//   serial 1  = 1900-01-01,  serial 59 = 1900-02-28,
//   serial 60 = 1900-02-29 (the day that never was),
//   serial 61 = 1900-03-01, and from there on the true calendar.
// Before 1900-01-01 (serial 0 and below) the count runs on backwards one day
// per serial (serial 0 = 1899-12-31), so every date has one serial and every
// whole serial one date.
//
// Thread-safety: pure functions; callable from any thread.
#pragma once

#include <optional>
#include <string_view>

#include "sheets/sheet_reader.h"

namespace tabrelium {

// The serial of a calendar date (proleptic Gregorian). Month 1-12, day
// 1-31; a day beyond its month's end runs into the next month, as a
// spreadsheet's DATE() does. DateSerial(1900, 2, 29) gives 60.
double DateSerial(int year, int month, int day);

// The fraction of a day for a time of day; hours 0-23, minutes and seconds
// 0-59. TimeFraction(12, 0, 0) gives 0.5.
double TimeFraction(int hours, int minutes, int seconds);

// The date and time of day of a serial, rounded to the nearest second (so
// 0.99999999 is the next day at 0:00:00). A serial before 0001-01-01 or
// after 9999-12-31 23:59:59 (or NaN, taken as 0) is first clamped to that
// range, so the year always has at most four digits.
void SerialToDate(double serial, int& year, int& month, int& day, int& hours,
                  int& minutes, int& seconds);

// Whether year-month-day names a day of the calendar (1900-02-29 does not).
bool IsCalendarDate(int year, int month, int day);

// An ISO 8601 date as XLSX date cells and OpenDocument date values write
// it: "2026-12-09", "2026-12-09T08:05:00[.fff][Z]" (a space for the T is
// taken too), or a time "08:05:00". Its serial follows the same count as
// DateSerial, so the text and the serial of one day give the same date.
// Empty when the text is none of these or names no calendar day.
struct IsoDateValue {
  SheetValueKind kind;  // kDate, kDateTime or kTime
  double serial;
};
std::optional<IsoDateValue> ParseIsoDate(std::string_view text);

}  // namespace tabrelium
