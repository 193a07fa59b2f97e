// The OpenDocument spreadsheet reader on files written by LibreOffice
// (tests/fixtures/ods, see its README) and on small hand-made packages for
// what LibreOffice never writes: text elements it drops, huge repeats of
// values, encrypted, flat and damaged files.
#include "sheets/ods_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "data/spreadsheet_loader.h"
#include "sheets/ods_cell_text.h"
#include "sheets/sheet_limits.h"
#include "sheets/sheet_reader.h"
#include "tests/test_support.h"
#include "tests/zip_writer.h"

namespace tabrelium {
namespace {

using testing::TempDir;
using Cells = std::map<std::string, std::string>;

const std::string kFixtures = std::string(TABRELIUM_FIXTURES_DIR) + "/ods/";

// Each cell as "B7" -> "kind:value", so a whole sheet compares at once.
Cells Describe(const SheetData& sheet) {
  Cells out;
  for (const auto& cell : sheet.cells()) {
    char number[40];
    std::snprintf(number, sizeof number, "%.10g", cell.number);
    static const char* const kKinds[] = {"text",     "number", "bool", "date",
                                         "datetime", "time",   "error"};
    const bool text = cell.kind == SheetValueKind::kText || cell.kind == SheetValueKind::kError;
    out[SheetCellName(cell.row, cell.column)] =
        std::string(kKinds[static_cast<int>(cell.kind)]) + ":" +
        (text ? std::string(sheet.TextOf(cell)) : std::string(number));
  }
  return out;
}

std::string Content(const std::string& tables) {
  return "<?xml version=\"1.0\"?><office:document-content "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
         "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
         "xmlns:calcext=\"c\" xmlns:dc=\"d\"><office:body><office:spreadsheet>" +
         tables + "</office:spreadsheet></office:body></office:document-content>";
}

// A package with a mimetype and one table of `rows`.
std::string WriteOds(const TempDir& dir, const std::string& rows) {
  return WriteZip(dir, {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                        {"content.xml", Content("<table:table>" + rows + "</table:table>")}},
                  "hand.ods");
}

Cells Read(const std::string& path, SheetData& sheet, const PackageLimits& limits = {}) {
  const Status result = ReadOdsSheetWithLimits(path, sheet, limits);
  EXPECT_TRUE(result.ok()) << result.message();
  return Describe(sheet);
}

Cells Read(const std::string& path) {
  SheetData sheet;
  return Read(path, sheet);
}

// The failure's message, or "" when the read succeeded; the sheet must be
// left empty on failure.
std::string Failure(const std::string& path, const PackageLimits& limits = {}) {
  SheetData sheet;
  sheet.AddText(0, 0, "earlier");
  const Status result = ReadOdsSheetWithLimits(path, sheet, limits);
  if (result.ok()) return "";
  EXPECT_TRUE(sheet.cells().empty());
  return result.message();
}

TEST(OdsReader, ValueTypesOfTheFirstSheetFromLibreOffice) {
  // The second sheet, "Other", is not read.
  EXPECT_EQ(Read(kFixtures + "values.ods"),
            (Cells{{"A1", "text:Kind"},        {"B1", "text:Value"},
                   {"A2", "text:float"},       {"B2", "number:-12.75"},
                   {"A3", "text:barcode"},     {"B3", "number:6.901234568e+12"},
                   {"A4", "text:percentage"},  {"B4", "number:0.25"},
                   {"A5", "text:currency"},    {"B5", "number:3.5"},
                   {"A6", "text:date"},        {"B6", "date:46365"},
                   {"A7", "text:datetime"},    {"B7", "datetime:46365.33681"},
                   {"A8", "text:time"},        {"B8", "time:0.5626736111"},
                   {"A9", "text:boolean"},     {"B9", "bool:1"},
                   {"A10", "text:false"},      {"B10", "bool:0"},
                   {"A11", "text:chinese"},    {"B11", "text:苹果"},
                   {"A12", "text:spaces"},     {"B12", "text:a   bc d"},
                   {"A13", "text:paragraphs"}, {"B13", "text:onetwo\nthree four"},
                   {"A14", "text:formula"},    {"B14", "number:5"},
                   {"A15", "text:old date"},   {"B15", "date:61"}}));
}

TEST(OdsReader, MergedCellsRepeatedValuesAndErrorsFromLibreOffice) {
  // A1:B2 merged: the covered cells take their places and hold nothing.
  EXPECT_EQ(Read(kFixtures + "merged.ods"), (Cells{{"A1", "text:wide"},
                                                   {"C1", "text:C1"},
                                                   {"C2", "number:7"},
                                                   {"A3", "text:same"},
                                                   {"B3", "text:same"},
                                                   {"C3", "text:same"},
                                                   {"A4", "number:1"},
                                                   {"C4", "error:#DIV/0!"},
                                                   {"A5", "number:1"}}));
}

TEST(OdsReader, HugeTrailingEmptyRepeatsCostNothing) {
  // LibreOffice wrote 1,048,571 empty rows of 16,384 cells after the values.
  SheetData sheet;
  EXPECT_EQ(Read(kFixtures + "repeats.ods", sheet), (Cells{{"A1", "text:Code"},
                                                           {"B1", "text:Name"},
                                                           {"A2", "number:7"},
                                                           {"B2", "text:same"},
                                                           {"A3", "number:7"},
                                                           {"B3", "text:same"},
                                                           {"A4", "number:7"},
                                                           {"B4", "text:same"}}));
  EXPECT_EQ(sheet.valuesGiven(), 8u);
}

TEST(OdsReader, RepeatedValuesStopAtTheWindowButTheUsedRangeEndsWhereTheSheetDoes) {
  TempDir dir;
  const std::string cell =
      "<table:table-cell office:value-type=\"string\" "
      "table:number-columns-repeated=\"1000000000\"><text:p>x</text:p></table:table-cell>";
  SheetData sheet;
  Read(WriteOds(dir,
                "<table:table-row table:number-rows-repeated=\"3\">"
                "<table:table-cell/>" +
                    cell + "</table:table-row>"),
       sheet);
  EXPECT_EQ(sheet.cells().size(), 3u * kSheetReadColumns);
  EXPECT_EQ(sheet.extent().firstColumn, 1u);
  EXPECT_EQ(sheet.extent().lastColumn, kMaxSheetColumn);
  EXPECT_LE(sheet.valuesGiven(), 3u * (kSheetReadColumns + 1));

  Read(WriteOds(
           dir,
           "<table:table-row table:number-rows-repeated=\"2\"/>"
           "<table:table-row table:number-rows-repeated=\"4000000000\">"
           "<table:table-cell office:value-type=\"float\" office:value=\"1\"/></table:table-row>"
           "<table:table-row><table:table-cell office:value-type=\"float\" office:value=\"2\"/>"
           "</table:table-row>"),
       sheet);
  EXPECT_EQ(sheet.cells().size(), size_t{kSheetReadRows});
  EXPECT_EQ(sheet.extent().firstRow, 2u);
  EXPECT_EQ(sheet.extent().lastRow, 4'000'000'002u);
  EXPECT_EQ(sheet.valuesGiven(), kSheetReadRows + 2u);
}

TEST(OdsReader, ParagraphTextAsTheSheetShowsIt) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<text:p>a<text:s text:c=\"3\"/>b<text:tab/>c<text:line-break/>d</text:p>", "a   b\tc\nd"},
      {"<text:p>one</text:p><text:p/><text:p>two <text:span>three</text:span></text:p>",
       "one\n\ntwo three"},
      {"<text:p>\n   wrapped\n   in  the   XML\n</text:p>", "wrapped in the XML"},
      {"<office:annotation><dc:creator>me</dc:creator><text:p>a note</text:p></office:annotation>"
       "<text:p>kept<office:annotation><text:p>inner note</text:p></office:annotation></text:p>",
       "kept"},
      {"<text:p>x<text:s text:c=\"99999999999\"/>y</text:p>", "x" + std::string(62, ' ') + "y"},
      {"<text:p><text:s text:c=\"2\"/></text:p>", " "},  // white space only: a value, though empty
  };
  for (const auto& [paragraphs, expected] : cases) {
    TempDir dir;
    SheetData sheet;
    Read(WriteOds(dir, "<table:table-row><table:table-cell office:value-type=\"string\">" +
                           paragraphs + "</table:table-cell></table:table-row>"),
         sheet);
    ASSERT_EQ(sheet.cells().size(), 1u) << paragraphs;
    EXPECT_EQ(sheet.TextOf(sheet.cells()[0]), KeptSheetText(expected)) << paragraphs;
  }
}

