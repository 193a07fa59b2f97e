#include "sheets/sheet_dates.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace tabrelium {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date; linear in the day, so
// a day beyond the month's end runs on into the next month.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y += FloorDiv(m - 1, 12);
  m = m - 1 - FloorDiv(m - 1, 12) * 12 + 1;
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);
// The true day count of 1900-03-01, the first day on which spreadsheets and
// the calendar agree.
constexpr int64_t kFirstAgreeingSerial = 61;
constexpr int64_t kPhantomLeapDay = 60;

}  // namespace

double DateSerial(int year, int month, int day) {
  const int64_t y = year + FloorDiv(int64_t{month} - 1, 12);
  const int64_t m = int64_t{month} - 1 - FloorDiv(int64_t{month} - 1, 12) * 12 + 1;
  // January and February 1900 count from serial 1 = 1900-01-01 with a 29th
  // of February, as spreadsheets do: (1900, 2, 29) is 60, (1900, 2, 30) 61.
  if (y == 1900 && m <= 2) return static_cast<double>((m == 1 ? 0 : 31) + int64_t{day});
  const int64_t trueDays = DaysFromCivil(y, m, day) - kEpoch;
  // Before 1900-03-01 spreadsheets count the phantom leap day's absence.
  return static_cast<double>(trueDays >= kFirstAgreeingSerial ? trueDays : trueDays - 1);
}

double TimeFraction(int hours, int minutes, int seconds) {
  return static_cast<double>(int64_t{hours} * 3600 + int64_t{minutes} * 60 + seconds) /
         kSecondsPerDay;
}

void SerialToDate(double serial, int& year, int& month, int& day, int& hours,
                  int& minutes, int& seconds) {
  static const double kLowest = DateSerial(1, 1, 1);
  static const double kHighest = DateSerial(9999, 12, 31) + TimeFraction(23, 59, 59);
  if (std::isnan(serial)) serial = 0;
  if (serial < kLowest) serial = kLowest;
  if (serial > kHighest) serial = kHighest;

  const int64_t total = std::llround(serial * kSecondsPerDay);
  const int64_t days = FloorDiv(total, kSecondsPerDay);
  const int64_t rest = total - days * kSecondsPerDay;
  hours = static_cast<int>(rest / 3600);
  minutes = static_cast<int>(rest / 60 % 60);
  seconds = static_cast<int>(rest % 60);

  if (days == kPhantomLeapDay) {
    year = 1900, month = 2, day = 29;
    return;
  }
  const int64_t trueDays = days > kPhantomLeapDay ? days : days + 1;
  CivilFromDays(trueDays + kEpoch, year, month, day);
}

namespace {

// Reads exactly `count` digits at `at`.
bool Digits(std::string_view text, size_t& at, size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  at += count;
  return true;
}

bool Expect(std::string_view text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

// "HH:MM[:SS[.fff]]" at `at`, as a fraction of a day; "24:00:00" is the
// day's end.
bool ParseTime(std::string_view text, size_t& at, double& dayFraction) {
  int h = 0, m = 0, s = 0;
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
  dayFraction = (h * 3600.0 + m * 60.0 + seconds) / kSecondsPerDay;
  return true;
}

}  // namespace

std::optional<IsoDateValue> ParseIsoDate(std::string_view text) {
  size_t at = 0;
  double fraction = 0;
  if (text.size() >= 3 && text[2] == ':') {
    if (!ParseTime(text, at, fraction) || at != text.size()) return std::nullopt;
    return IsoDateValue{SheetValueKind::kTime, fraction};
  }
  int y = 0, m = 0, d = 0;
  if (!Digits(text, at, 4, y) || !Expect(text, at, '-') || !Digits(text, at, 2, m) ||
      !Expect(text, at, '-') || !Digits(text, at, 2, d))
    return std::nullopt;
  if (!IsCalendarDate(y, m, d)) return std::nullopt;
  SheetValueKind kind = SheetValueKind::kDate;
  if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
    ++at;
    if (!ParseTime(text, at, fraction)) return std::nullopt;
    kind = SheetValueKind::kDateTime;
  }
  // A zone designator changes nothing: the sheet shows local clock time.
  if (at < text.size() && text[at] == 'Z') ++at;
  if (at != text.size()) return std::nullopt;
  return IsoDateValue{kind, DateSerial(y, m, d) + fraction};
}

bool IsCalendarDate(int year, int month, int day) {
  if (month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap);
}

}  // namespace tabrelium
