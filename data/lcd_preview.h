// How one record looks on the device's 20-column display: each field as
// "name:value", wrapped onto exactly displayRows lines of at most 20 bytes,
// never splitting a two-byte character. The window's preview list and the
// CLI's preview command both show these lines.
//
// Thread-safety: plain functions on caller-owned values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/field_table.h"
#include "data/cell_table.h"

namespace tabrelium {

inline constexpr int kLcdColumns = 20;

struct LcdLine {
  std::string rowsText;  // "  %d" of displayRows on a field's first line, else empty
  std::string text;      // at most 20 GBK bytes
};

// One display line from `text` starting at `pos`; advances `pos` past the
// bytes taken.
std::string WrapLcdLine(std::string_view text, size_t& pos);

// The display lines of record `record` (1-based). Empty when the record is
// outside the table.
// REQUIRES: IsFieldConfigValid(table, cells.columnCount).
std::vector<LcdLine> BuildLcdPreview(const FieldTable& table, const CellTable& cells,
                                     int32_t record);

}  // namespace tabrelium
