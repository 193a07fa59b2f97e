// The text cutter: lines, quote modes, fields, detection, clamping, the cell
// table, and a literal byte-walking model of the cutting rules that the fast
// cutter must agree with on random text.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/text_cutter.h"
#include "data/text_loader.h"
#include "tests/test_support.h"
#include "common/gbk.h"

namespace tabrelium {
namespace {

using testing::LoadAndCut;
using testing::LoadedText;

constexpr uint8_t kComma = 1, kSemicolon = 3, kBar = 5;

FieldTable TableWith(int32_t startLine, uint8_t separatorIndex = 0) {
  FieldTable table = MakeDefaultFieldTable();
  table.startLine = startLine;
  table.separatorIndex = separatorIndex;
  return table;
}

std::string Cell(const CellTable& cells, int32_t row, int32_t column) {
  char buf[kCellBufferSize];
  GetCell(cells, row, column, buf);
  return buf;
}

std::vector<std::string> Row(const CellTable& cells, int32_t row) {
  std::vector<std::string> out;
  for (int32_t c = 1; c <= cells.columnCount; ++c) out.push_back(Cell(cells, row, c));
  return out;
}

using Cells = std::vector<std::string>;

TEST(CellTable, CommaFileWithoutHeading) {
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut("a,b,c\r\n1,2,3\r\n", table, t);
  EXPECT_EQ(t.cells.lineCount, 2);
  EXPECT_EQ(t.cells.rowCount, 2);
  EXPECT_EQ(t.cells.columnCount, 3);
  EXPECT_EQ(Row(t.cells, 1), (Cells{"a", "b", "c"}));
  EXPECT_EQ(Row(t.cells, 2), (Cells{"1", "2", "3"}));
  for (int c = 1; c <= 3; ++c) EXPECT_EQ(GetColumnWidth(t.cells, c), 1);
}

TEST(CellTable, MissingFinalLineEndAndEmptyLines) {
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut("a,b\r\nc,d\r\n\r\ne,f", table, t);
  EXPECT_EQ(t.buffer.textLength, 17);  // CR LF appended
  EXPECT_EQ(t.cells.lineCount, 4);
  EXPECT_EQ(Row(t.cells, 3), (Cells{"", ""}));
  EXPECT_EQ(Row(t.cells, 4), (Cells{"e", "f"}));
}

// A file is cut at the line end it was written with; one holding any CR LF
// is cut at CR LF alone, so a quoted cell may hold a line break.
TEST(CellTable, LinesEndAsTheFileEndsThem) {
  struct Case {
    std::string text;
    int32_t lines;
    std::vector<Cells> rows;
  };
  const Case cases[] = {
      {"h,x\na,b\nc,d\n", 3, {{"a", "b"}, {"c", "d"}}},
      {"h,x\na,b\nc,d", 3, {{"a", "b"}, {"c", "d"}}},
      {"h,x\ra,b\rc,d\r", 3, {{"a", "b"}, {"c", "d"}}},
      {"h,x\r\na,\"b\nc\"\r\nd,e\ne\r\n", 3, {{"a", "b\nc"}, {"d", "e\ne"}}},
      {"h,x\r\na,b\rc\r\nd,e\r\n", 3, {{"a", "b\rc"}, {"d", "e"}}},
  };
  for (const Case& c : cases) {
    FieldTable table = TableWith(1, kComma);
    LoadedText t;
    LoadAndCut(c.text, table, t);
    EXPECT_EQ(t.cells.lineCount, c.lines) << c.text;
    ASSERT_EQ(t.cells.rowCount, static_cast<int32_t>(c.rows.size())) << c.text;
    for (int32_t r = 1; r <= t.cells.rowCount; ++r) EXPECT_EQ(Row(t.cells, r), c.rows[r - 1]) << c.text;
  }
}

TEST(CellTable, ShortRowsAndOutOfRangeCells) {
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut("a,b,c\r\nx,y,z\r\nq\r\n", table, t);
  char buf[kCellBufferSize] = "junk";
  EXPECT_TRUE(GetCell(t.cells, 3, 3, buf));
  EXPECT_STREQ(buf, "");
  for (auto [r, c] : {std::pair{0, 1}, {1, 0}, {4, 1}, {1, 4}}) {
    strcpy(buf, "junk");
    EXPECT_FALSE(GetCell(t.cells, r, c, buf)) << r << "," << c;
    EXPECT_STREQ(buf, "");
  }
  EXPECT_EQ(GetColumnTitle(t.cells, 3), "3");
  EXPECT_EQ(GetColumnTitle(t.cells, 4), "");
}

// Rows that all store as many cells drop the row index; one row that ends
// with an empty cell, which is not stored, keeps it. Clearing the table
// gives its blocks back.
TEST(CellTable, RowIndexOnlyWhenRowsStoreDifferentCounts) {
  struct Case {
    const char* text;
    bool indexed;
    Cells lastRow;
  };
  for (const Case& c : {Case{"a,b\r\nc,d\r\ne,f\r\n", false, {"e", "f"}},
                        Case{"a,b\r\nc,\r\ne,f\r\n", true, {"e", "f"}},
                        Case{"a,b\r\ne,f\r\nc,\r\n", true, {"c", ""}}}) {
    FieldTable table = TableWith(0, kComma);
    LoadedText t;
    LoadAndCut(c.text, table, t);
    EXPECT_EQ(!t.cells.rowFirstCell.empty(), c.indexed) << c.text;
    EXPECT_EQ(t.cells.storedRows, 3) << c.text;
    EXPECT_EQ(Row(t.cells, 1), (Cells{"a", "b"})) << c.text;
    EXPECT_EQ(Row(t.cells, 3), c.lastRow) << c.text;
    EXPECT_EQ(Cell(t.cells, 4, 1), "") << c.text;
    ClearCellTable(t.cells);
    EXPECT_EQ(t.cells.cellRef.capacity() + t.cells.rowFirstCell.capacity(), 0u) << c.text;
  }
}

TEST(QuoteModes, OddQuoteCountMakesQuotesOrdinary) {
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut("\"a,b,c\r\n\"x,y,z\r\n", table, t);
  EXPECT_EQ(Row(t.cells, 1), (Cells{"\"a", "b", "c"}));
}

TEST(QuoteModes, QuotedValues) {
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut("\"x,y\",\"ab\"\"cd\",\"\",z\r\n1,2,3,4\r\n", table, t);
  EXPECT_EQ(t.cells.columnCount, 4);
  EXPECT_EQ(Row(t.cells, 1), (Cells{"x,y", "ab", "", "z"}));
}

TEST(QuoteModes, QuoteInsideUnquotedFieldCopiesButHidesSeparator) {
  const TextView view{"a\"b,c\"d,e\r\n", "\r\n"};
  EXPECT_EQ(CountFields(view, 0, ','), 2);
  EXPECT_EQ(ExtractField(view, 0, ',', 0), "a\"b");
  EXPECT_EQ(ExtractField(view, 0, ',', 1), "e");
  EXPECT_EQ(ExtractField(view, 0, ',', 2), "");
}

TEST(QuoteModes, CountsOfEdgeLines) {
  auto count = [](std::string_view line) {
    return CountFields(TextView{line, "\r\n"}, 0, ',');
  };
  EXPECT_EQ(count("a,b,c\r\n"), 3);
  EXPECT_EQ(count(",b\r\n"), 2);
  EXPECT_EQ(count("a,\r\n"), 2);
  EXPECT_EQ(count(",\r\n"), 1);
  EXPECT_EQ(count("\r\n"), 0);
  EXPECT_EQ(count("\"\",\"\"\r\n"), 1);
  EXPECT_EQ(count("abc\r\n"), 1);
  EXPECT_EQ(CountFields(TextView{"x", "\r\n"}, std::nullopt, ','), 0);
}

TEST(QuoteModes, QuoteOrCarriageReturnAsSeparator) {
  // The terminator wins over everything, then the quote, then the separator.
  const TextView plain{"a\"b\"c\"\r\n", "\r\n"};  // three quotes: plain mode
  EXPECT_EQ(CountFields(plain, 0, '"'), 4);
  EXPECT_EQ(ExtractField(plain, 0, '"', 1), "b");
  const TextView quoted{"\"a\"b\r\n", "\r\n"};  // two quotes: quoted mode
  EXPECT_EQ(CountFields(quoted, 0, '"'), 1);
  EXPECT_EQ(ExtractField(quoted, 0, '"', 0), "a");
  const TextView cr{"a\rb\r\nc\r\n", "\r\n"};
  EXPECT_EQ(CountFields(cr, 0, '\r'), 2);
  EXPECT_EQ(ExtractField(cr, 0, '\r', 1), "b");
  EXPECT_EQ(NextLine(cr, 0), 5u);
}

TEST(CellCut, SixtyThreeBytesAndWholeCharacters) {
  const std::string seventy(70, 'x');
  const std::string sixtyTwoAndPair = std::string(62, 'y') + "\xD6\xD0";
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut(seventy + "," + sixtyTwoAndPair + "\r\na,b\r\n", table, t);
  EXPECT_EQ(Cell(t.cells, 1, 1), std::string(63, 'x'));
  EXPECT_EQ(Cell(t.cells, 1, 2), std::string(62, 'y'));
  EXPECT_EQ(GetColumnWidth(t.cells, 1), 63);
  EXPECT_EQ(t.cells.report.cutCells, 2);
  EXPECT_EQ(t.cells.report.firstCutRow, 1);
  EXPECT_EQ(t.cells.report.firstCutColumn, 1);
}

TEST(DoubleByteRule, TrailByteEqualToSeparatorIsPartOfItsCharacter) {
  // 0xB0 0x7C is one character although its second byte is '|': two fields
  // per line, not three, for counting, detection and cutting alike.
  FieldTable table = TableWith(0, kBar);
  LoadedText t;
  LoadAndCut("\xB0|x|y\r\n\xB0|a|b\r\n", table, t);
  EXPECT_EQ(table.separatorIndex, kBar);
  EXPECT_EQ(t.cells.columnCount, 2);
  EXPECT_EQ(Row(t.cells, 1), (Cells{"\xB0|x", "y"}));
  EXPECT_EQ(Row(t.cells, 2), (Cells{"\xB0|a", "b"}));
}

TEST(DoubleByteRule, StrayLeadByteDoesNotSwallowSeparatorOrLineEnd) {
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut("\x81,b,\xFE\r\n\x80,\xFF,c\r\n", table, t);
  EXPECT_EQ(t.cells.lineCount, 2);
  EXPECT_EQ(Row(t.cells, 1), (Cells{"\x81", "b", "\xFE"}));
  EXPECT_EQ(Row(t.cells, 2), (Cells{"\x80", "\xFF", "c"}));
}

TEST(Detection, SelectedSeparatorKeptWhenItFindsMoreThanTwo) {
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut("a,b;c,d;e,f;g\r\n1,2;3,4;5,6;7\r\n", table, t);
  EXPECT_EQ(table.separatorIndex, kComma);
  EXPECT_EQ(t.cells.fieldsPerLine, 4);
}

TEST(Detection, TieGoesToTheLowerIndex) {
  FieldTable table = TableWith(0, 0);
  LoadedText t;
  LoadAndCut("a,b;c,d;e,f;g\r\n1,2;3,4;5,6;7\r\n", table, t);
  EXPECT_EQ(table.separatorIndex, kComma);
  EXPECT_EQ(t.cells.fieldsPerLine, 4);
}

TEST(Detection, NoSeparatorAnywherePicksTab) {
  FieldTable table = TableWith(0, kSemicolon);
  LoadedText t;
  LoadAndCut("abc\r\ndef\r\n", table, t);
  EXPECT_EQ(table.separatorIndex, 0);
  EXPECT_EQ(t.cells.columnCount, 1);
}

TEST(Detection, OneDataLineGivesOneColumn) {
  FieldTable table = TableWith(1, kComma);
  LoadedText t;
  LoadAndCut("h1,h2,h3\r\na,b,c\r\n", table, t);
  EXPECT_EQ(t.cells.columnCount, 1);
  EXPECT_EQ(t.cells.rowCount, 1);
}

TEST(Detection, CountsCompareAsEightBitValues) {
  std::string line;
  for (int i = 0; i < 260; ++i) line += (i ? "," : "") + std::to_string(i);
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut(line + "\r\n" + line + "\r\n", table, t);
  EXPECT_EQ(t.cells.fieldsPerLine, 4);  // 260 mod 256
  EXPECT_EQ(t.cells.report.linesOverMaxColumns, 2);
  RecountFields(t.buffer, table, t.cells);  // a full count there
  EXPECT_EQ(t.cells.fieldsPerLine, 32);
}

TEST(Detection, OutOfRangeIndexUsesEntryZero) {
  FieldTable table = TableWith(0, 7);  // no slot 7 without a custom separator
  LoadedText t;
  LoadAndCut("a\tb\tc\r\n1\t2\t3\r\n", table, t);
  EXPECT_EQ(table.separatorIndex, 7);  // kept: TAB found 3 fields
  EXPECT_EQ(t.cells.columnCount, 3);
}

TEST(Recount, CountsTheLineBeforeTheFirstDataLine) {
  FieldTable table = TableWith(1, kComma);
  LoadedText t;
  LoadAndCut("h1,h2,h3,h4\r\na,b\r\nc,d\r\n", table, t);
  RecountFields(t.buffer, table, t.cells);
  EXPECT_EQ(t.cells.fieldsPerLine, 4);
  table.startLine = 0;
  RecountFields(t.buffer, table, t.cells);
  EXPECT_EQ(t.cells.fieldsPerLine, 4);
}

TEST(Clamp, ComparesUnsigned) {
  FieldTable table = TableWith(5);
  CellTable cells;
  cells.lineCount = 3;
  EXPECT_FALSE(ClampStartLine(table, cells));
  EXPECT_EQ(table.startLine, 2);
  EXPECT_TRUE(ClampStartLine(table, cells));
  table.startLine = -1;
  EXPECT_FALSE(ClampStartLine(table, cells));
  EXPECT_EQ(table.startLine, 2);
}

TEST(Loader, LineEndRuleLooksAtTheNextToLastByte) {
  testing::TempDir dir;
  TextBuffer buffer;
  CellTable cells;
  auto load = [&](std::string_view bytes) {
    EXPECT_TRUE(LoadTextFile(dir.Write("f.txt", bytes), buffer, cells));
    return std::string(reinterpret_cast<const char*>(buffer.text.data()),
                       static_cast<size_t>(buffer.textLength));
  };
  EXPECT_EQ(load("a\r\n"), "a\r\n");
  EXPECT_EQ(load("a\r\nb\n"), "a\r\nb\n\r\n");
  EXPECT_EQ(load("a\r\nb\rx"), "a\r\nb\rx");
  EXPECT_EQ(load("a"), "a\r\n");
  // Files without CR LF end with their own line end.
  EXPECT_EQ(load("a\n"), "a\n");
  EXPECT_EQ(load("a\nb"), "a\nb\n");
  EXPECT_EQ(load("a\rx"), "a\rx\r");
  EXPECT_EQ(buffer.text.back(), 0);
}

TEST(Loader, EmptyOrMissingFiles) {
  testing::TempDir dir;
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  ASSERT_TRUE(LoadTextFile(dir.Write("a.csv", "a,b\r\nc,d\r\n"), t.buffer, t.cells));
  CountTextLines(t.buffer, table, t.cells);
  DetectSeparator(t.buffer, table, t.cells);
  BuildCellTable(t.buffer, table, t.cells);
  ASSERT_EQ(t.cells.rowCount, 2);

  EXPECT_FALSE(LoadTextFile((dir.path() / "missing.csv").string(), t.buffer, t.cells));
  EXPECT_EQ(t.cells.rowCount, 2);  // nothing changed
  EXPECT_FALSE(LoadTextFile(dir.path().string(), t.buffer, t.cells));
  EXPECT_EQ(t.cells.rowCount, 2);

  EXPECT_FALSE(LoadTextFile(dir.Write("empty.csv", ""), t.buffer, t.cells));
  EXPECT_EQ(t.cells.rowCount, 0);
  EXPECT_EQ(t.buffer.textLength, 0);
  // The earlier text is still there to be cut again.
  RecountFields(t.buffer, table, t.cells);
  BuildCellTable(t.buffer, table, t.cells);
  EXPECT_EQ(Row(t.cells, 2), (Cells{"c", "d"}));
}

TEST(Loader, NulEndsTheTextAndOversizeIsReported) {
  FieldTable table = TableWith(0, kComma);
  LoadedText t;
  LoadAndCut(std::string("a,b\r\nc,\0d\r\ne,f\r\n", 15), table, t);
  EXPECT_EQ(t.cells.lineCount, 2);
  EXPECT_EQ(Row(t.cells, 2), (Cells{"c", ""}));
  EXPECT_FALSE(t.buffer.WasTruncated());

  testing::TempDir dir;
  std::string big(kMaxTextBytes + 5, 'x');
  ASSERT_TRUE(LoadTextFile(dir.Write("big.txt", big), t.buffer, t.cells));
  EXPECT_EQ(t.buffer.textLength, kMaxTextBytes + 2);
  EXPECT_EQ(t.buffer.sourceSize, kMaxTextBytes + 5);
  EXPECT_TRUE(t.buffer.WasTruncated());
}

// A literal model of the cutting rules: every field is found by walking from
// its line's start, quoted sections are passed byte by byte and may run over
// a terminator, and copying checks the terminator at every character.
class LiteralCutter {
 public:
  LiteralCutter(std::string_view text, std::string_view lineEnd, uint8_t sep)
      : t_(text), sep_(sep), end_(lineEnd) {}

