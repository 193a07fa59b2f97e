// From a worksheet's values to the tab-separated text the cutter reads: the
// used range, the limits, empty rows, trimming and cutting, value forms, and
// what a refused or failed load leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "common/gbk.h"
#include "common/gbk_utf8.h"
#include "sheets/sheet_dates.h"
#include "sheets/sheet_limits.h"
#include "sheets/sheet_value_text.h"
#include "data/spreadsheet_loader.h"
#include "data/text_cutter.h"
#include "data/text_loader.h"

namespace tabrelium {
namespace {

std::string Text(const TextBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.text.data()),
                     static_cast<size_t>(buffer.textLength));
}

struct Loaded {
  TextBuffer buffer;
  CellTable cells;
  SpreadsheetReport report;
  Status status;
  bool ok = false;
};

Loaded Load(const SheetData& sheet) {
  Loaded l;
  l.status = LoadSheetText(sheet, l.buffer, l.cells, l.report);
  l.ok = l.status.ok();
  return l;
}

TEST(SheetText, HeaderAndTwoRowsBecomeTabSeparatedLines) {
  SheetData sheet;
  sheet.AddText(0, 0, "Code");
  sheet.AddText(0, 1, "Name");
  sheet.AddNumber(1, 0, 6901234567890);
  sheet.AddText(1, 1, "中文");
  sheet.AddNumber(2, 0, 2.5);
  sheet.AddText(2, 1, "b");
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok) << l.status.message();
  EXPECT_EQ(Text(l.buffer), "Code\tName\r\n6901234567890\t\xD6\xD0\xCE\xC4\r\n2.5\tb\r\n");

  FieldTable table = MakeDefaultFieldTable();
  CutLoadedText(l.buffer, table, l.cells);
  EXPECT_EQ(table.separatorIndex, 0);
  EXPECT_EQ(l.cells.rowCount, 2);
  EXPECT_EQ(l.cells.columnCount, 2);
}

TEST(SheetText, UsedRangeStartsAtTheFirstValue) {
  SheetData sheet;  // data from B3; a row with only its last cell; an empty row
  sheet.AddText(2, 1, "a");
  sheet.AddText(2, 3, "c");
  sheet.AddText(3, 3, "z");
  sheet.AddText(4, 2, "  ");
  sheet.AddText(5, 1, "x");
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(Text(l.buffer), "a\t\tc\r\n\t\tz\r\nx\t\t\r\n");
}

TEST(SheetText, LimitsOfColumnsRowsAndValueBytes) {
  SheetData sheet;
  for (uint32_t c = 0; c < 40; ++c) sheet.AddText(0, c, "h" + std::to_string(c));
  sheet.AddText(1, 0, std::string(70, 'x'));
  sheet.AddGbkText(1, 1, std::string(59, 'y') + "\xD6\xD0");  // the pair would end at byte 61
  sheet.AddText(149999, 0, "last");
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.report.droppedColumns, 8u);
  EXPECT_EQ(l.report.droppedRows, 50000u);
  const std::string text = Text(l.buffer);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);  // "last" is past row 100,000
  const std::string second = text.substr(text.find("\r\n") + 2);
  EXPECT_EQ(second.substr(0, 60 + 1 + 59 + 1), std::string(60, 'x') + "\t" + std::string(59, 'y') + "\t");
  EXPECT_EQ(std::count(second.begin(), second.end(), '\t'), 31);
}