TEST(OdsReader, ValueAttributesByType) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"office:value-type=\"float\" office:value=\"1E+20\"", "number:1e+20"},
      {"office:value-type=\"currency\" office:currency=\"CNY\" office:value=\"-0.5\"",
       "number:-0.5"},
      {"office:value-type=\"date\" office:date-value=\"2024-02-29\"", "date:45351"},
      {"office:value-type=\"date\" office:date-value=\"2026-12-09T08:05:00.5\"",
       "datetime:46365.33681"},
      {"office:value-type=\"time\" office:time-value=\"PT36H00M00S\"", "time:0.5"},
      {"office:value-type=\"time\" office:time-value=\"P1DT6H\"", "time:0.25"},
      {"office:value-type=\"time\" office:time-value=\"-PT6H\"", "number:-0.25"},
      {"office:value-type=\"time\" office:time-value=\"PT0.5S\"", "time:5.787037037e-06"},
      {"office:value-type=\"boolean\" office:boolean-value=\"false\"", "bool:0"},
      {"office:value-type=\"string\" office:string-value=\"from the attribute\"",
       "text:from the attribute"},
      {"", "text:shown"},  // no type: the text the cell shows
      {"office:value-type=\"float\" office:value=\"0\" calcext:value-type=\"error\"",
       "error:shown"},
      {"office:value-type=\"void\"", ""},
  };
  for (const auto& [attributes, expected] : cases) {
    TempDir dir;
    const Cells cells =
        Read(WriteOds(dir, "<table:table-row><table:table-cell " + attributes +
                               "><text:p>shown</text:p></table:table-cell></table:table-row>"));
    EXPECT_EQ(cells, expected.empty() ? Cells{} : (Cells{{"A1", expected}})) << attributes;
  }
}

