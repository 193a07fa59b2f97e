// The XLS reader's limits and its entry points beside ReadXlsSheet: the
// same reading with lowered limits (tests) and from bytes in memory (the
// fuzz target). The container is opened by xls_container.cpp (libgsf), the
// workbook globals read by xls_globals.cpp, the cells by xls_worksheet.cpp.
//
// Thread-safety: plain functions on caller-owned data; any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sheets/sheet_reader.h"

namespace tabrelium {

struct XlsLimits {
  // The workbook stream is read whole: this caps what a file that claims a
  // huge stream may cost. Excel's largest sheets stay far below it.
  uint64_t maxStreamBytes = uint64_t{256} << 20;
};

// ReadXlsSheet with `limits`. On failure `sheet` is cleared and the result
// names what was wrong (UTF-8, for the user).
Status ReadXlsSheetWithLimits(const std::string& path, SheetData& sheet, const XlsLimits& limits);

// The same on the bytes of a whole XLS file; `bytes` must stay valid for
// the call only.
Status ReadXlsBytes(std::span<const uint8_t> bytes, SheetData& sheet, const XlsLimits& limits);

}  // namespace tabrelium
