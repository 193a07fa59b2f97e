// The XLSX reader on workbooks written by libxlsxwriter, an independent
// writer, and on small hand-made packages for what that writer never
// produces (inline strings, cells without positions, error values, ISO
// dates, the 1904 date system) and for damaged or hostile files.
#include <gtest/gtest.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sheets/sheet_reader.h"
#include "sheets/xlsx_reader.h"
#include "tests/test_support.h"
#include "tests/zip_writer.h"

namespace tabrelium {
namespace {

using testing::TempDir;
using Cells = std::map<std::string, std::string>;

// Each cell as "B7" -> "kind:value", so a whole sheet compares at once.
Cells Describe(const SheetData& sheet) {
  Cells out;
  for (const auto& cell : sheet.cells()) {
    char number[40];
    std::snprintf(number, sizeof number, "%.10g", cell.number);
    std::string value;
    switch (cell.kind) {
      case SheetValueKind::kText: value = "text:" + std::string(sheet.TextOf(cell)); break;
      case SheetValueKind::kError: value = "error:" + std::string(sheet.TextOf(cell)); break;
      case SheetValueKind::kNumber: value = std::string("number:") + number; break;
      case SheetValueKind::kBoolean: value = std::string("bool:") + number; break;
      case SheetValueKind::kDate: value = std::string("date:") + number; break;
      case SheetValueKind::kDateTime: value = std::string("datetime:") + number; break;
      case SheetValueKind::kTime: value = std::string("time:") + number; break;
    }
    EXPECT_TRUE(out.emplace(SheetCellName(cell.row, cell.column), value).second)
        << "two values for " << SheetCellName(cell.row, cell.column);
  }
  return out;
}

// Writes a workbook with libxlsxwriter; `fill` gets the workbook and its
// first worksheet.
std::string WriteWorkbook(const TempDir& dir,
                          const std::function<void(lxw_workbook*, lxw_worksheet*)>& fill) {
  const std::string path = (dir.path() / "book.xlsx").string();
  lxw_workbook* workbook = workbook_new(path.c_str());
  fill(workbook, workbook_add_worksheet(workbook, nullptr));
  EXPECT_EQ(workbook_close(workbook), LXW_NO_ERROR);
  return path;
}

std::string WriteZip(const TempDir& dir,
                     const std::vector<std::pair<std::string, std::string>>& members) {
  return testing::WriteZip(dir, members, "hand.xlsx");
}

constexpr const char* kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRelTypes = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string Worksheet(const std::string& sheetData) {
  return std::string("<?xml version=\"1.0\"?><worksheet xmlns=\"") + kMain + "\"><sheetData>" +
         sheetData + "</sheetData></worksheet>";
}

// A minimal package: one worksheet, an optional shared string table, and
// what goes into the workbook element before <sheets>.
std::string WriteMinimalXlsx(const TempDir& dir, const std::string& sheetData,
                             const std::string& sharedStrings = "",
                             const std::string& workbookPr = "") {
  std::string rels = std::string("<Relationships><Relationship Id=\"rId1\" Type=\"") + kRelTypes +
                     "worksheet\" Target=\"worksheets/sheet1.xml\"/>";
  std::vector<std::pair<std::string, std::string>> members = {
      {"xl/workbook.xml", std::string("<workbook xmlns=\"") + kMain +
                              "\" xmlns:r=\"r\">" + workbookPr +
                              "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
      {"xl/worksheets/sheet1.xml", Worksheet(sheetData)}};
  if (!sharedStrings.empty()) {
    rels += std::string("<Relationship Id=\"rId2\" Type=\"") + kRelTypes +
            "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    members.emplace_back("xl/sharedStrings.xml", std::string("<sst xmlns=\"") + kMain + "\">" +
                                                     sharedStrings + "</sst>");
  }
  members.emplace_back("xl/_rels/workbook.xml.rels", rels + "</Relationships>");
  return WriteZip(dir, members);
}

Cells Read(const std::string& path, const PackageLimits& limits = {}) {
  SheetData sheet;
  const Status result = ReadXlsxSheetWithLimits(path, sheet, limits);
  EXPECT_TRUE(result.ok()) << result.message();
  return Describe(sheet);
}

// The failure's message, or "" when the read succeeded; the sheet must be
// left empty either way on failure.
std::string Failure(const std::string& path, const PackageLimits& limits = {}) {
  SheetData sheet;
  sheet.AddText(0, 0, "earlier");
  const Status result = ReadXlsxSheetWithLimits(path, sheet, limits);
  if (result.ok()) return "";
  EXPECT_TRUE(sheet.cells().empty());
  EXPECT_FALSE(result.message().empty());
  return result.message();
}

TEST(XlsxReader, HeaderAndTwoRowsWithSharedStringsNumbersAndBooleans) {
  TempDir dir;
  const auto path = WriteWorkbook(dir, [](lxw_workbook*, lxw_worksheet* ws) {
    worksheet_write_string(ws, 0, 0, "Code", nullptr);
    worksheet_write_string(ws, 0, 1, "商品名称", nullptr);
    worksheet_write_string(ws, 0, 2, "Price", nullptr);
    worksheet_write_number(ws, 1, 0, 1001, nullptr);
    worksheet_write_string(ws, 1, 1, "苹果", nullptr);
    worksheet_write_number(ws, 1, 2, -12.75, nullptr);
    worksheet_write_string(ws, 2, 0, "Code", nullptr);  // the same shared string again
    worksheet_write_boolean(ws, 2, 1, 1, nullptr);
    worksheet_write_boolean(ws, 2, 2, 0, nullptr);
    worksheet_write_string(ws, 3, 0, "", nullptr);  // an empty string is no value
  });
  EXPECT_EQ(Read(path), (Cells{{"A1", "text:Code"}, {"B1", "text:商品名称"},
                               {"C1", "text:Price"}, {"A2", "number:1001"},
                               {"B2", "text:苹果"}, {"C2", "number:-12.75"},
                               {"A3", "text:Code"}, {"B3", "bool:1"}, {"C3", "bool:0"}}));
}

TEST(XlsxReader, DataFromB3KeepSheetPositions) {
  TempDir dir;
  const auto path = WriteWorkbook(dir, [](lxw_workbook*, lxw_worksheet* ws) {
    worksheet_write_string(ws, 2, 1, "first", nullptr);
    worksheet_write_number(ws, 3, 27, 0.1, nullptr);  // AB4
    worksheet_write_number(ws, 99999, 2, 1e20, nullptr);
  });
  EXPECT_EQ(Read(path), (Cells{{"B3", "text:first"}, {"AB4", "number:0.1"},
                               {"C100000", "number:1e+20"}}));
}

TEST(XlsxReader, RichTextRunsFormulaResultsAndEscapedControlCharacters) {
  TempDir dir;
  const auto path = WriteWorkbook(dir, [](lxw_workbook* wb, lxw_worksheet* ws) {
    lxw_format* bold = workbook_add_format(wb);
    format_set_bold(bold);
    char redText[] = "红色", appleText[] = "苹果 ";  // the writer's API takes char*
    lxw_rich_string_tuple red = {nullptr, redText}, apple = {bold, appleText};
    lxw_rich_string_tuple* runs[] = {&red, &apple, nullptr};
    worksheet_write_rich_string(ws, 0, 0, runs, nullptr);
    worksheet_write_formula_num(ws, 1, 0, "=1+2", nullptr, 3);
    worksheet_write_formula_str(ws, 2, 0, "=\"a\"&\"b\"", nullptr, "ab");
    worksheet_write_string(ws, 3, 0, "a\x01" "b\rc", nullptr);
  });
  EXPECT_EQ(Read(path), (Cells{{"A1", "text:红色苹果"}, {"A2", "number:3"}, {"A3", "text:ab"},
                               {"A4", "text:a\x01" "b\rc"}}));
}

TEST(XlsxReader, DatesAndTimesFromBuiltinAndCustomFormats) {
  TempDir dir;
  const auto path = WriteWorkbook(dir, [](lxw_workbook* wb, lxw_worksheet* ws) {
    const std::vector<std::pair<const char*, int>> formats = {
        {nullptr, 14},                  // A: built-in date
        {"yyyy/m/d", 0},                // B
        {"yyyy-mm-dd hh:mm:ss", 0},     // C
        {"hh:mm", 0},                   // D
        {"[h]:mm:ss", 0},               // E
        {"[$-804]yyyy\"年\"m\"月\"d\"日\";@", 0},  // F
        {"0.00", 0},                    // G: a number
        {"#,##0 \"days\"", 0},          // H: 'd' only in quoted text
        {"[Red]0.0", 0},                // I: 'd' only in a colour
        {nullptr, 22},                  // J: built-in date-time
        {nullptr, 57},                  // K: built-in CJK date
    };
    lxw_datetime when = {2026, 12, 9, 8, 5, 0};
    for (size_t i = 0; i < formats.size(); ++i) {
      lxw_format* format = workbook_add_format(wb);
      if (formats[i].first) format_set_num_format(format, formats[i].first);
      else format_set_num_format_index(format, static_cast<uint8_t>(formats[i].second));
      worksheet_write_datetime(ws, 0, static_cast<lxw_col_t>(i), &when, format);
    }
  });
  EXPECT_EQ(Read(path), (Cells{{"A1", "date:46365"}, {"B1", "date:46365"},
                               {"C1", "datetime:46365.33681"}, {"D1", "time:0.3368055555"},
                               {"E1", "time:0.3368055555"}, {"F1", "date:46365"},
                               {"G1", "number:46365.33681"}, {"H1", "number:46365.33681"},
                               {"I1", "number:46365.33681"}, {"J1", "datetime:46365.33681"},
                               {"K1", "date:46365"}}));
}

TEST(XlsxReader, FirstWorksheetOnlyEvenWhenAChartSheetOrALaterPartComesFirst) {
  TempDir dir;
  {
    const auto path = WriteWorkbook(dir, [](lxw_workbook* wb, lxw_worksheet* ws) {
      worksheet_write_string(ws, 0, 0, "one", nullptr);
      worksheet_write_string(workbook_add_worksheet(wb, nullptr), 0, 0, "two", nullptr);
    });
    EXPECT_EQ(Read(path), (Cells{{"A1", "text:one"}}));
  }
  // Workbook order: a chart sheet, then sheet2.xml, then sheet1.xml.
  const std::string rels = std::string("<Relationships>") +
      "<Relationship Id=\"rId1\" Type=\"" + kRelTypes + "worksheet\" Target=\"worksheets/sheet1.xml\"/>" +
      "<Relationship Id=\"rId2\" Type=\"" + kRelTypes + "worksheet\" Target=\"/xl/worksheets/sheet2.xml\"/>" +
      "<Relationship Id=\"rId3\" Type=\"" + kRelTypes + "chartsheet\" Target=\"chartsheets/sheet1.xml\"/>" +
      "</Relationships>";
  const auto path = WriteZip(dir, {
      {"_rels/.rels", std::string("<Relationships><Relationship Id=\"a\" Type=\"") + kRelTypes +
                          "officeDocument\" Target=\"xl/book.xml\"/></Relationships>"},
      {"xl/book.xml", std::string("<x:workbook xmlns:x=\"") + kMain + "\" xmlns:r=\"r\"><x:sheets>" +
                          "<x:sheet r:id=\"rId3\"/><x:sheet r:id=\"rId2\"/><x:sheet r:id=\"rId1\"/>" +
                          "</x:sheets></x:workbook>"},
      {"xl/_rels/book.xml.rels", rels},
      {"xl/worksheets/sheet1.xml", Worksheet("<row><c t=\"inlineStr\"><is><t>third</t></is></c></row>")},
      {"xl/worksheets/sheet2.xml", Worksheet("<row><c t=\"inlineStr\"><is><t>second</t></is></c></row>")},
  });
  EXPECT_EQ(Read(path), (Cells{{"A1", "text:second"}}));
}

TEST(XlsxReader, InlineStringsPhoneticGuidesAndCellsWithoutPositions) {
  TempDir dir;
  const auto path = WriteMinimalXlsx(dir,
      "<row><c t=\"inlineStr\"><is><t xml:space=\"preserve\"> a </t></is></c>"
      "<c t=\"inlineStr\"><is><r><t>红</t></r><r><rPr/><t>色</t></r>"
      "<rPh sb=\"0\" eb=\"1\"><t>ホン</t></rPh></is></c><c><v>7</v></c></row>"
      "<row><c r=\"C5\"><v>1</v></c><c><v>2</v></c></row>"
      "<row><c><v>3</v></c></row>"
      "<row r=\"9\"><c s=\"0\"/><c><v>4</v></c><c t=\"s\"><v>0</v></c></row>",
      "<si><r><t>东</t></r><r><t>京</t></r><rPh sb=\"0\" eb=\"2\"><t>とうきょう</t></rPh></si>");
  EXPECT_EQ(Read(path), (Cells{{"A1", "text:a"}, {"B1", "text:红色"}, {"C1", "number:7"},
                               {"C5", "number:1"}, {"D5", "number:2"}, {"A6", "number:3"},
                               {"B9", "number:4"}, {"C9", "text:东京"}}));
}

TEST(XlsxReader, ErrorValuesIsoDatesAndTheDate1904System) {
  TempDir dir;
  const std::string styles = std::string("<styleSheet xmlns=\"") + kMain +
      "\"><numFmts><numFmt numFmtId=\"164\" formatCode=\"d/m/yy\"/></numFmts>"
      "<cellStyleXfs><xf numFmtId=\"14\"/></cellStyleXfs>"
      "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"21\"/></cellXfs></styleSheet>";
  const std::string sheet = Worksheet(
      "<row r=\"1\"><c r=\"A1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c><c r=\"B1\" t=\"e\"><v>#N/A</v></c></row>"
      "<row r=\"2\"><c r=\"A2\" s=\"1\"><v>44903</v></c><c r=\"B2\" s=\"2\"><v>0.5</v></c>"
      "<c r=\"C2\"><v>44903</v></c><c r=\"D2\" s=\"9\"><v>5</v></c></row>"
      "<row r=\"3\"><c r=\"A3\" t=\"d\"><v>2024-02-29</v></c><c r=\"B3\" t=\"d\"><v>2026-12-09T08:05:00Z</v></c>"
      "<c r=\"C3\" t=\"d\"><v>08:05:00</v></c><c r=\"D3\" t=\"d\" s=\"1\"><v>2026-12-09T08:05:00</v></c></row>");
  const std::string rels = std::string("<Relationships>") +
      "<Relationship Id=\"rId1\" Type=\"" + kRelTypes + "worksheet\" Target=\"worksheets/sheet1.xml\"/>" +
      "<Relationship Id=\"rId2\" Type=\"" + kRelTypes + "styles\" Target=\"styles.xml\"/></Relationships>";
  const auto path = WriteZip(dir, {
      {"xl/workbook.xml", std::string("<workbook xmlns=\"") + kMain + "\" xmlns:r=\"r\">"
                          "<workbookPr date1904=\"1\"/><sheets><sheet r:id=\"rId1\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels", rels},
      {"xl/styles.xml", styles},
      {"xl/worksheets/sheet1.xml", sheet}});
  // 1904 serials shift by 1462 days; times and ISO dates do not.
  EXPECT_EQ(Read(path), (Cells{{"A1", "error:#DIV/0!"}, {"B1", "error:#N/A"},
                               {"A2", "date:46365"}, {"B2", "time:0.5"}, {"C2", "number:44903"},
                               {"D2", "number:5"}, {"A3", "date:45351"},
                               {"B3", "datetime:46365.33681"}, {"C3", "time:0.3368055556"},
                               {"D3", "date:46365"}}));
}

TEST(XlsxReader, NotAWorkbook) {
  TempDir dir;
  EXPECT_NE(Failure(dir.Write("text.xlsx", "Code,Name\r\n1,a\r\n")).find("not an XLSX workbook"),
            std::string::npos);
  EXPECT_NE(Failure(WriteZip(dir, {{"readme.txt", "hello"}})).find("not an XLSX workbook"),
            std::string::npos);
  const std::string ole = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0');
  EXPECT_NE(Failure(dir.Write("secret.xlsx", ole)).find("encrypted"), std::string::npos);
  EXPECT_NE(Failure((dir.path() / "missing.xlsx").string()), "");
}

TEST(XlsxReader, DamagedPartsFailNamingThePartOrTheCell) {
  TempDir dir;
  EXPECT_NE(Failure(WriteMinimalXlsx(dir, "<row><c r=\"B7\" t=\"s\"><v>2</v></c></row>",
                                     "<si><t>a</t></si><si><t>b</t></si>"))
                .find("cell B7"),
            std::string::npos);
  EXPECT_NE(Failure(WriteMinimalXlsx(dir, "<row><c r=\"A1\"><v>1</v></row>")).find("xl/worksheets/sheet1.xml"),
            std::string::npos);
  EXPECT_NE(Failure(WriteMinimalXlsx(dir, "<row><c r=\"A1\"><v>x1</v></c></row>")).find("cell A1"),
            std::string::npos);
  EXPECT_NE(Failure(WriteMinimalXlsx(dir, "<row><c r=\"1A\"><v>1</v></c></row>")).find("\"1A\""),
            std::string::npos);
}

TEST(XlsxReader, HostileFilesFailWithinTheLimits) {
  TempDir dir;
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<b>";
  for (int i = 0; i < 300; ++i) deep += "</b>";
  EXPECT_NE(Failure(WriteMinimalXlsx(dir, "<row><c r=\"A1\"><v>1</v></c></row>" + deep)).find("nested"),
            std::string::npos);

  const std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE w [<!ENTITY a \"aaaaaaaa\">]>"
                             "<worksheet><sheetData/></worksheet>";
  EXPECT_NE(Failure(WriteZip(dir, {{"xl/workbook.xml", laughs}})).find("document type"),
            std::string::npos);

  // A relationship type that is the kind alone, with no namespace before it.
  EXPECT_NE(Failure(WriteZip(dir, {{"_rels/.rels", "<Relationships><Relationship Id=\"a\" "
                                                   "Type=\"officeDocument\" Target=\"b.xml\"/>"
                                                   "</Relationships>"}})),
            "");

  std::string rows;
  for (int i = 1; i <= 10; ++i) rows += "<row><c><v>" + std::to_string(i) + "</v></c><c/></row>";
  const auto tenCells = WriteMinimalXlsx(dir, rows, "<si><t>a</t></si><si><t>b</t></si><si/>");
  PackageLimits limits;
  limits.maxCells = 10;
  EXPECT_EQ(Failure(tenCells, limits), "");
  limits.maxCells = 9;
  EXPECT_NE(Failure(tenCells, limits).find("more than 9 cells"), std::string::npos);
  limits = {};
  limits.maxSharedStrings = 2;
  EXPECT_NE(Failure(tenCells, limits).find("more than 2 shared strings"), std::string::npos);
  limits = {};
  limits.maxMemberBytes = 350;  // the worksheet part is larger; the other parts are not
  EXPECT_NE(Failure(tenCells, limits).find("xl/worksheets/sheet1.xml unpacks to more than"),
            std::string::npos);
}

TEST(XlsxReader, ReadsFromMemoryLikeFromAFile) {
  TempDir dir;
  const auto path = WriteWorkbook(dir, [](lxw_workbook*, lxw_worksheet* ws) {
    worksheet_write_string(ws, 0, 0, "x", nullptr);
  });
  const std::string bytes = testing::ReadFile(path);
  SheetData sheet;
  ASSERT_TRUE(ReadXlsxBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, sheet, {}).ok());
  EXPECT_EQ(Describe(sheet), (Cells{{"A1", "text:x"}}));
  EXPECT_FALSE(ReadXlsxBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() / 2}, sheet, {}).ok());
}

}  // namespace
}  // namespace tabrelium
