// Loading an "xls", "xlsx", "ods" or "dbf" file: its first worksheet's used
// range (the bounding box of the cells that hold a value), at most 32
// columns and 100,000 rows, becomes tab-separated GBK text in the
// TextBuffer, one line per row that is not empty; then it is cut like any
// text file.
//
// Thread-safety: plain functions on caller-owned stores.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/status.h"
#include "data/cell_table.h"
#include "data/text_buffer.h"
#include "sheets/sheet_reader.h"

namespace tabrelium {

// Reading stops after the row that leaves less room than this in the text.
inline constexpr int64_t kSheetTextReserve = 1044;

// What a load dropped without failing, for the user.
struct SpreadsheetReport {
  uint32_t droppedColumns = 0;  // columns of the used range after the 32nd
  uint32_t droppedRows = 0;     // rows of the used range after the 100,000th
  bool stoppedAtTextLimit = false;  // the text reached 64 MiB
  size_t unmappable = 0;        // characters GBK lacks, written as '?'
  // The first cell whose value holds a NUL byte, which ends the text there.
  std::optional<InputPlace> nulCell;
};

// Turns `sheet` into text. Fails, with `buffer` and `cells` as they were,
// for a used range of one row or none; fails with both empty for a cell
// holding an error value (Status::Code::kErrorValue, its text and place
// naming the cell) or when every row is empty.
Status LoadSheetText(const SheetData& sheet, TextBuffer& buffer, CellTable& cells,
                     SpreadsheetReport& report);

// Reads the file at `path` with the reader for `format`, then LoadSheetText.
Status LoadSpreadsheet(SheetFormat format, const std::string& path, TextBuffer& buffer,
                       CellTable& cells, SpreadsheetReport& report);

}  // namespace tabrelium