  std::vector<Cells> Rows(int32_t startLine, int32_t columns) const {
    std::vector<size_t> lines{0};
    for (;;) {
      std::optional<size_t> next = NextLine(lines.back());
      if (!next) break;
      lines.push_back(*next);
    }
    std::vector<Cells> rows;
    for (size_t i = static_cast<size_t>(startLine); i < lines.size(); ++i) {
      Cells row;
      for (int32_t c = 0; c < columns; ++c) row.push_back(Extract(lines[i], c));
      rows.push_back(row);
    }
    return rows;
  }

 private:
  bool LineEnd(size_t i) const { return t_.compare(i, end_.size(), end_) == 0; }
  size_t CharLen(size_t i) const { return GbkCharLength(t_, i); }

  bool Quoted(size_t line) const {
    int quotes = 0;
    for (size_t i = line; i < t_.size() && !LineEnd(i); ++i) quotes += t_[i] == '"';
    return quotes % 2 == 0;
  }

  size_t PassSection(size_t i) const {  // i at an opening quote
    size_t j = i + 1;
    while (j < t_.size() && t_[j] != '"') ++j;
    return j < t_.size() ? j + 1 : j;
  }

  std::optional<size_t> NextLine(size_t line) const {
    const bool quoted = Quoted(line);
    size_t i = line;
    while (i < t_.size()) {
      if (LineEnd(i)) return i + end_.size() < t_.size() ? std::optional(i + end_.size()) : std::nullopt;
      if (quoted && t_[i] == '"') { i = PassSection(i); continue; }
      i += CharLen(i);
    }
    return std::nullopt;
  }