// A sheet keeps of each text only what the loader can use, and the text
// produced is what the whole value would give: trimmed, then 60 bytes.
TEST(SheetText, BoundedValuesGiveWhatTheWholeValueWould) {
  const std::string huge = "a" + std::string(4 << 20, ' ') + "b";
  std::string strayBytes(100, '\x80');
  std::string longCjk;
  for (int i = 0; i < 70; ++i) longCjk += "中";
  std::string emoji;
  for (int i = 0; i < 70; ++i) emoji += "😀";
  for (const std::string& value :
       {huge, "abc" + std::string(60, ' ') + "d", std::string("  x \t\r\n"), longCjk, emoji,
        "z" + strayBytes, std::string(59, 'y') + "中文", std::string(3, ' ')}) {
    std::string whole = Utf8ToGbk(value);
    whole.erase(0, whole.find_first_not_of(" \t\r\n\v\f"));
    whole.erase(whole.find_last_not_of(" \t\r\n\v\f") + 1);
    const std::string expected(CutGbk(whole, kMaxSheetValueBytes));

    SheetData sheet;
    sheet.AddText(0, 0, "h");
    for (uint32_t r = 1; r <= 3000; ++r) sheet.AddText(r, 0, value);
    size_t kept = 0;
    for (const SheetCell& cell : sheet.cells()) kept += sheet.TextOf(cell).size();
    EXPECT_LE(kept, 3001 * 4 * kKeptValueCharacters);
    Loaded l = Load(sheet);
    ASSERT_TRUE(l.ok) << l.status.message();
    const std::string text = Text(l.buffer);
    EXPECT_EQ(text.substr(3, text.find("\r\n", 3) - 3), expected) << value.substr(0, 80);
  }
}

// Cells the limits will never deliver are not kept as they arrive, even
// when the sheet's corner moves up after them.
TEST(SheetText, CellsOutsideTheLimitsAreNotKept) {
  SheetData sheet;
  const uint32_t rows = 3'500'000;
  for (uint32_t r = rows; r-- > 0;) sheet.AddNumber(r, 0, r);
  for (uint32_t c = 0; c < 200; ++c) sheet.AddNumber(0, 200 - c, c);
  EXPECT_LT(sheet.cells().size(), size_t{3} * kSheetReadRows * kSheetReadColumns / 2);
  EXPECT_EQ(sheet.valuesGiven(), rows + 200);
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(l.report.droppedRows, rows - kMaxSheetRows);
  EXPECT_EQ(l.report.droppedColumns, 201 - kMaxSheetColumns);
  const std::string text = Text(l.buffer);
  EXPECT_EQ(text.substr(0, 2), "0\t");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kMaxSheetRows);
}

