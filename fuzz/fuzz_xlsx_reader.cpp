// Feeds arbitrary bytes to the XLSX reader as a whole file (a zip package)
// and checks what it promises: success or a message, never a crash or an
// unbounded read, and on failure an empty sheet. Lowered limits keep each
// run short while still reaching every guard.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "sheets/sheet_reader.h"
#include "sheets/xlsx_reader.h"

using namespace tabrelium;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PackageLimits limits;
  limits.maxMemberBytes = 4 << 20;
  limits.maxCells = 100'000;
  limits.maxSharedStrings = 100'000;
  SheetData sheet;
  const Status result = ReadXlsxBytes(std::span(data, size), sheet, limits);
  if (!result.ok() && (result.message().empty() || !sheet.cells().empty())) std::abort();
  for (const SheetCell& cell : sheet.cells())
    if (cell.textLength > 0 && sheet.TextOf(cell).size() != cell.textLength) std::abort();
  return 0;
}
