// The workbook globals of a BIFF stream, read before any cell: the BIFF
// version (Excel 5/95 or 97 and later), the code page, the 1904 date
// system, which cell formats (XF records) show dates through their number
// formats (FORMAT records and built-in ids), the shared strings, and where
// the first worksheet in the workbook's sheet order begins.
//
// Thread-safety: plain functions on caller-owned data.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/status.h"
#include "sheets/number_formats.h"
#include "sheets/xls_shared_strings.h"

namespace tabrelium {

struct XlsWorkbookGlobals {
  bool biff8 = true;          // false: Excel 5 or 95 (BIFF5), text in codePage
  uint16_t codePage = 0;      // 0 when the workbook names none
  bool date1904 = false;
  std::vector<NumberFormatKind> dateKinds;  // by XF index
  XlsSharedStrings strings;
  size_t firstWorksheet = 0;  // offset of its BOF record in the stream
};

// Reads the globals substream at the start of `stream`. Fails with the
// reason (not a workbook stream, password protection, damage, no worksheet).
Status ReadXlsWorkbookGlobals(std::span<const uint8_t> stream, XlsWorkbookGlobals& globals);

}  // namespace tabrelium
