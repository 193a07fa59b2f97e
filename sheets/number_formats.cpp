#include "sheets/number_formats.h"

#include <cctype>
#include <cmath>
#include <vector>

namespace tabrelium {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != prefix[i]) return false;
  return true;
}

// [h], [hh], [mm], [ss] ...: elapsed time, given as the code it stands for
// ('t' for minutes, never a month); anything else in brackets is a colour, a
// condition or a locale (0).
char ElapsedTimeCode(std::string_view inside) {
  if (inside.empty()) return 0;
  const char first = Lower(inside[0]);
  if (first != 'h' && first != 'm' && first != 's') return 0;
  for (char c : inside)
    if (Lower(c) != first) return 0;
  return first == 'm' ? 't' : first;
}

}  // namespace

NumberFormatKind BuiltinFormatDateKind(uint32_t id) {
  if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 54) ||
      id == 57 || id == 58)
    return NumberFormatKind::kDate;
  if (id == 22) return NumberFormatKind::kDateTime;
  if ((id >= 18 && id <= 21) || (id >= 32 && id <= 35) || (id >= 45 && id <= 47) || id == 55 ||
      id == 56)
    return NumberFormatKind::kTime;
  return NumberFormatKind::kNone;
}

NumberFormatKind FormatCodeDateKind(std::string_view code) {
  if (StartsWithNoCase(code, "general") && code.size() == 7) return NumberFormatKind::kNone;
  // The date and time codes in order: 'y', 'd', 'h', 's', 'm' (month or
  // minute, told by its neighbours), 't' for an elapsed or AM/PM part.
  std::vector<char> codes;
  char last = 0;
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      const size_t close = code.find('"', i + 1);
      i = close == std::string_view::npos ? code.size() : close;
      last = 0;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;  // the next character is literal text, a space width or a fill
      last = 0;
    } else if (c == '[') {
      const size_t close = code.find(']', i + 1);
      const size_t end = close == std::string_view::npos ? code.size() : close;
      if (const char elapsed = ElapsedTimeCode(code.substr(i + 1, end - i - 1)))
        codes.push_back(elapsed);
      i = end;
      last = 0;
    } else if (StartsWithNoCase(code.substr(i), "am/pm") || StartsWithNoCase(code.substr(i), "a/p")) {
      codes.push_back('t');
      i += Lower(code[i + 1]) == 'm' ? 4 : 2;
      last = 0;
    } else {
      const char lower = Lower(c);
      if (lower == 'y' || lower == 'd' || lower == 'h' || lower == 's' || lower == 'm') {
        if (lower != last) codes.push_back(lower);  // "yyyy" is one code
        last = lower;
      } else {
        last = 0;
      }
    }
  }
  bool date = false, time = false;
  for (size_t i = 0; i < codes.size(); ++i) {
    switch (codes[i]) {
      case 'y':
      case 'd': date = true; break;
      case 'h':
      case 's':
      case 't': time = true; break;
      case 'm': {
        // Minutes right after an hour or right before seconds; else a month.
        const bool minutes = (i > 0 && codes[i - 1] == 'h') ||
                             (i + 1 < codes.size() && codes[i + 1] == 's');
        (minutes ? time : date) = true;
        break;
      }
    }
  }
  if (date && time) return NumberFormatKind::kDateTime;
  if (date) return NumberFormatKind::kDate;
  if (time) return NumberFormatKind::kTime;
  return NumberFormatKind::kNone;
}

SheetValueKind DateValueKind(NumberFormatKind kind) {
  switch (kind) {
    case NumberFormatKind::kDate: return SheetValueKind::kDate;
    case NumberFormatKind::kTime: return SheetValueKind::kTime;
    default: return SheetValueKind::kDateTime;
  }
}

void AddDateValue(SheetData& sheet, uint32_t row, uint32_t column, SheetValueKind kind,
                  double serial) {
  if (kind == SheetValueKind::kDate) serial = std::floor(serial);
  if (kind == SheetValueKind::kTime) serial -= std::floor(serial);
  sheet.AddDate(row, column, kind, serial);
}

void AddFormattedNumber(SheetData& sheet, uint32_t row, uint32_t column, double number,
                        NumberFormatKind kind, bool date1904) {
  if (kind == NumberFormatKind::kNone) return sheet.AddNumber(row, column, number);
  if (date1904 && kind != NumberFormatKind::kTime) number += kDate1904Offset;
  if (number < 0 || number >= kLastDateSerial + 1) return sheet.AddNumber(row, column, number);
  AddDateValue(sheet, row, column, DateValueKind(kind), number);
}

}  // namespace tabrelium
