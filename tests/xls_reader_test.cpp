// The XLS reader on workbooks from independent writers (xlwt, LibreOffice,
// Gnumeric; tests/fixtures/xls, see its README) and on containers built
// here: the first sheet only, positions from the sheet's corner, text,
// numbers, dates and times, booleans, error values, formula results, strings
// run on into CONTINUE records, Excel 95 text in its code page, the 1904
// date system, the same sheet as XLSX, and damaged or hostile files.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "common/byte_order.h"
#include "common/gbk_utf8.h"
#include "data/spreadsheet_loader.h"
#include "sheets/sheet_dates.h"
#include "sheets/sheet_limits.h"
#include "sheets/sheet_reader.h"
#include "sheets/xls_reader.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

std::string Fixture(const std::string& name) {
  return std::string(TABRELIUM_FIXTURES_DIR) + "/xls/" + name;
}

// A cell as the tests compare it: position, kind, and text (UTF-8; `gbk`
// says the sheet held it as GBK) or number.
struct Cell {
  uint32_t row, column;
  SheetValueKind kind;
  std::string text;
  double number;
  bool gbk = false;
  bool operator==(const Cell&) const = default;
};

void PrintTo(const Cell& c, std::ostream* os) {
  *os << SheetCellName(c.row, c.column) << " kind " << static_cast<int>(c.kind) << " '"
      << c.text << "' " << c.number << (c.gbk ? " GBK" : "");
}

Cell Text(uint32_t row, uint32_t column, std::string text) {
  return {row, column, SheetValueKind::kText, std::move(text), 0};
}
Cell Gbk(uint32_t row, uint32_t column, std::string utf8) {
  return {row, column, SheetValueKind::kText, std::move(utf8), 0, true};
}
Cell Value(uint32_t row, uint32_t column, SheetValueKind kind, double number) {
  return {row, column, kind, "", number};
}
Cell Number(uint32_t row, uint32_t column, double number) {
  return Value(row, column, SheetValueKind::kNumber, number);
}
Cell Boolean(uint32_t row, uint32_t column, bool value) {
  return Value(row, column, SheetValueKind::kBoolean, value ? 1 : 0);
}
Cell Error(uint32_t row, uint32_t column, std::string text) {
  return {row, column, SheetValueKind::kError, std::move(text), 0};
}

std::vector<Cell> CellsOf(const SheetData& sheet) {
  std::vector<Cell> out;
  for (const SheetCell& c : sheet.cells()) {
    const std::string text(sheet.TextOf(c));
    out.push_back({c.row, c.column, c.kind, c.textIsGbk ? GbkToUtf8(text) : text, c.number,
                   c.textIsGbk});
  }
  std::sort(out.begin(), out.end(), [](const Cell& a, const Cell& b) {
    return std::tie(a.row, a.column) < std::tie(b.row, b.column);
  });
  return out;
}

std::vector<Cell> Read(const std::string& name) {
  SheetData sheet;
  const Status result = ReadXlsSheet(Fixture(name), sheet);
  EXPECT_TRUE(result.ok()) << name << ": " << result.message();
  return CellsOf(sheet);
}

// Dates and times compared to the second, numbers exactly.
void ExpectCells(const std::vector<Cell>& cells, const std::vector<Cell>& expected,
                 const std::string& name) {
  ASSERT_EQ(cells.size(), expected.size()) << name;
  for (size_t i = 0; i < cells.size(); ++i) {
    Cell got = cells[i];
    if (std::abs(got.number - expected[i].number) < 0.5 / 86400) got.number = expected[i].number;
    EXPECT_EQ(got, expected[i]) << name << " #" << i;
  }
}

TEST(XlsReader, FirstSheetOnlyHeaderAndTwoRows) {
  EXPECT_EQ(Read("header_two_rows.xls"),
            (std::vector<Cell>{Text(0, 0, "Code"), Text(0, 1, "Name"), Text(1, 0, "A001"),
                               Text(1, 1, "Apple"), Text(2, 0, "A002"), Text(2, 1, "Pear")}));
}

TEST(XlsReader, CellsKeepTheirSheetPositions) {
  EXPECT_EQ(Read("from_b3.xls"),
            (std::vector<Cell>{Text(2, 1, "Code"), Text(2, 2, "Price"), Text(3, 1, "X1"),
                               Number(3, 2, 12.5)}));
  EXPECT_EQ(Read("header_only.xls"), (std::vector<Cell>{Text(0, 0, "Code"), Text(0, 1, "Name")}));
}

