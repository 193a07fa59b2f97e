// The DBF reader on tables written by shapelib's own writer: field names and
// values by type, deleted records, code pages (LDID, .cpg, none), the row
// and column limits, and damaged headers that must fail before any record
// is read. The code page names and the header check are tested directly.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "sheets/code_page.h"
#include "sheets/dbf_header_check.h"
#include "sheets/sheet_reader.h"
#include "sheets/sheet_dates.h"
#include "sheets/sheet_limits.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

struct Cell {
  uint32_t row, column;
  SheetValueKind kind;
  bool gbk;
  std::string text;
  double number;
  bool operator==(const Cell&) const = default;
};

void PrintTo(const Cell& c, std::ostream* os) {
  *os << SheetCellName(c.row, c.column) << " kind " << static_cast<int>(c.kind)
      << (c.gbk ? " gbk '" : " '") << c.text << "' " << c.number;
}

Cell Gbk(uint32_t row, uint32_t column, std::string text) {
  return {row, column, SheetValueKind::kText, true, std::move(text), 0};
}
Cell Utf8(uint32_t row, uint32_t column, std::string text) {
  return {row, column, SheetValueKind::kText, false, std::move(text), 0};
}
Cell Value(uint32_t row, uint32_t column, SheetValueKind kind, double number) {
  return {row, column, kind, false, "", number};
}

std::vector<Cell> CellsOf(const SheetData& sheet) {
  std::vector<Cell> out;
  for (const SheetCell& c : sheet.cells())
    out.push_back({c.row, c.column, c.kind, c.textIsGbk, std::string(sheet.TextOf(c)), c.number});
  std::sort(out.begin(), out.end(), [](const Cell& a, const Cell& b) {
    return std::tie(a.row, a.column) < std::tie(b.row, b.column);
  });
  return out;
}

// Writes a table with shapelib: `codePage` as DBFCreateEx takes it ("LDID/77"
// goes into the header, anything else into a .cpg file), then `fill` adds
// fields and records.
std::string WriteTable(const testing::TempDir& dir, const std::string& name,
                       const char* codePage, const std::function<void(DBFHandle)>& fill) {
  const std::string path = (dir.path() / name).string();
  DBFHandle dbf = DBFCreateEx(path.c_str(), codePage);
  EXPECT_NE(dbf, nullptr);
  fill(dbf);
  DBFClose(dbf);
  return path;
}

std::vector<Cell> Read(const std::string& path) {
  SheetData sheet;
  const Status result = ReadDbfSheet(path, sheet);
  EXPECT_TRUE(result.ok()) << result.message();
  return CellsOf(sheet);
}

void PatchBytes(const std::string& path, long offset, std::initializer_list<uint8_t> bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(offset);
  for (uint8_t b : bytes) f.put(static_cast<char>(b));
}

const std::string kApple = "\xC6\xBB\xB9\xFB";  // 苹果 in GBK

TEST(DbfReader, FieldNamesThenValuesByType) {
  testing::TempDir dir;
  const std::string path = WriteTable(dir, "goods.dbf", "LDID/77", [](DBFHandle dbf) {
    DBFAddField(dbf, "CODE", FTString, 10, 0);
    DBFAddField(dbf, "PRICE", FTDouble, 12, 2);
    DBFAddField(dbf, "QTY", FTInteger, 6, 0);
    DBFAddNativeFieldType(dbf, "SOLD", 'D', 8, 0);
    DBFAddField(dbf, "OK", FTLogical, 1, 0);
    DBFWriteStringAttribute(dbf, 0, 0, "A001");
    DBFWriteDoubleAttribute(dbf, 0, 1, 12.5);
    DBFWriteIntegerAttribute(dbf, 0, 2, -3);
    // shapelib 1.5 writes 'D' fields only as raw bytes.
    char date[] = "20261209", badDate[] = "20260230";  // 30 February
    DBFWriteAttributeDirectly(dbf, 0, 3, date);
    DBFWriteLogicalAttribute(dbf, 0, 4, 'T');
    DBFWriteStringAttribute(dbf, 1, 0, kApple.c_str());
    DBFWriteNULLAttribute(dbf, 1, 1);
    char notANumber[] = "  n/a ";
    DBFWriteAttributeDirectly(dbf, 1, 2, notANumber);
    DBFWriteAttributeDirectly(dbf, 1, 3, badDate);
    char no[] = "n";
    DBFWriteAttributeDirectly(dbf, 1, 4, no);
    DBFWriteNULLAttribute(dbf, 2, 0);
    DBFWriteNULLAttribute(dbf, 2, 1);
    DBFWriteNULLAttribute(dbf, 2, 2);
    DBFWriteNULLAttribute(dbf, 2, 3);
    DBFWriteLogicalAttribute(dbf, 2, 4, '?');
  });
  EXPECT_EQ(Read(path),
            (std::vector<Cell>{
                Gbk(0, 0, "CODE"), Gbk(0, 1, "PRICE"), Gbk(0, 2, "QTY"), Gbk(0, 3, "SOLD"),
                Gbk(0, 4, "OK"),
                Gbk(1, 0, "A001"), Value(1, 1, SheetValueKind::kNumber, 12.5),
                Value(1, 2, SheetValueKind::kNumber, -3),
                Value(1, 3, SheetValueKind::kDate, DateSerial(2026, 12, 9)),
                Value(1, 4, SheetValueKind::kBoolean, 1),
                // A number or date that does not read as one keeps its text.
                Gbk(2, 0, kApple), Gbk(2, 2, "n/a"), Gbk(2, 3, "20260230"),
                Value(2, 4, SheetValueKind::kBoolean, 0),
                // Row 3 is all NULL: no cells, but it still takes its row.
            }));
}

