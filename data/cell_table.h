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

// A cell as stored: its offset into the text in the low 26 bits (the text
// is at most 64 MiB) and its length, 0..63, in the 6 bits above.
inline constexpr int kCellOffsetBits = 26;
inline constexpr uint32_t kCellOffsetMask = (uint32_t{1} << kCellOffsetBits) - 1;
inline constexpr uint32_t MakeCellRef(size_t offset, size_t length) {
  // An empty cell's offset is never read.
  return length == 0 ? 0 : static_cast<uint32_t>(offset | length << kCellOffsetBits);
}
inline constexpr size_t CellRefOffset(uint32_t ref) { return ref & kCellOffsetMask; }
inline constexpr size_t CellRefLength(uint32_t ref) { return ref >> kCellOffsetBits; }

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

  // Row r (0-based, below storedRows) stores its first cells in
  // cellRef[FirstCell(r), FirstCell(r + 1)); columns after those are empty,
  // and so are rows from storedRows on. Trailing empty cells are not stored,
  // so the table stays small whatever rowCount × columnCount is; when every
  // row stores the same number of cells, the row index is not kept either.
  int32_t storedRows = 0;
  int32_t cellsPerRow = 0;            // each row's cells while rowFirstCell is empty
  BulkVector<uint32_t> rowFirstCell;  // storedRows + 1 starts, or none
  BulkVector<uint32_t> cellRef;       // MakeCellRef(offset into the text, length)
  const uint8_t* text = nullptr;      // the TextBuffer's bytes at build time

  size_t FirstCell(size_t row) const {
    return rowFirstCell.empty() ? row * static_cast<size_t>(cellsPerRow) : rowFirstCell[row];
  }

  // The cell's bytes, or empty for a cell outside the table. Inline: the
  // image reads every cell of a million rows through it.
  // REQUIRES: the TextBuffer the table was built from is unchanged.
  std::string_view CellText(int32_t row, int32_t column) const {
    if (row < 1 || row > rowCount || column < 1 || column > columnCount) return {};
    const size_t r = static_cast<size_t>(row - 1);
    if (r >= static_cast<size_t>(storedRows)) return {};
    const size_t cell = FirstCell(r) + static_cast<size_t>(column - 1);
    if (cell >= FirstCell(r + 1)) return {};
    const uint32_t ref = cellRef[cell];
    return {reinterpret_cast<const char*>(text) + CellRefOffset(ref), CellRefLength(ref)};
  }
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
