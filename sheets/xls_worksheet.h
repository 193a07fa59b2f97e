// Reading the cells of a BIFF worksheet substream into a SheetData, in one
// pass over its records: text (shared strings, labels, rich labels),
// numbers (NUMBER, RK, MULRK) in a date or time format as dates, booleans
// and error values (BOOLERR), and formulas by their cached result: a
// number, a text (the STRING record after the formula), a boolean, an
// error, or an empty text. Blank cells hold no value.
//
// Thread-safety: plain functions on caller-owned data.
#pragma once

#include <cstdint>
#include <span>

#include "common/status.h"
#include "sheets/sheet_reader.h"
#include "sheets/xls_globals.h"

namespace tabrelium {

// Adds the cells of the worksheet whose BOF record starts at
// `globals.firstWorksheet` to `sheet`. Fails with the reason, naming the
// cell where one is at fault.
Status ReadXlsWorksheetCells(std::span<const uint8_t> stream, const XlsWorkbookGlobals& globals,
                             SheetData& sheet);

}  // namespace tabrelium