// Each writer's workbook, cell by cell.
TEST(XlsReader, ValuesFromIndependentWriters) {
  const double day = DateSerial(2026, 12, 9);
  const struct {
    const char* name;
    std::vector<Cell> cells;
  } cases[] = {
      // xlwt: typed booleans and error values (BOOLERR), dates by built-in
      // and custom formats.
      {"values.xls",
       {Text(0, 0, "名称"), Text(0, 1, "价格"), Text(1, 0, "苹果"), Number(1, 1, 42),
        Number(1, 2, -0.1), Number(1, 3, 123456789012.0),
        Value(2, 0, SheetValueKind::kDate, day),
        Value(2, 1, SheetValueKind::kDateTime, day + TimeFraction(8, 5, 0)),
        Value(2, 2, SheetValueKind::kTime, TimeFraction(13, 30, 15)),
        Value(2, 3, SheetValueKind::kDate, 61), Boolean(3, 0, true), Boolean(3, 1, false),
        Error(3, 2, "#DIV/0!"), Error(3, 3, "#N/A"), Text(4, 0, "two spaces around")}},
      // Gnumeric: formulas by their cached result (number, text with its
      // STRING record, booleans, errors, an empty text that is no value);
      // the header's "true" and "false" became typed booleans.
      {"formulas.xls",
       {Text(0, 0, "number"), Text(0, 1, "text"), Boolean(0, 2, true), Boolean(0, 3, false),
        Text(0, 4, "error"), Text(0, 5, "empty"), Text(0, 6, "na"), Number(1, 0, 42),
        Text(1, 1, "abcd"), Boolean(1, 2, true), Boolean(1, 3, false), Error(1, 4, "#DIV/0!"),
        Error(1, 6, "#N/A")}},
      // LibreOffice, counting dates from 1904: serials come out in the
      // 1900 count, a plain number stays a number.
      {"date1904.xls",
       {Text(0, 0, "date"), Text(0, 1, "datetime"), Text(0, 2, "time"),
        Value(1, 0, SheetValueKind::kDate, day),
        Value(1, 1, SheetValueKind::kDateTime, day + TimeFraction(8, 5, 0)),
        Value(1, 2, SheetValueKind::kTime, TimeFraction(13, 30, 15)),
        Value(2, 0, SheetValueKind::kDate, DateSerial(1904, 1, 2)), Number(2, 1, 1.5),
        Value(2, 2, SheetValueKind::kDate, DateSerial(1999, 12, 31))}},
      // Gnumeric's Excel 95 (BIFF5) writer: code page 1252 decoded, a date
      // through its FORMAT record.
      {"latin_biff5.xls",
       {Text(0, 0, "Name"), Text(0, 1, "Price"), Text(0, 2, "Date"), Text(1, 0, "Café"),
        Number(1, 1, 2.5), Value(1, 2, SheetValueKind::kDate, day), Text(2, 0, "Zoë Straße"),
        Number(2, 1, 3), Value(2, 2, SheetValueKind::kDate, DateSerial(1999, 12, 31))}},
      // The same writer in code page 936: the bytes go to the sheet as GBK.
      {"gbk_biff5.xls",
       {Gbk(0, 0, "名称"), Gbk(0, 1, "价格"), Gbk(0, 2, "Code"), Gbk(1, 0, "苹果"),
        Number(1, 1, 4.5), Gbk(1, 2, "A001"), Gbk(2, 0, "梨子"), Number(2, 1, 3),
        Gbk(2, 2, "A002")}},
  };
  for (const auto& c : cases) ExpectCells(Read(c.name), c.cells, c.name);
}

// xlwt's shared string table passes 8,224 bytes twice: a 9,010-character
// string and a Chinese one run on into CONTINUE records, each of which
// starts with its own flag byte before the rest of the characters.
TEST(XlsReader, SharedStringsRunOnIntoContinueRecords) {
  const std::vector<Cell> cells = Read("continued_strings.xls");
  ASSERT_EQ(cells.size(), 602u);
  EXPECT_EQ(cells[0], Text(0, 0, "long"));
  std::string abc;
  while (abc.size() < kKeptValueCharacters) abc += "abc";
  EXPECT_EQ(cells[1], Text(0, 1, abc.substr(0, kKeptValueCharacters)));
  for (uint32_t i = 0; i < 600; ++i) {
    char text[64];
    if (i % 2 == 0) std::snprintf(text, sizeof text, "item %04u latin", i);
    else std::snprintf(text, sizeof text, "品名%04u农夫山泉", i);
    ASSERT_EQ(cells[i + 2], Text(i + 1, 0, text));
  }
}

