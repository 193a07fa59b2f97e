// The spreadsheet readers' contract. A reader (XLSX, XLS, ODS, DBF) opens
// one file and delivers the values of its first worksheet (for a dBASE table:
// the field names as row 0, then the records that are not deleted) as a
// SheetData: the cells that hold a value, with their sheet positions, in any
// order. The loader (data/spreadsheet_loader.h) turns them into text.
//
// Limits: a reader may stop after the rows and columns sheets/sheet_limits.h
// says are delivered; its own guards (cell counts, unpacked sizes) keep a
// hostile file from exhausting memory.
//
// Failure: a reader returns a failed Status whose message (UTF-8) says what
// is wrong in the user's terms and whose place names the file part, row or
// column when there is one; the sheet is then empty. Nothing is thrown.
//
// Thread-safety: each read works on its own SheetData; readers may run on
// any thread, one file each.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "sheets/sheet_limits.h"

namespace tabrelium {

enum class SheetValueKind : uint8_t {
  kText,      // text: UTF-8, or GBK bytes when textIsGbk
  kNumber,    // number
  kBoolean,   // number: 0 or 1
  kDate,      // number: days since 1899-12-30 (whole days)
  kDateTime,  // number: days since 1899-12-30, the fraction the time of day
  kTime,      // number: a fraction of a day, no date
  kError,     // text: the error as the sheet shows it, e.g. "#N/A"
};

// 24 bytes: a sheet of 100,000 rows × 32 columns holds 3.2 million of them.
struct SheetCell {
  uint32_t row = 0;     // 0-based row of the sheet
  uint16_t column = 0;  // 0-based column of the sheet (sheets have at most 16,384)
  SheetValueKind kind = SheetValueKind::kText;
  bool textIsGbk = false;
  uint32_t textOffset = 0;  // into the sheet's text arena
  uint32_t textLength = 0;
  double number = 0;
};
static_assert(sizeof(SheetCell) == 24);

// Columns beyond this are no sheet's; a cell there is not kept.
inline constexpr uint32_t kMaxSheetColumn = 0xFFFF;

// The used range: the first and last row and column of the cells given a
// value, kept or not (0-based, inclusive).
struct SheetExtent {
  uint32_t firstRow = 0, lastRow = 0;
  uint32_t firstColumn = 0, lastColumn = 0;
};

// The values a reader delivers. It keeps only what the loader can use:
// each text trimmed and bounded (KeptSheetText), and only the cells inside
// the window the limits allow from the first row and column seen so far
// (sheets/sheet_limits.h), so a hostile sheet costs bounded memory however
// many cells it names.
class SheetData {
 public:
  // An empty text is no value: the cell is not kept. A text of white space
  // only is kept, empty: the cell still belongs to the used range.
  void AddText(uint32_t row, uint32_t column, std::string_view utf8);
  void AddGbkText(uint32_t row, uint32_t column, std::string_view gbk);
  void AddNumber(uint32_t row, uint32_t column, double value);
  void AddBoolean(uint32_t row, uint32_t column, bool value);
  // kDate, kDateTime or kTime with its serial value.
  void AddDate(uint32_t row, uint32_t column, SheetValueKind kind, double serial);
  void AddError(uint32_t row, uint32_t column, std::string_view text);

  // Room for `cells` values (at most a full window), when a reader knows
  // the sheet's size before its cells: growing the list by doubling would
  // hold two blocks at once.
  void Reserve(size_t cells);

  std::span<const SheetCell> cells() const { return cells_; }
  // The used range of every value given, including the cells beyond the
  // limits that were not kept; all zero when none was.
  SheetExtent extent() const;
  // Values given, kept or not: what a reader bounds its time by.
  uint64_t valuesGiven() const { return valuesGiven_; }
  std::string_view TextOf(const SheetCell& cell) const {
    return std::string_view(arena_).substr(cell.textOffset, cell.textLength);
  }
  void Clear();

 private:
  static constexpr size_t kWindowCells = size_t{kSheetReadRows} * kSheetReadColumns;

  // Takes (row, column) into the first row and column seen; true when the
  // cell lies in the window the limits deliver.
  bool Admit(uint32_t row, uint32_t column);
  bool InWindow(uint32_t row, uint32_t column) const;
  void Keep(SheetCell cell, std::string_view text);
  void Compact();

  std::vector<SheetCell> cells_;
  std::string arena_;
  uint32_t firstRow_ = UINT32_MAX;
  uint32_t firstColumn_ = UINT32_MAX;
  SheetExtent extent_;  // the last row and column given
  uint64_t valuesGiven_ = 0;
  bool windowMoved_ = false;  // cells kept before may now lie outside
  size_t compactAt_ = kWindowCells;
};

// What of a value's text the loader can use: the text trimmed of white
// space at both ends (space, TAB, CR, LF, VT, FF) and, when longer, only its
// first kKeptValueCharacters characters (UTF-8, or GBK when `gbk`). The
// loader keeps 60 GBK bytes of a trimmed value and every character gives at
// least one, so the rest never reaches the device. A view into `text`.
std::string_view KeptSheetText(std::string_view text, bool gbk = false);

// The first worksheet (in workbook order) of an XLSX file.
Status ReadXlsxSheet(const std::string& path, SheetData& sheet);
// The first worksheet of an XLS (BIFF) file.
Status ReadXlsSheet(const std::string& path, SheetData& sheet);
// A dBASE table: row 0 holds the field names, then one row per record that
// is not deleted.
Status ReadDbfSheet(const std::string& path, SheetData& sheet);
// The first sheet (table) of an OpenDocument spreadsheet (.ods).
Status ReadOdsSheet(const std::string& path, SheetData& sheet);

enum class SheetFormat { kXlsx, kXls, kDbf, kOds };

// The format a data file's extension names ("xlsx", "xls", "dbf", "ods", in
// lower case; "fods", flat XML, goes to the ODS reader, which says it is not
// read), or nothing for any other.
std::optional<SheetFormat> SheetFormatOf(std::string_view lowerExtension);

// The reader for `format`.
Status ReadSheet(SheetFormat format, const std::string& path, SheetData& sheet);

// The sheet cell's name as a user sees it: column letters and 1-based row,
// e.g. (6, 1) gives "B7".
std::string SheetCellName(uint32_t row, uint32_t column);

// The place of a sheet cell (0-based row and column) for a Status.
InputPlace SheetCellPlace(uint32_t row, uint32_t column, std::string part = {});

}  // namespace tabrelium
