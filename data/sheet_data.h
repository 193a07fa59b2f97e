// A worksheet's values as the spreadsheet readers (XLSX, XLS, DBF) deliver
// them: the cells that hold a value, in any order, with their sheet
// positions. LoadSpreadsheet turns them into tab-separated text.
//
// Thread-safety: a SheetData belongs to the thread that fills it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

class SheetData {
 public:
  // An empty text is no value: the cell is not kept.
  void AddText(uint32_t row, uint32_t column, std::string_view utf8);
  void AddGbkText(uint32_t row, uint32_t column, std::string_view gbk);
  void AddNumber(uint32_t row, uint32_t column, double value);
  void AddBoolean(uint32_t row, uint32_t column, bool value);
  // kDate, kDateTime or kTime with its serial value.
  void AddDate(uint32_t row, uint32_t column, SheetValueKind kind, double serial);
  void AddError(uint32_t row, uint32_t column, std::string_view text);

  // Room for `cells` values, when a reader knows the sheet's size before its
  // cells: growing the list by doubling would hold the old and new blocks at once.
  void Reserve(size_t cells) { cells_.reserve(cells); }

  std::span<const SheetCell> cells() const { return cells_; }
  std::string_view TextOf(const SheetCell& cell) const {
    return std::string_view(arena_).substr(cell.textOffset, cell.textLength);
  }
  void Clear();

 private:
  void AddWithText(SheetCell cell, std::string_view text);

  std::vector<SheetCell> cells_;
  std::string arena_;
};

// Why a reader gave up, for the user (UTF-8), e.g. "not an XLSX file".
struct SheetReadResult {
  bool ok = true;
  std::string error;
  static SheetReadResult Failure(std::string why) { return {false, std::move(why)}; }
};

// The first worksheet (in workbook order) of an XLSX file.
SheetReadResult ReadXlsxSheet(const std::string& path, SheetData& sheet);
// The first worksheet of an XLS (BIFF) file.
SheetReadResult ReadXlsSheet(const std::string& path, SheetData& sheet);
// A dBASE table: row 0 holds the field names, then one row per record that
// is not deleted.
SheetReadResult ReadDbfSheet(const std::string& path, SheetData& sheet);

// The sheet cell's name as a user sees it: column letters and 1-based row,
// e.g. (6, 1) gives "B7".
std::string SheetCellName(uint32_t row, uint32_t column);

}  // namespace tabrelium
