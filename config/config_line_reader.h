// The configuration file's line reader: how a file's bytes become the
// lines, sections, keys, values and pieces that the field table is read
// from. It keeps the window's long-standing quirks (63-byte lines, in a
// CR LF file CR as the only line end, full-width punctuation accepted as
// ASCII) so that files
// written by hand years ago still read the same. The rules are described in
// docs/config-file.md.
//
// Thread-safety: pure functions and a reader object over caller-owned bytes;
// a ConfigSectionReader belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/line_end.h"

namespace tabrelium {

// A line keeps at most this many bytes; the rest of it is dropped.
inline constexpr size_t kConfigLineMaxBytes = 63;
// Keys and values keep at most this many bytes each.
inline constexpr size_t kConfigKeyValueMaxBytes = 31;

// Reads the raw line that starts at `pos` in `file`: the bytes up to the
// next line end or the end, of which at most the first 63 are returned (a
// plain byte cut). `lineEnd` is the file's (DetectLineEnd). In a CR LF file
// a line ends at any CR, and `pos` moves past the CR and the one byte after
// it, taken to be its LF; a lone LF is then an ordinary byte. In a file
// without CR LF a line ends at each LF (or, without LF either, each CR),
// and `pos` moves past it. Returns false, leaving `line` empty, when `pos`
// is at or beyond the end of `file`. The returned view points into `file`.
bool ReadConfigLine(std::string_view file, size_t& pos, std::string_view& line,
                    std::string_view lineEnd = "\r\n");

// The text a raw line contributes: up to its first NUL byte, spaces and TABs
// trimmed from both ends, a "//" comment cut off (the whole line when it
// starts with one) and trailing blanks trimmed again, then the full-width
// "，＝．～｜" replaced by ",=.~|" where they start a character. Empty for an
// ignored line. Its length is the line's noted length.
std::string NormalizeConfigLine(std::string_view raw);

// Every reader passes over lines whose noted length is below 2 bytes.
constexpr bool IsSkippedConfigLine(std::string_view noted) { return noted.size() < 2; }

// Walks the sections of one file. Every FindSection starts again from the
// top, so sections may stand in any order.
class ConfigSectionReader {
 public:
  explicit ConfigSectionReader(std::string_view file)
      : file_(file), lineEnd_(DetectLineEnd(file)) {}

  // Finds the first line that is not skipped and begins with `header`
  // (case-sensitive prefix). True when found; body lines follow.
  bool FindSection(std::string_view header);

  // The next body line that is not skipped, normalised. False at the end of
  // the file or at the first such line beginning with "#", and from then on
  // until the next FindSection.
  bool NextBodyLine(std::string& line);

 private:
  bool NextNotedLine(std::string& line);

  std::string_view file_;
  std::string_view lineEnd_;
  size_t pos_ = 0;
  bool inBody_ = false;
};

struct KeyValue {
  std::string key;    // before the first "=", at most 31 bytes
  std::string value;  // after it (may hold "="), at most 31 bytes
};

// Splits a line at its first "="; nothing is trimmed. Keys and values longer
// than 31 bytes are cut, never inside a two-byte character. No "=": nullopt.
std::optional<KeyValue> SplitKeyValue(std::string_view line);

// The number of commas, plus one unless the value ends with a comma:
// "a,b,c" and "a,,c" count 3, "a,b," counts 2, "" counts 0.
int CountPieces(std::string_view value);

// Piece `index` (from 0) of a comma-separated value, cut to at most
// `maxBytes` bytes without splitting a two-byte character; empty when there
// is no such piece. The view points into `value`.
std::string_view ExtractPiece(std::string_view value, int index, size_t maxBytes);

// Removes one pair of enclosing double quotes from a text of 2 bytes or more.
std::string_view StripQuotes(std::string_view text);

// The custom separator's byte from a key such as "0x3B": its 3rd and 4th
// bytes read as hex digits, where a non-hex byte or a missing one is 0.
uint8_t ParseHexByte(std::string_view key);

// atoi's reading of a number: leading white space, an optional sign, decimal
// digits up to the first other byte; no digits give 0. Overflow wraps modulo
// 2^32 (never undefined); 8-bit fields keep the low 8 bits of the result.
int32_t ParseConfigInt(std::string_view text);

}  // namespace tabrelium