// One LibreOffice sheet saved as XLS and as XLSX loads to the same text.
TEST(XlsReader, SameSheetAsXlsxGivesTheSameText) {
  std::string texts[2];
  const char* names[2] = {"same_sheet.xls", "same_sheet.xlsx"};
  const SheetFormat formats[2] = {SheetFormat::kXls, SheetFormat::kXlsx};
  for (int i = 0; i < 2; ++i) {
    TextBuffer buffer;
    CellTable cells;
    SpreadsheetReport report;
    const Status loaded = LoadSpreadsheet(formats[i], Fixture(names[i]), buffer, cells, report);
    ASSERT_TRUE(loaded.ok()) << names[i] << ": " << loaded.message();
    texts[i].assign(reinterpret_cast<const char*>(buffer.text.data()),
                    static_cast<size_t>(buffer.textLength));
  }
  EXPECT_NE(texts[0].find(Utf8ToGbk("农夫山泉 550ml")), std::string::npos) << GbkToUtf8(texts[0]);
  EXPECT_EQ(GbkToUtf8(texts[0]), GbkToUtf8(texts[1]));
}

TEST(XlsReader, ColumnsBeyondTheLimitAreNotDelivered) {
  const std::vector<Cell> cells = Read("forty_columns.xls");
  ASSERT_EQ(cells.size(), 2 * kSheetReadColumns);
  EXPECT_EQ(cells.front(), Text(0, 0, "H1"));
  EXPECT_EQ(cells[kSheetReadColumns - 1], Text(0, kSheetReadColumns - 1, "H33"));
  EXPECT_EQ(cells.back(), Number(1, kSheetReadColumns - 1, 33));
}

// --- Workbooks built here, for what no office program writes ---

std::string Record(uint16_t id, std::string_view data) {
  std::string out(4, '\0');
  PutLe16(reinterpret_cast<uint8_t*>(out.data()), id);
  PutLe16(reinterpret_cast<uint8_t*>(out.data()) + 2, static_cast<uint16_t>(data.size()));
  return out.append(data);
}
std::string Le16(uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(static_cast<uint16_t>(v)) + Le16(static_cast<uint16_t>(v >> 16)); }
std::string Bof(uint16_t substream) { return Record(0x0809, Le16(0x0600) + Le16(substream) + std::string(12, '\0')); }
std::string Eof() { return Record(0x000A, ""); }
std::string CellHead(uint16_t row, uint16_t column) { return Le16(row) + Le16(column) + Le16(0); }

// An Excel 97 workbook stream: globals (with `globals` inside), then one
// worksheet holding `cells`. Padding in the globals keeps the stream out
// of the container's small-stream area.
std::string Workbook(const std::string& globals, const std::string& cells) {
  // The sheet list entry: where the sheet's BOF is, visible, a worksheet, "S".
  const auto sheetEntry = [](uint32_t at) {
    return Record(0x0085, Le32(at) + std::string("\0\0\x01\0S", 5));
  };
  std::string head = Bof(0x0005) + Record(0x00EF, std::string(4200, '\0')) + globals;
  const auto sheetAt = static_cast<uint32_t>(head.size() + sheetEntry(0).size() + Eof().size());
  head += sheetEntry(sheetAt) + Eof();
  return head + Bof(0x0010) + cells;
}

constexpr uint32_t kEndOfChain = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSector = 0xFFFFFFFD;

