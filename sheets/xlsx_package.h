// Finding one's way in an XLSX package: from the package relationships to
// the workbook part, from the workbook and its relationships to the first
// worksheet in workbook order, the shared strings and the styles, and the
// workbook's date system.
//
// Thread-safety: plain functions on caller-owned data.
#pragma once

#include <string>

#include "sheets/xlsx_reader.h"
#include "sheets/zip_package.h"

namespace tabrelium {

struct XlsxPackageParts {
  std::string worksheet;      // the first worksheet's part name
  std::string sharedStrings;  // empty when the workbook has none
  std::string styles;         // empty when the workbook has none
  bool date1904 = false;      // serials count from 1904-01-01
};

// Fails with the reason: no workbook, no worksheet, broken XML.
Status FindPackageParts(ZipPackage& zip, const PackageLimits& limits, XlsxPackageParts& parts);

// The part name that `target` of a relationship of part `source` points to:
// relative to the source's folder, or from the package root with a leading
// '/'. Exposed for tests.
std::string ResolvePartTarget(const std::string& source, const std::string& target);

}  // namespace tabrelium
