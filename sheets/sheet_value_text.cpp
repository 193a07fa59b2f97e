#include "sheets/sheet_value_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/gbk_utf8.h"
#include "sheets/sheet_dates.h"

namespace tabrelium {
namespace {

void AppendDate(double serial, SheetValueKind kind, std::string& out) {
  int year, month, day, hours, minutes, seconds;
  SerialToDate(serial, year, month, day, hours, minutes, seconds);
  char text[48];
  if (kind == SheetValueKind::kDate)
    std::snprintf(text, sizeof text, "%d/%d/%d", year, month, day);
  else if (kind == SheetValueKind::kTime)
    std::snprintf(text, sizeof text, "%d:%02d:%02d", hours, minutes, seconds);
  else
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d", year, month, day, hours, minutes,
                  seconds);
  out += text;
}

}  // namespace

std::string FormatSheetNumber(double value) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : value > 0 ? "INF" : "-INF";
  char text[40];
  // Whole numbers a double holds exactly (up to 2^53): their digits, no
  // grouping, so a long code stored as a number stays a usable key.
  if (value == std::trunc(value) && std::fabs(value) <= 9007199254740992.0) {
    const auto [end, ec] = std::to_chars(text, text + sizeof text, static_cast<int64_t>(value));
    return std::string(text, ec == std::errc() ? end : text);
  }
  // The shortest form that reads back the same, unless it needs more than
  // 15 significant digits: then 15 of them, as a sheet shows the value.
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  std::string_view shortest(text, ec == std::errc() ? static_cast<size_t>(end - text) : 0);
  size_t digits = 0;
  for (char c : shortest.substr(0, shortest.find_first_of("eE"))) digits += c >= '0' && c <= '9';
  const size_t leadingZeros = shortest.find_first_not_of("-0.");
  if (leadingZeros != std::string_view::npos) {
    for (char c : shortest.substr(0, leadingZeros)) digits -= c == '0';
  }
  if (!shortest.empty() && digits <= 15) return std::string(shortest);
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

void AppendSheetValueText(const SheetData& sheet, const SheetCell& cell, std::string& out,
                          size_t& unmappable) {
  switch (cell.kind) {
    case SheetValueKind::kText:
      if (cell.textIsGbk)
        out += sheet.TextOf(cell);
      else
        out += Utf8ToGbk(sheet.TextOf(cell), &unmappable);
      return;
    case SheetValueKind::kNumber:
      out += FormatSheetNumber(cell.number);
      return;
    case SheetValueKind::kBoolean:
      out += cell.number != 0 ? "TRUE" : "FALSE";
      return;
    case SheetValueKind::kDate:
    case SheetValueKind::kDateTime:
    case SheetValueKind::kTime:
      AppendDate(cell.number, cell.kind, out);
      return;
    case SheetValueKind::kError:
      out += sheet.TextOf(cell);
      return;
  }
}

}  // namespace tabrelium
