// Reading the cells of one worksheet part of an XLSX package into a
// SheetData: positions from the r attributes (or following the previous
// cell and row when a writer leaves them out), values by cell type, and
// numbers in a date or time format as dates.
//
// Thread-safety: plain functions on caller-owned data.
#pragma once

#include <string>
#include <vector>

#include "sheets/sheet_reader.h"
#include "sheets/number_formats.h"
#include "sheets/xlsx_reader.h"
#include "sheets/xlsx_shared_strings.h"
#include "sheets/zip_package.h"

namespace tabrelium {

struct WorksheetContext {
  const SharedStrings& strings;
  const std::vector<NumberFormatKind>& dateKinds;  // by cell format index
  bool date1904 = false;
};

// Adds the worksheet's cells that hold a value to `sheet`. Fails with the
// reason, naming the cell where one is at fault.
Status ReadWorksheetCells(ZipPackage& zip, const std::string& part,
                               const WorksheetContext& context, const PackageLimits& limits,
                               SheetData& sheet);

}  // namespace tabrelium
