#include "config/field_grid_texts.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "config/config_line_reader.h"
#include "common/gbk.h"

namespace tabrelium {
namespace {

// The grid's cells hold at most this many bytes of text each.
constexpr size_t kGridCellMaxBytes = 10;

// The white space the window's string trimming removes ("C" locale isspace).
constexpr bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view TrimWhiteSpace(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view GridCellText(const std::string& text) {
  return TrimWhiteSpace(CutGbk(text, kGridCellMaxBytes));
}

}  // namespace

FieldGridTexts FillGridFromFields(const FieldTable& table) {
  FieldGridTexts rows;
  const int32_t used = std::clamp<int32_t>(table.fieldCount, 0, kMaxFields);
  for (int32_t i = 0; i < used; ++i) {
    const FieldSpec& field = table.fields[i];
    rows[i].displayName.assign(field.displayName,
                               strnlen(field.displayName, sizeof field.displayName));
    rows[i].extractColn = std::to_string(field.extractColn);
    rows[i].displayRows = std::to_string(field.displayRows);
  }
  return rows;
}

void ReadFieldsFromGridTexts(const FieldGridTexts& rows, FieldTable& table) {
  int32_t count = 0;
  for (const FieldGridRow& row : rows) {
    const std::string_view name = GridCellText(row.displayName);
    // Emptying a name is how the user removes a field.
    if (name.empty()) continue;
    const std::string_view column = GridCellText(row.extractColn);
    const std::string_view lines = GridCellText(row.displayRows);
    FieldSpec& field = table.fields[count];
    CopyFieldText(field.displayName, kMaxDisplayNameBytes, name);
    field.extractColn = column.empty() ? 0 : static_cast<uint8_t>(ParseConfigInt(column));
    field.displayRows = lines.empty() ? 1 : static_cast<uint8_t>(ParseConfigInt(lines));
    ++count;
  }
  table.fieldCount = count;
}

void RoundTripThroughGrid(FieldTable& table) {
  ReadFieldsFromGridTexts(FillGridFromFields(table), table);
}

}  // namespace tabrelium
