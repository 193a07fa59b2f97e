#include "app/display_name_rule.h"

#include <cstring>
#include <string>
#include <string_view>

#include "app/gbk_text.h"
#include "config/config_file.h"
#include "config/field_table.h"

namespace tabrelium {
namespace {

// The white space the grid's read-back trims from a cell ("C" isspace).
constexpr bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view TrimWhiteSpace(std::string_view text) {
  while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool SurvivesSaveAndLoad(const QString& name) {
  const std::string gbk = ToGbk(name);
  if (FromGbk(gbk) != name) return false;  // a character with no GBK form
  const std::string_view kept = TrimWhiteSpace(gbk);
  if (kept.empty()) return true;
  if (kept.size() > static_cast<size_t>(kMaxDisplayNameBytes)) return false;

  // The file's own writer and reader decide, so the rule cannot drift
  // from them.
  FieldTable saved = MakeDefaultFieldTable();
  saved.fieldCount = 1;
  CopyFieldText(saved.fields[0].displayName, kMaxDisplayNameBytes, kept);
  saved.fields[0].extractColn = 1;
  saved.fields[0].displayRows = 1;
  FieldTable loaded = MakeDefaultFieldTable();
  ParseFieldConfig(FormatFieldConfig(saved), loaded);
  return loaded.fieldCount == 1 &&
         std::strcmp(loaded.fields[0].displayName, saved.fields[0].displayName) == 0;
}

}  // namespace tabrelium
