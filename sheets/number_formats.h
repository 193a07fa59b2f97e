// Whether a number shows as a date: a sheet stores dates and times as
// serial numbers, and only the cell's number format (a built-in id or a
// custom format code) says that a number is one. XLSX and XLS share this
// decision, so the same cell gives the same text in both.
//
// Thread-safety: pure functions; AddFormattedNumber writes only the caller's sheet.
#pragma once

#include <cstdint>
#include <string_view>

#include "sheets/sheet_reader.h"

namespace tabrelium {

enum class NumberFormatKind : uint8_t { kNone, kDate, kDateTime, kTime };

// What the built-in number format `id` shows; kNone for the ones that are
// not dates or times, and for ids that are not built in.
NumberFormatKind BuiltinFormatDateKind(uint32_t id);

// What a custom format code such as "yyyy-mm-dd;@" or "[h]:mm" shows, from
// its date and time codes outside quoted text, escapes and [...] parts.
NumberFormatKind FormatCodeDateKind(std::string_view code);

// Serials of a workbook that counts from 1904 are this much smaller.
constexpr double kDate1904Offset = 1462;
// The last day a spreadsheet shows as a date: 9999-12-31.
constexpr double kLastDateSerial = 2958465;

// Adds `number` as the cell shows it under a format of `kind`: a plain
// number, or a date, date-time or time (a 1904 workbook's serials moved to
// the 1900 count). A serial no sheet shows as a date (below 0, after
// 9999-12-31) stays a number, as the sheet shows only '#' for it.
void AddFormattedNumber(SheetData& sheet, uint32_t row, uint32_t column, double number,
                        NumberFormatKind kind, bool date1904);

// Adds a date (kDate, kDateTime or kTime) with its serial made whole days
// for a date and a fraction of a day for a time, as SheetData promises.
void AddDateValue(SheetData& sheet, uint32_t row, uint32_t column, SheetValueKind kind,
                  double serial);

// kDate, kDateTime or kTime for a format kind other than kNone.
SheetValueKind DateValueKind(NumberFormatKind kind);

}  // namespace tabrelium
