// The cell formats of an XLSX workbook (its styles part), reduced to what
// the reader needs: for each cell format index (a cell's s attribute),
// whether its number format shows a date, a date and time, or a time.
//
// Thread-safety: plain functions on caller-owned data.
#pragma once

#include <string>
#include <vector>

#include "data/xlsx_dates.h"
#include "data/xlsx_reader_internal.h"
#include "data/xlsx_zip.h"

namespace tabrelium {

// Reads the styles part `part` into `kinds` (indexed by cell format).
// Returns the empty string on success, else the reason.
std::string ReadCellDateKinds(XlsxZip& zip, const std::string& part, const XlsxLimits& limits,
                              std::vector<XlsxDateKind>& kinds);

}  // namespace tabrelium
