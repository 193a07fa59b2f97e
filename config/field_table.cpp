#include "config/field_table.h"

#include <algorithm>
#include <cstring>

#include "common/gbk.h"

namespace tabrelium {
namespace {

struct DefaultSeparator {
  uint8_t code;
  std::string_view name;  // GBK bytes
};

constexpr std::array<DefaultSeparator, kDefaultSeparatorCount> kDefaultSeparators = {{
    {0x09, "TAB"},
    {0x2C, ","},
    {0x7E, "~"},
    {0x3B, ";"},
    {0x3A, ":"},
    {0x7C, "|"},
    {0x20, "Space(\xBF\xD5\xB8\xF1)"},  // "Space(空格)"
}};

struct DefaultField {
  std::string_view name;  // GBK bytes
  uint8_t extractColn;
  uint8_t displayRows;
};

constexpr std::array<DefaultField, 2> kDefaultFields = {{
    {"\xCC\xF5\xC2\xEB", 1, 1},  // "条码", the barcode
    {"\xC3\xFB\xB3\xC6", 2, 2},  // "名称", the product name
}};

}  // namespace

void ResetSeparators(FieldTable& table) {
  for (size_t i = 0; i < kDefaultSeparators.size(); ++i) {
    table.separators[i].code = kDefaultSeparators[i].code;
    CopyFieldText(table.separators[i].name, kMaxSeparatorNameBytes, kDefaultSeparators[i].name);
  }
  table.separatorCount = kDefaultSeparatorCount;
  table.separatorIndex = 0;
}

void ResetFields(FieldTable& table) {
  for (size_t i = 0; i < kDefaultFields.size(); ++i) {
    FieldSpec& field = table.fields[i];
    CopyFieldText(field.displayName, kMaxDisplayNameBytes, kDefaultFields[i].name);
    field.extractColn = kDefaultFields[i].extractColn;
    field.displayRows = kDefaultFields[i].displayRows;
  }
  table.fieldCount = static_cast<int32_t>(kDefaultFields.size());
}

void ResetLineSettings(FieldTable& table) {
  table.startLine = 1;
  std::memset(table.lineTerminator, 0, sizeof table.lineTerminator);
  std::memcpy(table.lineTerminator, "\r\n", 2);
  table.lineTerminatorLength = 2;
}

FieldTable MakeDefaultFieldTable() {
  FieldTable table;
  // Zero bytes first, padding and the unused ends of the names included, so
  // that a table holds nothing but what it was given.
  std::memset(static_cast<void*>(&table), 0, sizeof table);
  ResetSeparators(table);
  ResetFields(table);
  ResetLineSettings(table);
  return table;
}

const SeparatorEntry& SelectedSeparator(const FieldTable& table) {
  const int count = std::min<int>(table.separatorCount, kMaxSeparators);
  return table.separatorIndex < count ? table.separators[table.separatorIndex]
                                      : table.separators[0];
}

bool IsFieldConfigValid(const FieldTable& table, int32_t columnCount) {
  if (table.fieldCount <= 0) return false;
  const int32_t count = std::min<int32_t>(table.fieldCount, kMaxFields);
  for (int32_t i = 0; i < count; ++i) {
    const FieldSpec& field = table.fields[i];
    if (static_cast<int32_t>(field.extractColn) > columnCount) return false;
    if (field.displayRows == 0 || field.displayRows > kMaxDisplayRows) return false;
  }
  return true;
}

void CopyFieldText(char* dest, size_t maxBytes, std::string_view text) {
  const std::string_view kept = CutGbk(text, maxBytes);
  if (!kept.empty()) std::memcpy(dest, kept.data(), kept.size());
  dest[kept.size()] = '\0';
}

}  // namespace tabrelium
