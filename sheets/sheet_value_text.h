// How a worksheet value becomes the text the device shows: strings as they
// are (in GBK), whole numbers as their digits, other numbers in the shortest
// form that reads back the same (at most 15 significant digits), dates as
// "2026/12/9", date-times as "2026/12/9 8:05:00", times as "8:05:00",
// booleans as "TRUE" and "FALSE".
//
// Thread-safety: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sheets/sheet_reader.h"

namespace tabrelium {

// Appends the GBK text of `cell` to `out`; characters GBK lacks become '?',
// counted in `unmappable`.
// REQUIRES: cell.kind != SheetValueKind::kError.
void AppendSheetValueText(const SheetData& sheet, const SheetCell& cell, std::string& out,
                          size_t& unmappable);

std::string FormatSheetNumber(double value);

}  // namespace tabrelium
