// Telling dates from numbers by number format, and reading ISO dates: the
// format codes that real workbooks carry, including the ones whose letters
// look like date codes but are not.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sheets/number_formats.h"
#include "sheets/sheet_dates.h"
#include "sheets/xlsx_package.h"

namespace tabrelium {
namespace {

using Kind = NumberFormatKind;

TEST(NumberFormats, FormatCodes) {
  const std::vector<std::pair<std::string, Kind>> cases = {
      {"General", Kind::kNone},
      {"0.00E+00", Kind::kNone},
      {"#,##0.00_);[Red](#,##0.00)", Kind::kNone},
      {"0 \"days\"", Kind::kNone},
      {"0\\d", Kind::kNone},
      {"[$-409]#,##0", Kind::kNone},
      {"_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)", Kind::kNone},
      {"yyyy-mm-dd", Kind::kDate},
      {"mmm-yy", Kind::kDate},
      {"[$-F800]dddd\\,\\ mmmm\\ dd\\,\\ yyyy", Kind::kDate},
      {"yyyy\"年\"m\"月\"d\"日\";@", Kind::kDate},
      {"m/d/yy h:mm", Kind::kDateTime},
      {"d-mmm-yy hh:mm:ss", Kind::kDateTime},
      {"h:mm AM/PM", Kind::kTime},
      {"mm:ss.0", Kind::kTime},
      {"[h]:mm", Kind::kTime},
      {"[mm]:ss", Kind::kTime},
      {"[ss]", Kind::kTime},
      {"hh\"时\"mm\"分\"", Kind::kTime},
      {"[Blue][<=100]mm", Kind::kDate},  // a month in a conditional format
  };
  for (const auto& [code, kind] : cases) EXPECT_EQ(FormatCodeDateKind(code), kind) << code;
}

TEST(NumberFormats, BuiltinFormats) {
  EXPECT_EQ(BuiltinFormatDateKind(0), Kind::kNone);
  EXPECT_EQ(BuiltinFormatDateKind(13), Kind::kNone);
  EXPECT_EQ(BuiltinFormatDateKind(14), Kind::kDate);
  EXPECT_EQ(BuiltinFormatDateKind(20), Kind::kTime);
  EXPECT_EQ(BuiltinFormatDateKind(22), Kind::kDateTime);
  EXPECT_EQ(BuiltinFormatDateKind(23), Kind::kNone);
  EXPECT_EQ(BuiltinFormatDateKind(31), Kind::kDate);
  EXPECT_EQ(BuiltinFormatDateKind(33), Kind::kTime);
  EXPECT_EQ(BuiltinFormatDateKind(46), Kind::kTime);
  EXPECT_EQ(BuiltinFormatDateKind(49), Kind::kNone);
  EXPECT_EQ(BuiltinFormatDateKind(58), Kind::kDate);
  EXPECT_EQ(BuiltinFormatDateKind(59), Kind::kNone);
}

// ISO text and serial numbers are one calendar: the spreadsheets' 1900
// count, phantom leap day included, gives the same date either way.
TEST(SheetDates, IsoTextAndSerialsAgree) {
  struct Case {
    const char* iso;
    double serial;
    int year, month, day;
  };
  for (const Case& c : {Case{"1900-01-01", 1, 1900, 1, 1}, Case{"1900-02-28", 59, 1900, 2, 28},
                        Case{"1900-03-01", 61, 1900, 3, 1}, Case{"2026-12-09", 46365, 2026, 12, 9}}) {
    const auto parsed = ParseIsoDate(c.iso);
    ASSERT_TRUE(parsed) << c.iso;
    EXPECT_EQ(parsed->kind, SheetValueKind::kDate) << c.iso;
    EXPECT_EQ(parsed->serial, c.serial) << c.iso;
    EXPECT_EQ(DateSerial(c.year, c.month, c.day), c.serial) << c.iso;
    int y, m, d, hh, mm, ss;
    SerialToDate(c.serial, y, m, d, hh, mm, ss);
    EXPECT_EQ(std::vector<int>({y, m, d}), std::vector<int>({c.year, c.month, c.day})) << c.iso;
  }
  const auto noon = ParseIsoDate("2000-01-01T12:00:00.5");
  ASSERT_TRUE(noon);
  EXPECT_EQ(noon->kind, SheetValueKind::kDateTime);
  EXPECT_DOUBLE_EQ(noon->serial, 36526.5 + 0.5 / 86400);
  for (const char* bad :
       {"2023-02-29", "1900-02-29", "2024-13-01", "2024-1-01", "24:01:00", "2024-01-01T", "x"})
    EXPECT_FALSE(ParseIsoDate(bad)) << bad;
}

TEST(XlsxPackage, RelationshipTargets) {
  EXPECT_EQ(ResolvePartTarget("xl/workbook.xml", "worksheets/sheet1.xml"), "xl/worksheets/sheet1.xml");
  EXPECT_EQ(ResolvePartTarget("xl/workbook.xml", "/xl/worksheets/s.xml"), "xl/worksheets/s.xml");
  EXPECT_EQ(ResolvePartTarget("xl/workbook.xml", "../other/./s.xml"), "other/s.xml");
  EXPECT_EQ(ResolvePartTarget("", "xl/workbook.xml"), "xl/workbook.xml");
}

}  // namespace
}  // namespace tabrelium
