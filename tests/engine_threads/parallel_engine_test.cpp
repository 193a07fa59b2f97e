// The cut and the table image come out the same however many threads do the
// work: random product lists, cut and built once on one thread and once on
// several, must agree in every cell, width, report and image byte.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "data/table_image.h"
#include "data/text_cutter.h"
#include "data/work_parts.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

// Lines of a shop's export with everything that makes cutting hard: keys
// that repeat (the sort must keep row order), keys longer than the sort's
// 16-byte prefix, GBK names whose second bytes look like ASCII, quoted
// fields with separators inside, cells past 63 bytes, lines with too many or
// too few fields, and empty lines.
std::string RandomProductList(std::mt19937& random, size_t bytes, std::string_view lineEnd) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  std::string text = "barcode,name,price,stock";
  text += lineEnd;
  while (text.size() < bytes) {
    switch (pick(40)) {
      case 0:
        text += lineEnd;  // an empty line
        continue;
      case 1:
        text += "\"quoted, with a comma\",\"x\"\"y\",1";
        break;
      case 2:
        text += std::string(70 + pick(30), 'L') + ",\xB3\xA4" + std::string(80, 'n');
        break;
      case 3:
        for (int i = 0; i < 40; ++i) text += "f,";  // more than 32 fields
        break;
      case 4:
        text += "69" + std::string(20, '0' + pick(10));  // a key past the prefix
        break;
      default: {
        // Few distinct keys, so that equal keys are common.
        text += "69" + std::to_string(100000 + pick(50000));
        text += ',';
        for (int i = pick(8); i >= 0; --i) {
          text += static_cast<char>(0xB0 + pick(0x40));
          text += static_cast<char>(0x40 + pick(0x3F));  // 0x40..0x7E: ASCII-looking
        }
        if (pick(3) != 0) text += "," + std::to_string(pick(1000)) + "." + std::to_string(pick(100));
        if (pick(2) != 0) text += "," + std::to_string(pick(500));
      }
    }
    text += lineEnd;
  }
  return text;
}

struct Built {
  testing::LoadedText loaded;
  TableImage image;
};

void CutAndBuild(const std::string& text, int threads, Built& out) {
  SetEngineThreads(threads);
  FieldTable table = MakeDefaultFieldTable();
  table.fields[2] = table.fields[1];
  table.fields[2].extractColn = 3;
  table.fieldCount = 3;
  testing::LoadAndCut(text, table, out.loaded);
  std::tm date{};
  date.tm_year = 126;
  date.tm_mday = 1;
  BuildTableImage(out.loaded.cells, table, out.image, date);
  SetEngineThreads(0);
}

TEST(ParallelEngine, SeveralThreadsCutAndBuildWhatOneDoes) {
  for (const std::string_view lineEnd : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(::testing::Message() << "line end of " << lineEnd.size() << " byte(s)");
    std::mt19937 random(static_cast<unsigned>(lineEnd.size() * 7 + lineEnd[0]));
    // Large enough for four parts of the cut and of the image's rows.
    const std::string text = RandomProductList(random, size_t{5} << 20, lineEnd);
    Built one, several;
    CutAndBuild(text, 1, one);
    CutAndBuild(text, 4, several);
    const CellTable& a = one.loaded.cells;
    const CellTable& b = several.loaded.cells;
    ASSERT_GT(a.rowCount, 100000);
    EXPECT_EQ(a.rowCount, b.rowCount);
    EXPECT_EQ(a.columnCount, b.columnCount);
    EXPECT_EQ(a.columnWidths, b.columnWidths);
    EXPECT_EQ(a.report.cutCells, b.report.cutCells);
    EXPECT_GT(a.report.cutCells, 0);
    EXPECT_EQ(a.report.firstCutRow, b.report.firstCutRow);
    EXPECT_EQ(a.report.firstCutColumn, b.report.firstCutColumn);
    EXPECT_EQ(a.report.linesOverMaxColumns, b.report.linesOverMaxColumns);
    EXPECT_EQ(a.storedRows, b.storedRows);
    EXPECT_EQ(a.cellsPerRow, b.cellsPerRow);
    EXPECT_TRUE(a.rowFirstCell == b.rowFirstCell);
    EXPECT_TRUE(a.cellRef == b.cellRef);
    ASSERT_EQ(one.image.imageSize, several.image.imageSize);
    EXPECT_TRUE(one.image.bytes == several.image.bytes);
  }
}

// A line count older than the text (a recut that did not count again) must
// stop the cut where the one-thread walk stops, report included.
TEST(ParallelEngine, AStaleLineCountStopsEveryPartAtTheSameRow) {
  std::mt19937 random(11);
  const std::string text = RandomProductList(random, size_t{3} << 20, "\r\n");
  CellTable one, several;
  FieldTable table = MakeDefaultFieldTable();
  testing::LoadedText loaded;
  testing::LoadAndCut(text, table, loaded);
  for (CellTable* cells : {&one, &several}) {
    SetEngineThreads(cells == &one ? 1 : 4);
    cells->lineCount = loaded.cells.lineCount / 3;
    cells->fieldsPerLine = loaded.cells.fieldsPerLine;
    BuildCellTable(loaded.buffer, table, *cells);
  }
  SetEngineThreads(0);
  EXPECT_EQ(one.storedRows, loaded.cells.lineCount / 3 - 1);
  EXPECT_EQ(one.storedRows, several.storedRows);
  EXPECT_TRUE(one.rowFirstCell == several.rowFirstCell);
  EXPECT_TRUE(one.cellRef == several.cellRef);
  EXPECT_EQ(one.columnWidths, several.columnWidths);
  EXPECT_EQ(one.report.cutCells, several.report.cutCells);
}

}  // namespace
}  // namespace tabrelium
