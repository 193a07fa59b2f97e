// Dates in XLSX cells: a number is a date when its cell's number format
// shows it as one, so this module tells from a format (built-in id or
// custom format code) whether it shows a date, a date and time, or a time;
// and it turns the ISO 8601 text of date cells (t="d") into serials.
// Serials count days since 1899-12-30, the fraction the time of day.
//
// Thread-safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tabrelium {

enum class XlsxDateKind : uint8_t { kNone, kDate, kDateTime, kTime };

// What the built-in number format `id` shows; kNone for the ones that are
// not dates or times, and for ids that are not built in.
XlsxDateKind BuiltinFormatDateKind(uint32_t id);

// What a custom format code such as "yyyy-mm-dd;@" or "[h]:mm" shows, from
// its date and time codes outside quoted text, escapes and [...] parts.
XlsxDateKind FormatCodeDateKind(std::string_view code);

// An ISO 8601 date cell value: "2026-12-09", "2026-12-09T08:05:00[.fff][Z]",
// or a time "08:05:00". Empty when the text is none of these.
struct IsoDateValue {
  XlsxDateKind kind;
  double serial;
};
std::optional<IsoDateValue> ParseIsoDate(std::string_view text);

// Serials of a workbook that counts from 1904 are this much smaller.
constexpr double kDate1904Offset = 1462;
// The last day a spreadsheet shows as a date: 9999-12-31.
constexpr double kLastDateSerial = 2958465;

}  // namespace tabrelium
