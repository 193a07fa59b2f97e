// Feeds arbitrary bytes to the XLS reader as a whole file (an OLE2 compound
// file around a BIFF workbook stream) and checks what it promises: success
// or a message, never a crash or an unbounded read, and on failure an empty
// sheet. A lowered stream cap keeps each run short while still reaching it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "sheets/sheet_reader.h"
#include "sheets/xls_reader.h"

using namespace tabrelium;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  XlsLimits limits;
  limits.maxStreamBytes = 4 << 20;
  SheetData sheet;
  const Status result = ReadXlsBytes(std::span(data, size), sheet, limits);
  if (!result.ok() && (result.message().empty() || !sheet.cells().empty())) std::abort();
  for (const SheetCell& cell : sheet.cells())
    if (cell.textLength > 0 && sheet.TextOf(cell).size() != cell.textLength) std::abort();
  return 0;
}
