// Reading the first table (table:table) of an OpenDocument spreadsheet's
// content.xml into a SheetData: rows and cells with their repeats, covered
// cells (under a merged cell) as positions only, rows inside header-row and
// row-group wrappers counted like any other, and each cell's value by its
// value type. Tables after the first are not read.
//
// Thread-safety: plain functions on caller-owned data.
#pragma once

#include <string>

#include "sheets/package_limits.h"
#include "sheets/sheet_reader.h"
#include "sheets/zip_package.h"

namespace tabrelium {

// Adds the first table's cells that hold a value to `sheet`. Fails with the
// reason, naming the cell where one is at fault; fails when the part holds
// no table.
Status ReadOdsTable(ZipPackage& zip, const std::string& part, const PackageLimits& limits,
                    SheetData& sheet);

}  // namespace tabrelium
