// The field table: how loaded text is cut up (separators, start line, line
// terminator) and which fields go to the device (up to 32 FieldSpecs).
// Texts are NUL-terminated GBK bytes; every length is in bytes.
//
// Thread-safety: a FieldTable belongs to the thread that owns the window (or
// the CLI's main thread); the download thread never touches one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tabrelium {

inline constexpr int kMaxSeparators = 8;
inline constexpr int kMaxFields = 32;
inline constexpr int kMaxDisplayNameBytes = 10;
inline constexpr int kMaxSeparatorNameBytes = 21;
inline constexpr int kMaxDisplayRows = 10;
// Separators offered before the configuration file adds a custom one.
inline constexpr int kDefaultSeparatorCount = 7;

struct SeparatorEntry {
  uint8_t code;
  char name[kMaxSeparatorNameBytes + 1];
};

struct FieldSpec {
  char displayName[kMaxDisplayNameBytes + 1];
  uint8_t extractColn;  // 1-based source column, 0 = none (always empty text)
  uint8_t displayRows;  // LCD lines, valid 1..10
};

struct FieldTable {
  std::array<SeparatorEntry, kMaxSeparators> separators;
  uint8_t separatorCount;
  uint8_t separatorIndex;  // may be >= separatorCount as read from a file
  int32_t startLine;       // 0-based index of the first data line
  char lineTerminator[8];
  int32_t lineTerminatorLength;
  int32_t fieldCount;
  std::array<FieldSpec, kMaxFields> fields;
};

// The seven built-in separators; separatorCount 7, separatorIndex 0 (TAB).
void ResetSeparators(FieldTable& table);
// Two fields: "条码" (column 1, 1 line) and "名称" (column 2, 2 lines).
void ResetFields(FieldTable& table);
// startLine 1, line terminator CR LF.
void ResetLineSettings(FieldTable& table);

// A table cleared to zero bytes, then given all three defaults.
FieldTable MakeDefaultFieldTable();

// The entry of the selected separator. An index at or beyond separatorCount
// (a hand-edited file may hold one) selects entry 0.
const SeparatorEntry& SelectedSeparator(const FieldTable& table);

// False when there are no fields, a field's source column is beyond
// `columnCount` (the loaded cell table's), or its displayRows is not 1..10.
bool IsFieldConfigValid(const FieldTable& table, int32_t columnCount);

// Copies at most `maxBytes` GBK bytes of `text` into `dest` (which holds
// maxBytes + 1), never splitting a two-byte character, and NUL-terminates.
void CopyFieldText(char* dest, size_t maxBytes, std::string_view text);

}  // namespace tabrelium
