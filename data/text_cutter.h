// Cutting the loaded text into lines and fields: the steps, and the three
// cuts that follow the user's actions, each running the steps in their
// fixed order.
//
// A line ends at the first CR LF or at the end of the text. A line with an
// odd number of double quotes is read in plain mode (quotes are ordinary
// bytes); any other line in quoted mode, where a double quote opens a section
// that hides separators and a field that begins with one is a quoted value.
// Characters follow the double-byte rule of common/gbk.h in every pass.
//
// Thread-safety: plain functions on caller-owned stores.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "config/field_table.h"
#include "data/cell_table.h"
#include "data/text_buffer.h"

namespace tabrelium {

// Sets lineCount: the lines from the start of the text (at least 1).
void CountTextLines(const TextBuffer& buffer, const FieldTable& table, CellTable& cells);

// Sets fieldsPerLine from the first two data lines, keeping the selected
// separator when it finds more than 2 equal fields on both, else choosing
// the separator with the most equal, non-zero fields (lowest index on a
// tie). Counts compare as 8-bit values. May change separatorIndex.
void DetectSeparator(const TextBuffer& buffer, FieldTable& table, CellTable& cells);

// Sets fieldsPerLine from the line before the first data line (line 0 when
// startLine is 0) with the selected separator, clamped to 1..32.
void RecountFields(const TextBuffer& buffer, const FieldTable& table, CellTable& cells);

// Lowers startLine to lineCount - 1 when, compared unsigned, it is not below
// lineCount; returns false when it did.
bool ClampStartLine(FieldTable& table, const CellTable& cells);

// Rebuilds the cells, rowCount, columnCount, columnWidths and report.
void BuildCellTable(const TextBuffer& buffer, const FieldTable& table, CellTable& cells);

// After a load: CountTextLines, DetectSeparator, ClampStartLine,
// BuildCellTable. Returns ClampStartLine's result.
bool CutLoadedText(const TextBuffer& buffer, FieldTable& table, CellTable& cells);
// After another separator is chosen: RecountFields, BuildCellTable.
void RecutForSeparator(const TextBuffer& buffer, const FieldTable& table, CellTable& cells);
// After another start line is chosen: CountTextLines, ClampStartLine,
// BuildCellTable. Returns ClampStartLine's result.
bool RecutForStartLine(const TextBuffer& buffer, FieldTable& table, CellTable& cells);

// Lower-level cutting, on one line of a text; exposed for tests and the
// detection. Positions are byte offsets into the text.
struct TextView {
  std::string_view text;  // the text up to its first NUL
  std::string_view terminator;
};

TextView ViewOf(const TextBuffer& buffer, const FieldTable& table);

// Number of double quotes from `pos` to the line's terminator or the end.
int32_t CountQuotes(const TextView& view, size_t pos);
// Start of the next line, or nothing when no byte follows this line.
std::optional<size_t> NextLine(const TextView& view, size_t pos);
// Start of the line `n` lines further on (n <= 0: `pos` itself).
std::optional<size_t> SkipLines(const TextView& view, size_t pos, int32_t n);
// Fields of the line at `pos` with `separator`; 0 for no line.
int32_t CountFields(const TextView& view, std::optional<size_t> pos, uint8_t separator);
// Field `n` (0-based) of the line at `pos` as it would be copied into a cell
// of `capacity` bytes (NUL included): at most capacity - 1 bytes, never
// ending inside a two-byte character.
std::string_view ExtractField(const TextView& view, size_t pos, uint8_t separator,
                              int32_t n, size_t capacity = kCellBufferSize);

}  // namespace tabrelium
