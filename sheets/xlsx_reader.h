// The XLSX reader's limits and its entry points beside ReadXlsxSheet: the
// same reading with lowered limits (tests) and from bytes in memory (the
// fuzz target). The parts of the package are read by xlsx_package.cpp,
// xlsx_styles.cpp, xlsx_shared_strings.cpp and xlsx_sheet_parser.cpp.
//
// Thread-safety: plain functions on caller-owned data; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sheets/package_limits.h"
#include "sheets/sheet_reader.h"

namespace tabrelium {

// ReadXlsxSheet with `limits`. On failure `sheet` is cleared and the result
// names what was wrong (UTF-8, for the user).
Status ReadXlsxSheetWithLimits(const std::string& path, SheetData& sheet,
                               const PackageLimits& limits);

// The same on the bytes of a whole XLSX file; `bytes` must stay valid for
// the call only.
Status ReadXlsxBytes(std::span<const uint8_t> bytes, SheetData& sheet, const PackageLimits& limits);

}  // namespace tabrelium
