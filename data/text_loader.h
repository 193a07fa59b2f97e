// Reading a "txt" or "csv" data file into the TextBuffer.
//
// Thread-safety: plain functions on caller-owned stores.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "data/cell_table.h"
#include "data/text_buffer.h"

namespace tabrelium {

// Reads at most 64 MiB of the file at `path` into `buffer` and makes sure
// the text ends with its line end (DetectLineEnd; for CR LF, unless its
// next-to-last byte is already CR).
// Returns true when at least one byte was read. A file that cannot be
// opened changes nothing; an empty one clears `cells` and sets textLength 0
// but leaves the previous bytes to be cut again.
bool LoadTextFile(const std::string& path, TextBuffer& buffer, CellTable& cells);

// Where a NUL byte ended the text: the 1-based line it stands in and how
// many lines after that one were not read. Nothing when no NUL cut it.
struct NulCut {
  int64_t line = 0;
  int64_t linesAfter = 0;
};
std::optional<NulCut> FindNulCut(const TextBuffer& buffer);

// Takes `bytes` (GBK text a spreadsheet produced) as the loaded text,
// without copying it. False, with the table cleared, when it is empty.
bool AdoptTextBytes(BulkVector<uint8_t>&& bytes, TextBuffer& buffer, CellTable& cells);

// The same on bytes already in memory (a test, a fuzzer).
bool LoadTextBytes(std::string_view bytes, int64_t sourceSize, TextBuffer& buffer,
                   CellTable& cells);

}  // namespace tabrelium
