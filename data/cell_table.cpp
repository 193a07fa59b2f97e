#include "data/cell_table.h"

#include <cstring>

namespace tabrelium {

void ClearCellTable(CellTable& cells) {
  cells.storedRows = 0;
  cells.cellsPerRow = 0;
  ReleaseBlock(cells.rowFirstCell);
  ReleaseBlock(cells.cellRef);
  cells.rowCount = 0;
  cells.columnCount = 0;
  cells.fieldsPerLine = 0;
  cells.report = CutReport{};
}

bool GetCell(const CellTable& cells, int32_t row, int32_t column, char* out) {
  out[0] = '\0';
  if (row < 1 || row > cells.rowCount || column < 1 || column > cells.columnCount) return false;
  const std::string_view text = cells.CellText(row, column);
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return true;
}

int32_t GetRowCount(const CellTable& cells) { return cells.rowCount; }

int32_t GetColumnCount(const CellTable& cells) { return cells.columnCount; }

uint8_t GetColumnWidth(const CellTable& cells, int32_t column) {
  if (column < 1 || column > kMaxColumns) return 0;
  return cells.columnWidths[static_cast<size_t>(column - 1)];
}

std::string GetColumnTitle(const CellTable& cells, int32_t column) {
  if (column > cells.fieldsPerLine) return {};
  return std::to_string(column);
}

}  // namespace tabrelium