// A compound file with 512-byte sectors: header, one FAT sector, one
// directory sector (the root and a "Workbook" stream), then the stream.
std::string Container(const std::string& stream) {
  const uint32_t sectors = static_cast<uint32_t>((stream.size() + 511) / 512);
  std::string file(512 * (3 + sectors), '\0');
  auto* p = reinterpret_cast<uint8_t*>(file.data());
  const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(p, signature, 8);
  PutLe16(p + 0x18, 0x3E);
  PutLe16(p + 0x1A, 3);
  PutLe16(p + 0x1C, 0xFFFE);
  PutLe16(p + 0x1E, 9);
  PutLe16(p + 0x20, 6);
  PutLe32(p + 0x2C, 1);  // FAT sectors
  PutLe32(p + 0x30, 1);  // first directory sector
  PutLe32(p + 0x38, 4096);
  PutLe32(p + 0x3C, kEndOfChain);
  PutLe32(p + 0x44, kEndOfChain);
  PutLe32(p + 0x4C, 0);  // the FAT is sector 0
  for (int i = 1; i < 109; ++i) PutLe32(p + 0x4C + 4 * i, kFree);
  uint8_t* fat = p + 512;
  for (uint32_t i = 0; i < 128; ++i) PutLe32(fat + 4 * i, kFree);
  PutLe32(fat, kFatSector);
  PutLe32(fat + 4, kEndOfChain);
  for (uint32_t i = 0; i < sectors; ++i) PutLe32(fat + 4 * (2 + i), i + 1 < sectors ? 3 + i : kEndOfChain);
  uint8_t* dir = p + 1024;
  const auto entry = [&](int index, std::u16string_view name, uint8_t type, uint32_t child,
                         uint32_t start, uint32_t size) {
    uint8_t* e = dir + 128 * index;
    for (size_t i = 0; i < name.size(); ++i) PutLe16(e + 2 * i, name[i]);
    PutLe16(e + 64, static_cast<uint16_t>(2 * (name.size() + 1)));
    e[66] = type;
    e[67] = 1;
    PutLe32(e + 68, kFree);
    PutLe32(e + 72, kFree);
    PutLe32(e + 76, child);
    PutLe32(e + 116, start);
    PutLe32(e + 120, size);
  };
  entry(0, u"Root Entry", 5, 1, kEndOfChain, 0);
  entry(1, u"Workbook", 2, kFree, 2, static_cast<uint32_t>(stream.size()));
  for (int i = 2; i < 4; ++i) {
    PutLe32(dir + 128 * i + 68, kFree);
    PutLe32(dir + 128 * i + 72, kFree);
    PutLe32(dir + 128 * i + 76, kFree);
  }
  std::memcpy(p + 1536, stream.data(), stream.size());
  return file;
}

Status ReadBytes(const std::string& file, SheetData& sheet) {
  return ReadXlsBytes(std::span(reinterpret_cast<const uint8_t*>(file.data()), file.size()), sheet,
                      XlsLimits{});
}

// BIFF8 string with one-byte characters.
std::string Chars(std::string_view text) {
  return Le16(static_cast<uint16_t>(text.size())) + '\0' + std::string(text);
}

