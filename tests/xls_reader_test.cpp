// The XLS reader on workbooks written by xlwt (tests/fixtures/xls, see its
// README): the first sheet only, positions from the sheet's corner, text,
// numbers, dates and times back to serials, what FreeXL makes of booleans
// and error cells, the column limit, and files it cannot read.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "sheets/sheet_reader.h"
#include "sheets/sheet_dates.h"
#include "sheets/sheet_limits.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

std::string Fixture(const std::string& name) {
  return std::string(TABRELIUM_FIXTURES_DIR) + "/xls/" + name;
}

// A cell as the tests compare it: position, kind, and text or number.
struct Cell {
  uint32_t row, column;
  SheetValueKind kind;
  std::string text;
  double number;
  bool operator==(const Cell&) const = default;
};

void PrintTo(const Cell& c, std::ostream* os) {
  *os << SheetCellName(c.row, c.column) << " kind " << static_cast<int>(c.kind) << " '"
      << c.text << "' " << c.number;
}

Cell Text(uint32_t row, uint32_t column, std::string text) {
  return {row, column, SheetValueKind::kText, std::move(text), 0};
}
Cell Value(uint32_t row, uint32_t column, SheetValueKind kind, double number) {
  return {row, column, kind, "", number};
}

std::vector<Cell> CellsOf(const SheetData& sheet) {
  std::vector<Cell> out;
  for (const SheetCell& c : sheet.cells()) {
    EXPECT_FALSE(c.textIsGbk);
    out.push_back({c.row, c.column, c.kind, std::string(sheet.TextOf(c)), c.number});
  }
  std::sort(out.begin(), out.end(), [](const Cell& a, const Cell& b) {
    return std::tie(a.row, a.column) < std::tie(b.row, b.column);
  });
  return out;
}

std::vector<Cell> Read(const std::string& name) {
  SheetData sheet;
  const Status result = ReadXlsSheet(Fixture(name), sheet);
  EXPECT_TRUE(result.ok()) << result.message();
  return CellsOf(sheet);
}

TEST(XlsReader, FirstSheetOnlyHeaderAndTwoRows) {
  EXPECT_EQ(Read("header_two_rows.xls"),
            (std::vector<Cell>{Text(0, 0, "Code"), Text(0, 1, "Name"), Text(1, 0, "A001"),
                               Text(1, 1, "Apple"), Text(2, 0, "A002"), Text(2, 1, "Pear")}));
}

TEST(XlsReader, CellsKeepTheirSheetPositions) {
  EXPECT_EQ(Read("from_b3.xls"),
            (std::vector<Cell>{Text(2, 1, "Code"), Text(2, 2, "Price"), Text(3, 1, "X1"),
                               Value(3, 2, SheetValueKind::kNumber, 12.5)}));
}

TEST(XlsReader, HeaderOnlySheetGivesOneRow) {
  EXPECT_EQ(Read("header_only.xls"),
            (std::vector<Cell>{Text(0, 0, "Code"), Text(0, 1, "Name")}));
}

TEST(XlsReader, TextNumbersDatesAndTimes) {
  const double day = DateSerial(2026, 12, 9);
  const std::vector<Cell> cells = Read("values.xls");
  const std::vector<Cell> expected = {
      Text(0, 0, "名称"),
      Text(0, 1, "价格"),
      Text(1, 0, "苹果"),
      Value(1, 1, SheetValueKind::kNumber, 42),
      Value(1, 2, SheetValueKind::kNumber, -0.1),
      Value(1, 3, SheetValueKind::kNumber, 123456789012.0),
      Value(2, 0, SheetValueKind::kDate, day),
      Value(2, 1, SheetValueKind::kDateTime, day + TimeFraction(8, 5, 0)),
      Value(2, 2, SheetValueKind::kTime, TimeFraction(13, 30, 15)),
      Value(2, 3, SheetValueKind::kDate, 61),
      // FreeXL 1.0.6 gives booleans as the numbers 1 and 0, and an error
      // cell (#DIV/0!, #N/A) as the number 1.
      Value(3, 0, SheetValueKind::kNumber, 1),
      Value(3, 1, SheetValueKind::kNumber, 0),
      Value(3, 2, SheetValueKind::kNumber, 1),
      Value(3, 3, SheetValueKind::kNumber, 1),
      Text(4, 0, "  two spaces around  "),
  };
  ASSERT_EQ(cells.size(), expected.size());
  for (size_t i = 0; i < cells.size(); ++i) {
    // A date-time's serial goes through a text form: compare to the second.
    EXPECT_EQ(cells[i].kind, expected[i].kind) << i;
    EXPECT_EQ(cells[i].text, expected[i].text) << i;
    EXPECT_NEAR(cells[i].number, expected[i].number, 0.5 / 86400) << i;
    EXPECT_EQ(std::tie(cells[i].row, cells[i].column),
              std::tie(expected[i].row, expected[i].column)) << i;
  }
}

TEST(XlsReader, ColumnsBeyondTheLimitAreNotDelivered) {
  const std::vector<Cell> cells = Read("forty_columns.xls");
  ASSERT_EQ(cells.size(), 2 * kSheetReadColumns);
  EXPECT_EQ(cells.front(), Text(0, 0, "H1"));
  EXPECT_EQ(cells[kSheetReadColumns - 1], Text(0, kSheetReadColumns - 1, "H33"));
  EXPECT_EQ(cells.back(), Value(1, kSheetReadColumns - 1, SheetValueKind::kNumber, 33));
}

TEST(XlsReader, UnreadableFilesFailWithAReasonAndAnEmptySheet) {
  testing::TempDir dir;
  const std::string whole = testing::ReadFile(Fixture("values.xls"));
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {(dir.path() / "missing.xls").string(), "cannot be opened"},
      {dir.Write("text.xls", std::string(600, 'x')), "not an XLS"},
      {dir.Write("short_text.xls", "Code,Name\r\nA001,Apple\r\n"), "cut short, or not an XLS"},
      {dir.Write("empty.xls", ""), "cut short"},
      {dir.Write("half.xls", whole.substr(0, whole.size() / 2)), "cut short"},
      {dir.Write("container_only.xls", whole.substr(0, 512)), "cut short"},
  };
  for (const auto& c : cases) {
    SheetData sheet;
    sheet.AddText(0, 0, "left over");
    const Status result = ReadXlsSheet(c.path, sheet);
    EXPECT_FALSE(result.ok()) << c.path;
    EXPECT_NE(result.message().find(c.reason), std::string::npos) << result.message();
    EXPECT_FALSE(result.message().empty());
    EXPECT_TRUE(sheet.cells().empty()) << c.path;
  }
}

}  // namespace
}  // namespace tabrelium
