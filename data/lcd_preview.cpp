#include "data/lcd_preview.h"

#include <algorithm>
#include <cstring>

#include "common/gbk.h"

namespace tabrelium {

std::string WrapLcdLine(std::string_view text, size_t& pos) {
  const size_t start = pos;
  size_t used = 0;
  while (pos < text.size()) {
    const size_t length = GbkCharLength(text, pos);
    // A two-byte character that would take columns 20 and 21 starts the
    // next line instead.
    if (used + length > static_cast<size_t>(kLcdColumns)) break;
    used += length;
    pos += length;
  }
  return std::string(text.substr(start, used));
}

std::vector<LcdLine> BuildLcdPreview(const FieldTable& table, const CellTable& cells,
                                     int32_t record) {
  std::vector<LcdLine> lines;
  if (record < 1 || record > GetRowCount(cells)) return lines;
  const int32_t fieldCount = std::clamp<int32_t>(table.fieldCount, 0, kMaxFields);
  for (int32_t j = 0; j < fieldCount; ++j) {
    const FieldSpec& fieldSpec = table.fields[j];
    std::string text(fieldSpec.displayName, strnlen(fieldSpec.displayName, sizeof fieldSpec.displayName));
    text += ':';
    if (fieldSpec.extractColn != 0) text += cells.CellText(record, fieldSpec.extractColn);

    size_t pos = 0;
    lines.push_back({"  " + std::to_string(fieldSpec.displayRows), WrapLcdLine(text, pos)});
    // Lines past the end of the text stay in the list, empty, so every field
    // takes exactly its displayRows lines; text beyond them is not shown.
    for (int32_t i = 1; i < fieldSpec.displayRows; ++i) lines.push_back({"", WrapLcdLine(text, pos)});
  }
  return lines;
}

}  // namespace tabrelium