TEST(XlsReader, BuiltWorkbooksReadAndFailAsTheyShould) {
  const std::string sst = Record(0x00FC, Le32(2) + Le32(2) + Chars("Code") + Chars("Name"));
  const std::string labels = Record(0x00FD, CellHead(0, 0) + Le32(0)) +
                             Record(0x00FD, CellHead(0, 1) + Le32(1));
  double nan = std::numeric_limits<double>::quiet_NaN();
  std::string nanBytes(8, '\0');
  std::memcpy(nanBytes.data(), &nan, 8);
  const struct {
    const char* what;
    std::string stream;
    std::string failure;  // empty: reads, with `cells`
    std::vector<Cell> cells;
  } cases[] = {
      {"shared strings and RK numbers (whole, hundredths, MULRK)",
       Workbook(sst, labels + Record(0x027E, CellHead(1, 0) + Le32(42u << 2 | 2)) +
                         Record(0x027E, CellHead(1, 1) + Le32(1234u << 2 | 3)) +
                         Record(0x00BD, Le16(2) + Le16(0) + Le16(0) + Le32(7u << 2 | 2) + Le16(0) +
                                            Le32(uint32_t(-3) << 2 | 2) + Le16(1)) +
                         Eof()),
       "",
       {Text(0, 0, "Code"), Text(0, 1, "Name"), Number(1, 0, 42), Number(1, 1, 12.34),
        Number(2, 0, 7), Number(2, 1, -3)}},
      {"a shared string whose characters turn two-byte in a CONTINUE record",
       Workbook(Record(0x00FC, Le32(2) + Le32(2) + Le16(4) + '\0' + "Cod") +
                    Record(0x003C, std::string("\x01\x01\x78", 3) + Chars("Name")),
                labels + Eof()),
       "", {Text(0, 0, "Cod码"), Text(0, 1, "Name")}},
      {"a shared string table that counts more strings than it holds",
       Workbook(Record(0x00FC, Le32(9) + Le32(9) + Chars("Code")),
                Record(0x00FD, CellHead(0, 0) + Le32(0)) + Eof()),
       "", {Text(0, 0, "Code")}},
      {"a cell refers to a shared string the table lacks", Workbook(sst, labels + Record(0x00FD, CellHead(3, 1) + Le32(2)) + Eof()),
       "cell B4 of the XLS worksheet refers to shared string 2, but the workbook has 2", {}},
      {"a shared string longer than its table",
       Workbook(Record(0x00FC, Le32(1) + Le32(1) + Le16(500) + '\0' + "abc"), Eof()),
       "shared string 0 runs past the end", {}},
      {"a record longer than the stream", Workbook(sst, labels + Record(0x0203, CellHead(1, 0)).substr(0, 4) + "\x07"),
       "a record runs past the end", {}},
      {"a worksheet without its end", Workbook(sst, labels), "has no end", {}},
      {"a number that is no number", Workbook("", Record(0x0203, CellHead(4, 2) + nanBytes) + Eof()),
       "cell C5 of the XLS worksheet holds a number that cannot be read", {}},
      {"a password", Workbook(Record(0x002F, std::string(6, '\0')), Eof()), "password-protected", {}},
      {"no worksheet", Bof(0x0005) + Record(0x00EF, std::string(4200, '\0')) + Eof(), "no worksheet", {}},
  };
  for (const auto& c : cases) {
    SheetData sheet;
    sheet.AddText(0, 0, "left over");
    const Status result = ReadBytes(Container(c.stream), sheet);
    if (c.failure.empty()) {
      EXPECT_TRUE(result.ok()) << c.what << ": " << result.message();
      EXPECT_EQ(CellsOf(sheet), c.cells) << c.what;
    } else {
      EXPECT_FALSE(result.ok()) << c.what;
      EXPECT_NE(result.message().find(c.failure), std::string::npos) << c.what << ": " << result.message();
      EXPECT_TRUE(sheet.cells().empty()) << c.what;
    }
  }
}

TEST(XlsReader, UnreadableAndHostileFilesFailQuicklyWithAReason) {
  testing::TempDir dir;
  const std::string whole = testing::ReadFile(Fixture("header_only.xls"));
  const auto patched = [&](size_t at, uint32_t value) {
    std::string bytes = whole;
    PutLe32(reinterpret_cast<uint8_t*>(bytes.data()) + at, value);
    return bytes;
  };
  // The built container's stream chain: its first sector points to itself.
  std::string loop = Container(Workbook("", Eof()));
  PutLe32(reinterpret_cast<uint8_t*>(loop.data()) + 512 + 4 * 2, 2);
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {(dir.path() / "missing.xls").string(), "cannot be opened"},
      {dir.Write("text.xls", std::string(600, 'x')), "not an XLS"},
      {dir.Write("short_text.xls", "Code,Name\r\nA001,Apple\r\n"), "not an XLS"},
      {dir.Write("empty.xls", ""), "cut short"},
      {dir.Write("half.xls", whole.substr(0, whole.size() / 2)), "cut short"},
      {dir.Write("container_only.xls", whole.substr(0, 512)), "cut short"},
      {dir.Write("end_of_chain_at_430.xls", patched(0x430, kEndOfChain)), "damaged"},
      {dir.Write("directory_far_away.xls", patched(0x30, 0x7FFFFFFF)), "cut short"},
      {dir.Write("looping_chain.xls", loop), "cut short"},
  };
  for (const auto& c : cases) {
    SheetData sheet;
    sheet.AddText(0, 0, "left over");
    const auto start = std::chrono::steady_clock::now();
    const Status result = ReadXlsSheet(c.path, sheet);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.path;
    EXPECT_FALSE(result.ok()) << c.path;
    EXPECT_NE(result.message().find(c.reason), std::string::npos) << c.path << ": " << result.message();
    EXPECT_TRUE(sheet.cells().empty()) << c.path;
  }
}

}  // namespace
}  // namespace tabrelium
