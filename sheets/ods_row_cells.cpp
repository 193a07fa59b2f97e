#include "sheets/ods_row_cells.h"

#include <algorithm>

#include "sheets/number_formats.h"
#include "sheets/sheet_limits.h"

namespace tabrelium {
namespace {

// The last of `repeat` positions from `first`, at most `limit`.
uint64_t LastOf(uint64_t first, uint64_t repeat, uint64_t limit) {
  if (repeat == 0) repeat = 1;
  return repeat - 1 > limit - first ? limit : first + repeat - 1;
}

}  // namespace

void OdsRowCells::Add(uint64_t column, uint64_t repeat, const OdsValue& value,
                      std::string_view text) {
  if (column > kMaxSheetColumn) return;  // no sheet's column; the sheet would not keep it
  const uint64_t last = LastOf(column, repeat, kMaxSheetColumn);
  firstColumn_ = std::min(firstColumn_, column);
  const uint64_t windowEnd = firstColumn_ + kSheetReadColumns - 1;
  if (column <= windowEnd) {
    Pending cell{static_cast<uint32_t>(column),
                 static_cast<uint32_t>(std::min(last, windowEnd) - column + 1), value,
                 static_cast<uint32_t>(texts_.size()), static_cast<uint32_t>(text.size())};
    texts_.append(text);
    cells_.push_back(cell);
  }
  if (last > windowEnd) {
    hasBeyond_ = true;
    beyondColumn_ = static_cast<uint32_t>(last);
  }
}

void OdsRowCells::EndRow(uint64_t row, uint64_t repeat) {
  if ((!cells_.empty() || hasBeyond_) && row <= UINT32_MAX) {
    const uint64_t last = LastOf(row, repeat, UINT32_MAX);
    firstRow_ = std::min(firstRow_, row);
    const uint64_t windowEnd = firstRow_ + kSheetReadRows - 1;
    for (uint64_t r = row; r <= std::min(last, windowEnd); ++r) Give(static_cast<uint32_t>(r));
    if (last > windowEnd) Give(static_cast<uint32_t>(last));
  }
  cells_.clear();
  texts_.clear();
  hasBeyond_ = false;
}

void OdsRowCells::Give(uint32_t row) {
  for (const Pending& cell : cells_) {
    const std::string_view text = std::string_view(texts_).substr(cell.textOffset, cell.textLength);
    const OdsValue& value = cell.value;
    for (uint32_t column = cell.column; column < cell.column + cell.count; ++column) {
      switch (value.kind) {
        case OdsValue::Kind::kText:
          sheet_.AddText(row, column, text);
          break;
        case OdsValue::Kind::kError:
          sheet_.AddError(row, column, text);
          break;
        case OdsValue::Kind::kNumber:
          sheet_.AddNumber(row, column, value.number);
          break;
        case OdsValue::Kind::kBoolean:
          sheet_.AddBoolean(row, column, value.number != 0);
          break;
        case OdsValue::Kind::kDate:
          AddDateValue(sheet_, row, column, value.dateKind, value.number);
          break;
        case OdsValue::Kind::kTime:
          // As a time format shows it: the time of day, a negative duration a number.
          AddFormattedNumber(sheet_, row, column, value.number, NumberFormatKind::kTime, false);
          break;
      }
    }
  }
  // Right of the window: never kept, but it ends the used range.
  if (hasBeyond_) sheet_.AddNumber(row, beyondColumn_, 0);
}

}  // namespace tabrelium