  std::string Extract(size_t line, int32_t n) const {
    const bool quoted = Quoted(line);
    size_t i = line;
    int32_t passed = 0;
    while (passed < n && i < t_.size() && !LineEnd(i)) {
      if (quoted && t_[i] == '"') { i = PassSection(i); continue; }
      if (CharLen(i) == 1 && static_cast<uint8_t>(t_[i]) == sep_) ++passed;
      i += CharLen(i);
    }
    if (passed < n) return {};
    std::string out;
    auto copy = [&](size_t at) {  // false once the cell is full
      const size_t len = CharLen(at);
      if (out.size() + len >= kCellBufferSize) return false;
      out.append(t_.substr(at, len));
      return true;
    };
    if (i < t_.size() && !LineEnd(i) && quoted && t_[i] == '"') {
      for (size_t j = i + 1; j < t_.size() && t_[j] != '"'; j += CharLen(j))
        if (!copy(j)) break;
      return out;
    }
    for (size_t j = i; j < t_.size() && !LineEnd(j); j += CharLen(j)) {
      if (CharLen(j) == 1 && static_cast<uint8_t>(t_[j]) == sep_ && !(quoted && sep_ == '"')) break;
      if (!copy(j)) break;
    }
    return out;
  }

  std::string_view t_;
  uint8_t sep_;
  std::string_view end_;
};

TEST(CellTable, AgreesWithTheLiteralRulesOnRandomText) {
  const std::string alphabet[] = {"a", "b", ",", "|", "\t", "\"", "\r\n", "\r", "\n",
                                  "\xB0\xA1", "\xB0|", "\x81", "\x80", "\xFF", " ",
                                  std::string(40, 'z')};
  const uint8_t seps[] = {',', '|', '\t', '"', '\r', 0xB0};
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int pieces = static_cast<int>(rng() % 40);
    for (int i = 0; i < pieces; ++i) text += alphabet[rng() % std::size(alphabet)];
    FieldTable table = TableWith(static_cast<int32_t>(rng() % 3), 0);
    table.separatorCount = 8;
    table.separators[7].code = seps[rng() % std::size(seps)];
    table.separatorIndex = 7;
    LoadedText t;
    if (!LoadTextBytes(text, static_cast<int64_t>(text.size()), t.buffer, t.cells)) continue;
    CountTextLines(t.buffer, table, t.cells);
    ClampStartLine(table, t.cells);
    t.cells.fieldsPerLine = 1 + static_cast<int32_t>(rng() % 6);
    BuildCellTable(t.buffer, table, t.cells);

    const std::string_view loaded(reinterpret_cast<const char*>(t.buffer.text.data()),
                                  static_cast<size_t>(t.buffer.textEnd));
    const auto expected =
        LiteralCutter(loaded, t.buffer.lineEnd, table.separators[7].code).Rows(table.startLine, t.cells.columnCount);
    ASSERT_EQ(static_cast<size_t>(t.cells.rowCount), expected.size()) << ::testing::PrintToString(text);
    for (int32_t r = 1; r <= t.cells.rowCount; ++r)
      ASSERT_EQ(Row(t.cells, r), expected[r - 1]) << "row " << r << " of "
                                                   << ::testing::PrintToString(text);
  }
}

TEST(CellTable, BinaryGarbageNeverBreaksTheTable) {
  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    std::string text(rng() % 5000, '\0');
    for (char& c : text) c = static_cast<char>(rng());
    FieldTable table = TableWith(static_cast<int32_t>(rng() % 4));
    LoadedText t;
    LoadAndCut(text, table, t);
    ASSERT_GE(t.cells.rowCount, 1);
    for (int32_t r = 1; r <= t.cells.rowCount; ++r)
      for (int32_t c = 1; c <= t.cells.columnCount; ++c)
        ASSERT_LE(t.cells.CellText(r, c).size(), GetColumnWidth(t.cells, c));
  }
}

}  // namespace
}  // namespace tabrelium