TEST(OdsReader, DamagedCellsFailNamingTheCell) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"office:value-type=\"float\" office:value=\"x\"",
       "cell B7 of the OpenDocument sheet holds the number \"x\", which cannot be read"},
      {"office:value-type=\"percentage\"",
       "cell B7 of the OpenDocument sheet holds the number \"\""},
      {"office:value-type=\"date\" office:date-value=\"2026-02-30\"",
       "cell B7 of the OpenDocument sheet holds the date"},
      {"office:value-type=\"time\" office:time-value=\"P1Y\"",
       "cell B7 of the OpenDocument sheet holds the time \"P1Y\""},
      {"office:value-type=\"boolean\" office:boolean-value=\"yes\"", "neither true nor false"},
      {"office:value-type=\"money\"",
       "cell B7 of the OpenDocument sheet has the unknown value type \"money\""},
      {"table:number-columns-repeated=\"0\"", "the repeat count \"0\" near cell B7"},
  };
  for (const auto& [attributes, expected] : cases) {
    TempDir dir;
    const std::string path =
        WriteOds(dir,
                 "<table:table-row table:number-rows-repeated=\"6\"/><table:table-row>"
                 "<table:covered-table-cell/><table:table-cell " +
                     attributes + "/></table:table-row>");
    EXPECT_NE(Failure(path).find(expected), std::string::npos) << Failure(path);
  }
}

TEST(OdsReader, FilesThatAreNoReadableSpreadsheetAreRefusedWithTheirReason) {
  TempDir dir;
  const std::string table = Content(
      "<table:table><table:table-row><table:table-cell "
      "office:value-type=\"float\" office:value=\"1\"/></table:table-row></table:table>");
  const std::string encryptedManifest =
      "<manifest:manifest xmlns:manifest=\"m\"><manifest:file-entry "
      "manifest:full-path=\"content.xml\">"
      "<manifest:encryption-data/></manifest:file-entry></manifest:manifest>";
  const std::string ole =
      std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0');
  const std::vector<std::pair<std::string, std::string>> cases = {
      {WriteZip(dir, {{"META-INF/manifest.xml", encryptedManifest}, {"content.xml", "\x93\x11z"}},
                "a.ods"),
       "the OpenDocument file is password-protected (encrypted)"},
      {WriteZip(dir, {{"content.xml", "\x93\x11z\x01"}}, "b.ods"),
       "the OpenDocument file is password-protected (encrypted) or damaged"},
      {kFixtures + "merged.fods", "flat XML OpenDocument spreadsheet (.fods)"},
      {dir.Write("c.ods", "Code,Name\r\n1,a\r\n"),
       "not an OpenDocument spreadsheet (the file is not a zip archive)"},
      {dir.Write("d.ods", ole), "not an OpenDocument spreadsheet"},
      {WriteZip(dir,
                {{"mimetype", "application/vnd.oasis.opendocument.text"}, {"content.xml", table}},
                "e.ods"),
       "not an OpenDocument spreadsheet (the file is an OpenDocument text document)"},
      {WriteZip(dir, {{"xl/workbook.xml", "<workbook/>"}}, "f.ods"), "holds no content.xml"},
      {WriteZip(dir, {{"content.xml", Content("")}}, "g.ods"), "holds no sheet"},
      {WriteZip(dir, {{"content.xml", table.substr(0, table.find("</table:table-row>"))}}, "h.ods"),
       "damaged OpenDocument file: the part content.xml is not well-formed XML"},
      {WriteZip(dir,
                {{"content.xml", "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"a\">]><x/>"}},
                "i.ods"),
       "which OpenDocument parts never do"},
      {(dir.path() / "missing.ods").string(), "the OpenDocument file cannot be opened"},
  };
  for (const auto& [path, expected] : cases)
    EXPECT_NE(Failure(path).find(expected), std::string::npos) << path << ": " << Failure(path);
}