TEST(SheetText, ValueForms) {
  EXPECT_EQ(FormatSheetNumber(42), "42");
  EXPECT_EQ(FormatSheetNumber(-7), "-7");
  EXPECT_EQ(FormatSheetNumber(6901234567890.0), "6901234567890");
  EXPECT_EQ(FormatSheetNumber(0.1 + 0.2), "0.3");
  EXPECT_EQ(FormatSheetNumber(12.5), "12.5");
  EXPECT_EQ(FormatSheetNumber(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FormatSheetNumber(-0.0), "0");
  // Long codes stored as numbers keep every digit up to 2^53.
  EXPECT_EQ(FormatSheetNumber(1234567890123456.0), "1234567890123456");
  EXPECT_EQ(FormatSheetNumber(9007199254740992.0), "9007199254740992");
  EXPECT_EQ(FormatSheetNumber(-1e15), "-1000000000000000");
  EXPECT_EQ(FormatSheetNumber(1.5e16), "1.5e+16");

  SheetData sheet;
  sheet.AddBoolean(0, 0, true);
  sheet.AddBoolean(0, 1, false);
  sheet.AddDate(1, 0, SheetValueKind::kDate, DateSerial(2026, 12, 9));
  sheet.AddDate(1, 1, SheetValueKind::kDateTime,
                DateSerial(2026, 12, 9) + TimeFraction(8, 5, 0));
  sheet.AddDate(1, 2, SheetValueKind::kTime, TimeFraction(17, 30, 9));
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(Text(l.buffer), "TRUE\tFALSE\t\r\n2026/12/9\t2026/12/9 8:05:00\t17:30:09\r\n");
}

TEST(SheetText, CharactersGbkLacksBecomeQuestionMarksAndAreCounted) {
  SheetData sheet;
  sheet.AddText(0, 0, "a😀b");
  sheet.AddText(1, 0, "한");
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(Text(l.buffer), "a?b\r\n?\r\n");
  EXPECT_EQ(l.report.unmappable, 2u);
}

TEST(SheetText, OneRowIsRefusedAndTheLoadedDataStay) {
  Loaded l;
  LoadTextBytes("a,b\r\nc,d\r\n", 10, l.buffer, l.cells);
  l.cells.rowCount = 2;  // stands for a loaded table
  SheetData sheet;
  sheet.AddText(4, 0, "only");
  sheet.AddText(4, 7, "row");
  EXPECT_FALSE(LoadSheetText(sheet, l.buffer, l.cells, l.report).ok());
  EXPECT_EQ(Text(l.buffer), "a,b\r\nc,d\r\n");
  EXPECT_EQ(l.cells.rowCount, 2);
  EXPECT_FALSE(LoadSheetText(SheetData(), l.buffer, l.cells, l.report).ok());
  EXPECT_EQ(l.cells.rowCount, 2);
}

TEST(SheetText, AnErrorValueFailsTheLoadNamingItsCell) {
  Loaded l;
  LoadTextBytes("a,b\r\n", 5, l.buffer, l.cells);
  SheetData sheet;
  sheet.AddText(0, 0, "h");
  sheet.AddError(6, 1, "#DIV/0!");
  const Status failed = LoadSheetText(sheet, l.buffer, l.cells, l.report);
  EXPECT_EQ(failed.code(), Status::Code::kErrorValue);
  EXPECT_EQ(failed.message(), "Cell B7 holds the error value #DIV/0!(单元格B7含有错误值#DIV/0!)");
  EXPECT_EQ(failed.place().row, 7u);
  EXPECT_EQ(failed.place().column, 2u);
  EXPECT_EQ(l.buffer.textEnd, 0);
  EXPECT_EQ(l.cells.rowCount, 0);
}

TEST(SheetText, ACellWithANulByteIsNamed) {
  SheetData sheet;
  sheet.AddText(0, 0, "h");
  sheet.AddText(1, 1, std::string("a\0b", 3));
  sheet.AddText(2, 1, std::string("c\0", 2));
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok);
  ASSERT_TRUE(l.report.nulCell);
  EXPECT_EQ(SheetCellName(l.report.nulCell->row - 1, l.report.nulCell->column - 1), "B2");
}

TEST(SheetText, CellsInAnyOrderAndRepeatedCells) {
  SheetData sheet;
  sheet.AddText(1, 1, "d");
  sheet.AddText(0, 0, "a");
  sheet.AddText(1, 0, "c");
  sheet.AddText(0, 1, "old");
  sheet.AddText(0, 1, "b");
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(Text(l.buffer), "a\tb\r\nc\td\r\n");
}

TEST(SheetText, StopsBeforeTheTextOutgrowsItsBuffer) {
  SheetData sheet;
  const std::string value(60, 'v');
  for (uint32_t r = 0; r < 40000; ++r)
    for (uint32_t c = 0; c < 32; ++c) sheet.AddText(r, c, value);
  Loaded l = Load(sheet);
  ASSERT_TRUE(l.ok);
  EXPECT_TRUE(l.report.stoppedAtTextLimit);
  const int64_t length = l.buffer.textLength;
  // Whole rows of 32 × 60 bytes, 31 TABs and CR LF, as many as fit.
  EXPECT_EQ(length % 1953, 0);
  EXPECT_LE(length, kMaxTextBytes);
  EXPECT_GT(length + 1953, kMaxTextBytes);
}

TEST(SheetNames, ColumnLettersAndRows) {
  EXPECT_EQ(SheetCellName(0, 0), "A1");
  EXPECT_EQ(SheetCellName(6, 1), "B7");
  EXPECT_EQ(SheetCellName(0, 25), "Z1");
  EXPECT_EQ(SheetCellName(9, 26), "AA10");
  EXPECT_EQ(SheetCellName(0, 16383), "XFD1");
}

}  // namespace
}  // namespace tabrelium
