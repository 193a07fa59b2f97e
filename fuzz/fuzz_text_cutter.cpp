// Feeds arbitrary bytes through the session as the window runs it: a load
// (detect, clamp, build), then a separator and a start-line change, the
// preview of the first record and the table image with its package, and
// checks what every step promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "data/session.h"

using namespace tabrelium;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  FieldTable table = MakeDefaultFieldTable();
  table.startLine = data[0] % 4;
  table.separatorIndex = data[1] % 9;  // 8 and beyond: out of range on purpose
  table.separatorCount = 8;
  table.separators[7].code = data[2];
  const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

  Session session;
  session.SetFields(table);
  if (!session.LoadText(text).ok()) return 0;
  const CellTable& cells = session.Cells();
  if (cells.rowCount < 1 || cells.columnCount < 1 || cells.columnCount > kMaxColumns) std::abort();
  for (int32_t r = 1; r <= cells.rowCount; ++r)
    for (int32_t c = 1; c <= cells.columnCount; ++c)
      if (cells.CellText(r, c).size() > GetColumnWidth(cells, c)) std::abort();

  session.ChooseSeparator((data[1] / 9) % 8);
  session.ChooseStartLine(data[0] / 4 % 3);

  FieldGridTexts grid = session.GridTexts();
  grid[1].extractColn = std::to_string(cells.columnCount);
  if (!session.ApplyGridTexts(grid).ok()) return 0;
  session.DescribeRecord(1);
  session.BuildImage();
  const TableImage& image = session.Image();
  const uint32_t records = GetRecordCount(image.bytes);
  if (static_cast<int64_t>(image.imageSize) !=
      GetHeaderLength(image.bytes) + static_cast<int64_t>(records) * GetRecordLength(image.bytes))
    std::abort();
  if (session.BuildImageForDownload().ok()) session.BuildPackage();
  return 0;
}