TEST(OdsReader, HostileFilesFailWithinTheLimits) {
  TempDir dir;
  std::string rows;
  for (int i = 0; i < 10; ++i)
    rows +=
        "<table:table-row><table:table-cell office:value-type=\"float\" "
        "office:value=\"1\"/></table:table-row>";
  const std::string tenCells = WriteOds(dir, rows);
  PackageLimits limits;
  limits.maxCells = 10;
  EXPECT_EQ(Failure(tenCells, limits), "");
  limits.maxCells = 9;
  EXPECT_NE(Failure(tenCells, limits).find("more than 9 cells"), std::string::npos);
  limits = {};
  limits.maxMemberBytes = 300;
  EXPECT_NE(Failure(tenCells, limits)
                .find("the OpenDocument file's part content.xml unpacks to more than"),
            std::string::npos);

  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<text:span>";
  EXPECT_NE(
      Failure(WriteOds(dir, "<table:table-row><table:table-cell><text:p>" + deep)).find("nested"),
      std::string::npos);
}

TEST(OdsReader, HugeTextCostsWhatTheLoaderKeeps) {
  // The cell text keeps only what decides the kept prefix, yet gives the
  // same kept text as the whole: long text, a short text then a long run of
  // white space then more text, or white space to the end.
  const std::vector<std::vector<std::string>> pieces = {
      {std::string(100000, 'x'), "tail"},
      {"ab", std::string(5000, ' '), "cd"},
      {"ab", std::string(5000, ' ')},
      {std::string(3000, ' '), "一二三", std::string(70000, '\t')},
  };
  for (const auto& parts : pieces) {
    OdsCellText text;
    text.StartParagraph();
    std::string whole;
    for (const auto& part : parts) {
      for (size_t i = 0; i < part.size(); i += 700) {
        const std::string chunk = part.substr(i, 700);
        if (chunk.front() == ' ' || chunk.front() == '\t') {
          for (size_t n = 0; n < chunk.size(); ++n) text.AppendSpaces(1);
          whole.append(chunk.size(), ' ');
        } else {
          text.AppendCharacters(chunk);
          whole += chunk;
        }
      }
    }
    EXPECT_LE(text.text().size(), 2048u);
    EXPECT_EQ(KeptSheetText(text.text()), KeptSheetText(whole));
  }
}

TEST(OdsReader, SameSheetAsOdsAndXlsxGivesTheSameText) {
  std::string texts[2];
  const char* files[2] = {"values.ods", "values.xlsx"};
  const SheetFormat formats[2] = {SheetFormat::kOds, SheetFormat::kXlsx};
  for (int i = 0; i < 2; ++i) {
    TextBuffer buffer;
    CellTable cells;
    SpreadsheetReport report;
    const Status loaded = LoadSpreadsheet(formats[i], kFixtures + files[i], buffer, cells, report);
    ASSERT_TRUE(loaded.ok()) << files[i] << ": " << loaded.message();
    texts[i].assign(reinterpret_cast<const char*>(buffer.text.data()),
                    static_cast<size_t>(buffer.textLength));
  }
  EXPECT_NE(texts[0].find("2026/12/9 8:05:00"), std::string::npos);
  EXPECT_EQ(texts[0], texts[1]);
  EXPECT_EQ(SheetFormatOf("ods"), SheetFormat::kOds);
}

TEST(OdsReader, ReadsFromMemoryLikeFromAFile) {
  const std::string bytes = testing::ReadFile(kFixtures + "merged.ods");
  SheetData sheet;
  ASSERT_TRUE(
      ReadOdsBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, sheet, {}).ok());
  EXPECT_EQ(Describe(sheet), Read(kFixtures + "merged.ods"));
  EXPECT_FALSE(
      ReadOdsBytes({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() / 2}, sheet, {})
          .ok());
  EXPECT_TRUE(sheet.cells().empty());
}

}  // namespace
}  // namespace tabrelium