TEST(DbfReader, DeletedRecordsLeaveNoGap) {
  testing::TempDir dir;
  const std::string path = WriteTable(dir, "deleted.dbf", "LDID/77", [](DBFHandle dbf) {
    DBFAddField(dbf, "CODE", FTString, 4, 0);
    for (int r = 0; r < 5; ++r) DBFWriteStringAttribute(dbf, r, 0, ("R" + std::to_string(r)).c_str());
    DBFMarkRecordDeleted(dbf, 0, 1);
    DBFMarkRecordDeleted(dbf, 2, 1);
    DBFMarkRecordDeleted(dbf, 4, 1);
  });
  EXPECT_EQ(Read(path), (std::vector<Cell>{Gbk(0, 0, "CODE"), Gbk(1, 0, "R1"), Gbk(2, 0, "R3")}));
}

std::string WriteNamedText(const testing::TempDir& dir, const std::string& name,
                           const char* codePage, const std::string& text) {
  return WriteTable(dir, name, codePage, [&](DBFHandle dbf) {
    DBFAddField(dbf, "NAME", FTString, 20, 0);
    DBFWriteStringAttribute(dbf, 0, 0, text.c_str());
  });
}

TEST(DbfReader, TextFollowsTheTablesCodePage) {
  testing::TempDir dir;
  // GBK, said by the header's language driver, by a .cpg file, or by nothing.
  EXPECT_EQ(Read(WriteNamedText(dir, "ldid.dbf", "LDID/77", kApple))[1], Gbk(1, 0, kApple));
  EXPECT_EQ(Read(WriteNamedText(dir, "cpg936.dbf", "936", kApple))[1], Gbk(1, 0, kApple));
  const std::string silent = WriteNamedText(dir, "silent.dbf", "LDID/77", kApple);
  PatchBytes(silent, 29, {0});
  EXPECT_EQ(Read(silent)[1], Gbk(1, 0, kApple));
  // UTF-8 goes through as UTF-8; Windows-1252 is decoded to it.
  EXPECT_EQ(Read(WriteNamedText(dir, "utf8.dbf", "UTF-8", "苹果"))[1], Utf8(1, 0, "苹果"));
  EXPECT_EQ(Read(WriteNamedText(dir, "latin.dbf", "LDID/3", "caf\xE9"))[1], Utf8(1, 0, "café"));
  EXPECT_EQ(Read(WriteNamedText(dir, "cyr.dbf", "CP1251", "\xCC\xE8\xF0"))[1],
            Utf8(1, 0, "Мир"));
  // A code page nobody knows: the bytes are kept, as GBK.
  EXPECT_EQ(Read(WriteNamedText(dir, "odd.dbf", "KLINGON", kApple))[1], Gbk(1, 0, kApple));
}

