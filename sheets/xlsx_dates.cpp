#include "sheets/xlsx_dates.h"

#include <cctype>
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

// Days from 1970-01-01 of a proleptic Gregorian date (after H. Hinnant's
// days_from_civil).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

unsigned DaysInMonth(int64_t y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Reads exactly `count` digits at `at`.
bool Digits(std::string_view text, size_t& at, size_t count, unsigned& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  at += count;
  return true;
}

bool Expect(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

// "HH:MM[:SS[.fff]]" at `at`, as a fraction of a day.
bool ParseTime(std::string_view text, size_t& at, double& dayFraction) {
  unsigned h = 0, m = 0, s = 0;
  if (!Digits(text, at, 2, h) || !Expect(text, at, ':') || !Digits(text, at, 2, m)) return false;
  double seconds = 0;
  if (at < text.size() && text[at] == ':') {
    ++at;
    if (!Digits(text, at, 2, s)) return false;
    seconds = s;
    if (at < text.size() && text[at] == '.') {
      double scale = 0.1;
      for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
        seconds += (text[at] - '0') * scale;
    }
  }
  if (h > 24 || m > 59 || seconds >= 60 || (h == 24 && (m != 0 || seconds != 0))) return false;
  dayFraction = (h * 3600.0 + m * 60.0 + seconds) / 86400.0;
  return true;
}

}  // namespace

XlsxDateKind BuiltinFormatDateKind(uint32_t id) {
  if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || id == 36 || (id >= 50 && id <= 54) ||
      id == 57 || id == 58)
    return XlsxDateKind::kDate;
  if (id == 22) return XlsxDateKind::kDateTime;
  if ((id >= 18 && id <= 21) || (id >= 32 && id <= 35) || (id >= 45 && id <= 47) || id == 55 ||
      id == 56)
    return XlsxDateKind::kTime;
  return XlsxDateKind::kNone;
}

XlsxDateKind FormatCodeDateKind(std::string_view code) {
  if (StartsWithNoCase(code, "general") && code.size() == 7) return XlsxDateKind::kNone;
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
  if (date && time) return XlsxDateKind::kDateTime;
  if (date) return XlsxDateKind::kDate;
  if (time) return XlsxDateKind::kTime;
  return XlsxDateKind::kNone;
}

std::optional<IsoDateValue> ParseIsoDate(std::string_view text) {
  size_t at = 0;
  double fraction = 0;
  if (text.size() >= 3 && text[2] == ':') {
    if (!ParseTime(text, at, fraction) || at != text.size()) return std::nullopt;
    return IsoDateValue{XlsxDateKind::kTime, fraction};
  }
  unsigned y = 0, m = 0, d = 0;
  if (!Digits(text, at, 4, y) || !Expect(text, at, '-') || !Digits(text, at, 2, m) ||
      !Expect(text, at, '-') || !Digits(text, at, 2, d))
    return std::nullopt;
  if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
  XlsxDateKind kind = XlsxDateKind::kDate;
  if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
    ++at;
    if (!ParseTime(text, at, fraction)) return std::nullopt;
    kind = XlsxDateKind::kDateTime;
  }
  // A zone designator changes nothing: the sheet shows local clock time.
  if (at < text.size() && text[at] == 'Z') ++at;
  if (at != text.size()) return std::nullopt;
  const double days = static_cast<double>(DaysFromCivil(y, m, d) - DaysFromCivil(1899, 12, 30));
  return IsoDateValue{kind, days + fraction};
}

}  // namespace tabrelium
