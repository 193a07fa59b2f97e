// The cell table: the loaded text cut into rows (lines from the start line
// on) and columns (fields), at most 32 columns, cells of at most 63 GBK bytes.
// A cell is a reference (offset, length) into the TextBuffer it was cut from;
// the table must be rebuilt or cleared before that buffer changes.
//
// Thread-safety: owned by one thread (the window's or the CLI's).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/bulk_allocator.h"

namespace tabrelium {

inline constexpr int kMaxColumns = 32;
// Bytes of text a cell keeps; the 64-byte copy buffer holds them and a NUL.
inline constexpr int kMaxCellBytes = 63;
inline constexpr int kCellBufferSize = kMaxCellBytes + 1;

// What the cut dropped, for the user: cells cut short, fields with no room.
struct CutReport {
  int64_t cutCells = 0;        // cells longer than 63 bytes, cut
  int32_t firstCutRow = 0;     // 1-based row and column of the first one
  int32_t firstCutColumn = 0;
  int64_t linesOverMaxColumns = 0;  // lines with more than 32 fields
};

struct CellTable {
  int32_t rowCount = 0;
  int32_t columnCount = 0;
  int32_t fieldsPerLine = 0;  // from separator detection, 1..32 (0 while loading)
  int32_t lineCount = 0;
  std::array<uint8_t, kMaxColumns> columnWidths{};
  CutReport report;

  // Row r (0-based) stores its first cells in [rowFirstCell[r], rowFirstCell[r+1]);
  // columns after those are empty. Trailing empty cells are not stored, so
  // the table stays small whatever rowCount × columnCount is.
  BulkVector<uint32_t> rowFirstCell;
  BulkVector<uint32_t> cellOffset;  // byte offset into the text
  BulkVector<uint8_t> cellLength;   // 0..63
  const uint8_t* text = nullptr;     // the TextBuffer's bytes at build time

  // The cell's bytes, or empty for a cell outside the table.
  // REQUIRES: the TextBuffer the table was built from is unchanged.
  std::string_view CellText(int32_t row, int32_t column) const;
};

// Releases the cells and sets rowCount, columnCount and fieldsPerLine to 0.
void ClearCellTable(CellTable& cells);

// Copies cell (row, column), both 1-based, with its NUL into `out` (at least
// kCellBufferSize bytes) and returns true; outside the table, writes the
// empty text and returns false.
bool GetCell(const CellTable& cells, int32_t row, int32_t column, char* out);
int32_t GetRowCount(const CellTable& cells);
int32_t GetColumnCount(const CellTable& cells);
// The length in bytes of the longest cell of `column` (1..32).
uint8_t GetColumnWidth(const CellTable& cells, int32_t column);
// "%d" of `column` when it is at most fieldsPerLine, else the empty text.
std::string GetColumnTitle(const CellTable& cells, int32_t column);

}  // namespace tabrelium
