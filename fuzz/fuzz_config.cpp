// Feeds arbitrary bytes to the configuration reader. No input may crash it or
// leave the field table outside its limits, and whatever it read must come
// back unchanged from a save and a second read, except for the texts the
// file format cannot carry (see docs/config-file.md, "What a save keeps").
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "config/config_file.h"
#include "config/field_grid_texts.h"

namespace {

using tabrelium::FieldTable;

void Require(bool condition) {
  if (!condition) std::abort();
}

template <size_t N>
bool IsTerminated(const char (&text)[N]) {
  return strnlen(text, N) < N;
}

void CheckLimits(const FieldTable& t, int32_t minFields) {
  Require(t.fieldCount >= minFields && t.fieldCount <= tabrelium::kMaxFields);
  Require(t.separatorCount >= tabrelium::kDefaultSeparatorCount &&
          t.separatorCount <= tabrelium::kMaxSeparators);
  Require(std::string_view(t.lineTerminator) == "\r\n" && t.lineTerminatorLength == 2);
  for (const auto& s : t.separators) Require(IsTerminated(s.name));
  for (const auto& f : t.fields) Require(IsTerminated(f.displayName));
}

bool IsQuoted(std::string_view text) {
  return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

// A CR ends a line of the saved file; a file without CR LF may have put one
// inside a name.
bool HoldsCr(std::string_view text) { return text.find('\r') != std::string_view::npos; }

// A name enclosed in quotes loses them on the next read, one holding a CR
// is cut there, and a custom separator's name ends its line, whose
// trailing blanks are trimmed.
bool SurvivesSave(const FieldTable& t) {
  for (int32_t i = 0; i < t.fieldCount; ++i) {
    if (IsQuoted(t.fields[i].displayName) || HoldsCr(t.fields[i].displayName)) return false;
  }
  if (t.separatorCount > tabrelium::kDefaultSeparatorCount) {
    const std::string_view name = t.separators[tabrelium::kDefaultSeparatorCount].name;
    if (IsQuoted(name) || HoldsCr(name)) return false;
    if (!name.empty() && (name.back() == ' ' || name.back() == '\t')) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FieldTable first;
  tabrelium::ParseFieldConfig({reinterpret_cast<const char*>(data), size}, first);
  CheckLimits(first, 1);

  const std::string saved = tabrelium::FormatFieldConfig(first);
  FieldTable second;
  tabrelium::ParseFieldConfig(saved, second);
  CheckLimits(second, 1);
  if (SurvivesSave(first)) Require(tabrelium::FormatFieldConfig(second) == saved);

  tabrelium::RoundTripThroughGrid(first);
  CheckLimits(first, 0);
  return 0;
}
