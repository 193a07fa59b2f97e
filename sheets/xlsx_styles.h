// The cell formats of an XLSX workbook (its styles part), reduced to what
// the reader needs: for each cell format index (a cell's s attribute),
// whether its number format shows a date, a date and time, or a time.
//
// Thread-safety: plain functions on caller-owned data.
#pragma once

#include <string>
#include <vector>

#include "sheets/number_formats.h"
#include "sheets/xlsx_reader.h"
#include "sheets/zip_package.h"

namespace tabrelium {

// Reads the styles part `part` into `kinds` (indexed by cell format).
// Fails with the reason (broken XML, a part too large).
Status ReadCellDateKinds(ZipPackage& zip, const std::string& part, const PackageLimits& limits,
                              std::vector<NumberFormatKind>& kinds);

}  // namespace tabrelium
