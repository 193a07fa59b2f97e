// Feeds arbitrary bytes to the OpenDocument spreadsheet reader as a whole
// file (a zip package, or flat XML) and checks what it promises: success or
// a message, never a crash or an unbounded read, on failure an empty sheet,
// and never more cells than the window the limits deliver. Lowered limits
// keep each run short while still reaching every guard.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "sheets/ods_reader.h"
#include "sheets/sheet_limits.h"
#include "sheets/sheet_reader.h"

using namespace tabrelium;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PackageLimits limits;
  limits.maxMemberBytes = 4 << 20;
  limits.maxCells = 100'000;
  SheetData sheet;
  const Status result = ReadOdsBytes(std::span(data, size), sheet, limits);
  if (!result.ok() && (result.message().empty() || !sheet.cells().empty())) std::abort();
  if (sheet.cells().size() > size_t{kSheetReadRows} * kSheetReadColumns) std::abort();
  for (const SheetCell& cell : sheet.cells())
    if (cell.textLength > 0 && sheet.TextOf(cell).size() != cell.textLength) std::abort();
  return 0;
}
