// Loading an "xls", "xlsx" or "dbf" file: its first worksheet's used range
// (the bounding box of the cells that hold a value), at most 32 columns and
// 100,000 rows, becomes tab-separated GBK text in the TextBuffer, one line
// per row that is not empty; then it is cut like any text file.
//
// Thread-safety: plain functions on caller-owned stores.
#pragma once

#include <cstdint>
#include <string>

#include "data/cell_table.h"
#include "data/sheet_data.h"
#include "data/text_buffer.h"

namespace tabrelium {

inline constexpr uint32_t kMaxSheetColumns = 32;
inline constexpr uint32_t kMaxSheetRows = 100000;
inline constexpr size_t kMaxSheetValueBytes = 60;
// Reading stops after the row that leaves less room than this in the text.
inline constexpr int64_t kSheetTextReserve = 1044;

// What a load dropped or could not do, for the user.
struct SpreadsheetReport {
  std::string error;            // why the load failed (UTF-8); empty on success
  // When a cell holding an error value failed the load: its name ("B3")
  // and the value as the sheet shows it ("#N/A").
  std::string errorCell;
  std::string errorValue;
  uint32_t droppedColumns = 0;  // columns of the used range after the 32nd
  uint32_t droppedRows = 0;     // rows of the used range after the 100,000th
  bool stoppedAtTextLimit = false;  // the text reached 64 MiB
  size_t unmappable = 0;        // characters GBK lacks, written as '?'
};

// The extension of the file name in `path`, in lower case ("" for none):
// data files are read by it, as the window's Browse does.
std::string LowerFileExtension(const std::string& path);

// The reader for the file's extension ("xls", "xlsx", "dbf", any case), or
// false in `known` for other extensions.
SheetReadResult ReadSheetByExtension(const std::string& path, SheetData& sheet, bool& known);

// Turns `sheet` into text. Returns false, with `buffer` and `cells` as they
// were, for a used range of one row or none; returns false with both empty
// for a cell holding an error value (named in report.error) or when every
// row is empty.
bool LoadSheetText(const SheetData& sheet, TextBuffer& buffer, CellTable& cells,
                   SpreadsheetReport& report);

// ReadSheetByExtension, then LoadSheetText.
bool LoadSpreadsheet(const std::string& path, TextBuffer& buffer, CellTable& cells,
                     SpreadsheetReport& report);

}  // namespace tabrelium