TEST(DbfReader, ExtensionInAnyCaseFindsTableAndCodePage) {
  testing::TempDir dir;
  const std::string written = WriteNamedText(dir, "mixed.dbf", "UTF-8", "苹果");
  const std::string path = (dir.path() / "Mixed.Dbf").string();
  std::filesystem::rename(written, path);
  std::filesystem::rename(dir.path() / "mixed.cpg", dir.path() / "Mixed.CPG");
  EXPECT_EQ(Read(path), (std::vector<Cell>{Utf8(0, 0, "NAME"), Utf8(1, 0, "苹果")}));
}

TEST(DbfReader, RowsAndColumnsBeyondTheLimitsAreNotDelivered) {
  testing::TempDir dir;
  const int kFields = 40, kRecords = static_cast<int>(kSheetReadRows) + 5;
  const std::string path = WriteTable(dir, "big.dbf", "LDID/77", [&](DBFHandle dbf) {
    for (int f = 0; f < kFields; ++f) DBFAddField(dbf, ("F" + std::to_string(f)).c_str(), FTInteger, 7, 0);
    for (int r = 0; r < kRecords; ++r) {
      DBFWriteIntegerAttribute(dbf, r, 0, r);
      DBFWriteIntegerAttribute(dbf, r, 39, r);
    }
  });
  SheetData sheet;
  ASSERT_TRUE(ReadDbfSheet(path, sheet).ok());
  uint32_t lastRow = 0, lastColumn = 0;
  for (const SheetCell& c : sheet.cells()) {
    lastRow = std::max(lastRow, c.row);
    lastColumn = std::max<uint32_t>(lastColumn, c.column);
  }
  EXPECT_EQ(lastRow, kSheetReadRows - 1);
  EXPECT_EQ(lastColumn, kSheetReadColumns - 1);
  EXPECT_EQ(sheet.cells().size(), kSheetReadColumns + (kSheetReadRows - 1));
  EXPECT_EQ(sheet.cells().back().number, kSheetReadRows - 2);
}

TEST(DbfReader, DamagedTablesFailBeforeAnyRecordIsRead) {
  testing::TempDir dir;
  const auto table = [&](const std::string& name) {
    return WriteTable(dir, name, "LDID/77", [](DBFHandle dbf) {
      DBFAddField(dbf, "CODE", FTString, 10, 0);
      for (int r = 0; r < 3; ++r) DBFWriteStringAttribute(dbf, r, 0, "X");
    });
  };
  const std::string truncated = table("truncated.dbf");
  std::filesystem::resize_file(truncated, std::filesystem::file_size(truncated) - 12);
  const std::string manyRecords = table("many.dbf");
  PatchBytes(manyRecords, 4, {0xFF, 0xFF, 0xFF, 0x7F});
  const std::string shortHeader = table("short_header.dbf");
  PatchBytes(shortHeader, 8, {20, 0});
  const std::string longHeader = table("long_header.dbf");
  PatchBytes(longHeader, 8, {0xFF, 0xFF});
  const std::string wideField = table("wide_field.dbf");
  PatchBytes(wideField, 32 + 16, {200});  // the field is wider than the record

  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {truncated, "promises 3 records of 11 bytes"},
      {manyRecords, "promises 2147483647 records"},
      {shortHeader, "too short"},
      {longHeader, "longer than the file"},
      {wideField, "damaged"},
      {dir.Write("tiny.dbf", "abc"), "shorter than a table header"},
      {(dir.path() / "missing.dbf").string(), "cannot be opened"},
  };
  for (const auto& c : cases) {
    SheetData sheet;
    sheet.AddText(0, 0, "left over");
    const Status result = ReadDbfSheet(c.path, sheet);
    EXPECT_FALSE(result.ok()) << c.path;
    EXPECT_NE(result.message().find(c.reason), std::string::npos) << result.message();
    EXPECT_TRUE(sheet.cells().empty()) << c.path;
  }
}

