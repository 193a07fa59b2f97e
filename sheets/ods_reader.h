// The OpenDocument spreadsheet (.ods) reader's entry points beside
// ReadOdsSheet: the same reading with lowered limits (tests) and from bytes
// in memory (the fuzz target). ods_reader.cpp checks the package (a zip, a
// spreadsheet, not encrypted); ods_sheet_parser.cpp reads the first table.
//
// Thread-safety: plain functions on caller-owned data; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sheets/package_limits.h"
#include "sheets/sheet_reader.h"

namespace tabrelium {

// ReadOdsSheet with `limits`. On failure `sheet` is cleared and the result
// names what was wrong (UTF-8, for the user): an encrypted file, a flat XML
// file (.fods), a package that is no spreadsheet, a damaged part or cell.
Status ReadOdsSheetWithLimits(const std::string& path, SheetData& sheet,
                              const PackageLimits& limits);

// The same on the bytes of a whole file; `bytes` must stay valid for the
// call only.
Status ReadOdsBytes(std::span<const uint8_t> bytes, SheetData& sheet, const PackageLimits& limits);

}  // namespace tabrelium
