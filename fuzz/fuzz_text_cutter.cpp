// Feeds arbitrary bytes through the whole cut as the window runs it after a
// load (detect, clamp, build), then a separator and a start-line change, the
// preview of the first record and the table image with its package, and
// checks what every step promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/field_table.h"
#include "data/lcd_preview.h"
#include "data/table_image.h"
#include "data/text_cutter.h"
#include "data/text_loader.h"
#include "device/download_package.h"

using namespace tabrelium;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  FieldTable table = MakeDefaultFieldTable();
  table.startLine = data[0] % 4;
  table.separatorIndex = data[1] % 9;  // 8 and beyond: out of range on purpose
  table.separatorCount = 8;
  table.separators[7].code = data[2];
  const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

  TextBuffer buffer;
  CellTable cells;
  if (!LoadTextBytes(text, static_cast<int64_t>(text.size()), buffer, cells)) return 0;
  CountTextLines(buffer, table, cells);
  DetectSeparator(buffer, table, cells);
  ClampStartLine(table, cells);
  BuildCellTable(buffer, table, cells);
  if (cells.rowCount < 1 || cells.columnCount < 1 || cells.columnCount > kMaxColumns) std::abort();
  for (int32_t r = 1; r <= cells.rowCount; ++r)
    for (int32_t c = 1; c <= cells.columnCount; ++c)
      if (cells.CellText(r, c).size() > GetColumnWidth(cells, c)) std::abort();

  table.separatorIndex = static_cast<uint8_t>((data[1] / 9) % 8);
  RecountFields(buffer, table, cells);
  BuildCellTable(buffer, table, cells);
  table.startLine = data[0] / 4 % 3;
  CountTextLines(buffer, table, cells);
  ClampStartLine(table, cells);
  BuildCellTable(buffer, table, cells);

  table.fields[1].extractColn = static_cast<uint8_t>(cells.columnCount);
  if (!IsFieldConfigValid(table, cells.columnCount)) return 0;
  BuildLcdPreview(table, cells, 1);
  TableImage image;
  BuildTableImage(cells, table, image);
  const uint32_t records = GetRecordCount(image.bytes);
  if (static_cast<int64_t>(image.imageSize) !=
      GetHeaderLength(image.bytes) + static_cast<int64_t>(records) * GetRecordLength(image.bytes))
    std::abort();
  DownloadPackage package;
  BuildDownloadPackage(image.bytes, package);
  return 0;
}