TEST(DbfHeaderCheck, SizesAgainstTheFile) {
  // A header with one descriptor per width and the end mark; a field of
  // type C wider than 255 keeps its high byte in byte 17.
  const auto make = [](uint32_t records, uint16_t recordLength, std::vector<uint16_t> widths,
                       int headerLength = -1) {
    std::vector<uint8_t> head(32 + 32 * widths.size() + 1);
    for (size_t i = 0; i < widths.size(); ++i) {
      head[32 + 32 * i + 11] = i == 0 ? 'N' : 'C';
      head[32 + 32 * i + 16] = widths[i] & 0xFF;
      head[32 + 32 * i + 17] = i == 0 ? 0 : widths[i] >> 8;
    }
    head.back() = 0x0D;
    const auto length = static_cast<uint16_t>(headerLength < 0 ? head.size() : headerLength);
    for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<uint8_t>(records >> (8 * i));
    head[8] = length & 0xFF, head[9] = length >> 8;
    head[10] = recordLength & 0xFF, head[11] = recordLength >> 8;
    return head;
  };
  struct Case {
    std::vector<uint8_t> head;
    uint64_t fileSize;
    const char* failure;  // nullptr: accepted
  };
  const Case cases[] = {
      {make(10, 20, {19}), 65 + 200, nullptr},
      {make(10, 20, {19}), 65 + 201, nullptr},  // the end-of-file mark
      {make(10, 20, {19}), 65 + 199, "promises 10 records"},
      {make(2, 311, {10, 300}), 97 + 622, nullptr},
      {std::vector<uint8_t>(31, 0), 1000, "shorter than a table header"},
      {make(0, 0, {}), 33, nullptr},  // no records, no fields
      {make(1, 0, {}), 1000, "0 bytes long"},
      {make(0xFFFFFFFF, 1, {}), uint64_t{1} << 40, "promises"},  // more than shapelib counts
      {make(1, 1, {}, 31), 1000, "too short"},
      {make(1, 20, {19}, 64), 1000, "no end mark"},
      {make(1, 20, {10, 9}, 80), 1000, "does not cover its field descriptors"},
      {make(1, 21, {19}), 1000, "fields take 19 bytes"},
  };
  for (const Case& c : cases) {
    const Status checked = CheckDbfHeader(c.head, c.fileSize);
    if (c.failure == nullptr) {
      EXPECT_TRUE(checked.ok()) << checked.message();
    } else {
      EXPECT_NE(checked.message().find(c.failure), std::string::npos) << c.failure << ": " << checked.message();
    }
  }
}

TEST(CodePage, NamesAndLanguageDrivers) {
  const auto kind = [](const char* name) { return EncodingOfCodePage(name).kind; };
  const auto iconvName = [](const char* name) { return EncodingOfCodePage(name).iconvName; };
  for (const char* gbk : {"LDID/77", "LDID/122", "LDID/87", "LDID/0", "936", "CP936", "cp936\r\n",
                          " GBK ", "gb2312", "ANSI 936", ""})
    EXPECT_EQ(kind(gbk), CodePageTextKind::kGbk) << gbk;
  EXPECT_EQ(kind(nullptr), CodePageTextKind::kGbk);
  for (const char* utf8 : {"UTF-8", "utf8", "65001"}) EXPECT_EQ(kind(utf8), CodePageTextKind::kUtf8) << utf8;
  EXPECT_EQ(iconvName("LDID/3"), "CP1252");
  EXPECT_EQ(iconvName("LDID/201"), "CP1251");
  EXPECT_EQ(iconvName("LDID/79"), "CP950");
  EXPECT_EQ(iconvName("1252"), "CP1252");
  EXPECT_EQ(iconvName("ANSI 1251"), "CP1251");
  EXPECT_EQ(iconvName("ISO 88591"), "ISO-8859-1");
  EXPECT_EQ(iconvName("big5"), "BIG5");
  EXPECT_EQ(iconvName("GB18030"), "GB18030");
  EXPECT_TRUE(EncodingOfCodePage("LDID/3").recognised);
  for (const char* unknown : {"LDID/250", "LDID/x", "KLINGON", "CP99999"}) {
    EXPECT_EQ(kind(unknown), CodePageTextKind::kGbk) << unknown;
    EXPECT_FALSE(EncodingOfCodePage(unknown).recognised) << unknown;
  }
}

TEST(CodePage, DecoderMarksUndefinedBytes) {
  CodePageDecoder cp1252("CP1252");
  EXPECT_EQ(cp1252.ToUtf8("caf\xE9"), "café");
  EXPECT_EQ(cp1252.ToUtf8("a\x81z"), "a?z");  // 0x81 is not defined in 1252
  CodePageDecoder big5("BIG5");
  EXPECT_EQ(big5.ToUtf8("\xA4\xA4x\xA4"), "中x?");  // a character cut at the end
  EXPECT_EQ(big5.ToUtf8(std::string(5000, 'a')), std::string(5000, 'a'));
}

}  // namespace
}  // namespace tabrelium
