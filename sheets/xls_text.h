// Text in a BIFF workbook stream. Excel 97 and later (BIFF8) store a
// string's characters as UTF-16LE or, when all of a piece fit in one byte,
// "compressed" as their low bytes; a long string runs on into CONTINUE
// records, each of which restarts with a flag byte saying how its own
// characters are stored. Excel 5 and 95 (BIFF5) store bytes in the
// workbook's code page (its CODEPAGE record).
//
// Thread-safety: each object belongs to one thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/code_page.h"

namespace tabrelium {

// The bytes of a record and of the CONTINUE records after it, read as one
// run. A read that would pass the last byte fails.
class XlsContinuedBytes {
 public:
  // Starts over on `first`; keeps the memory of earlier runs.
  void Reset(std::span<const uint8_t> first);
  void Append(std::span<const uint8_t> next) { pieces_.push_back(next); }

  bool AtEnd();
  bool U8(uint8_t& v);
  bool U16(uint16_t& v);
  bool U32(uint32_t& v);
  bool Skip(uint64_t n);
  // Appends `count` characters as UTF-8; `compressed` says how the first
  // piece stores them, and every CONTINUE they run into brings its own flag.
  bool Characters(uint32_t count, bool compressed, std::string& utf8);

 private:
  // Moves to the next piece that has bytes left; false when none has.
  bool Available();

  std::vector<std::span<const uint8_t>> pieces_;
  size_t piece_ = 0;
  size_t at_ = 0;
};

// Reads one BIFF8 string: the 16-bit character count, the flag byte, and
// the characters (rich text runs and the phonetic guide are skipped).
// `utf8` gets the text. False when the bytes end before the string does.
bool ReadBiff8String(XlsContinuedBytes& bytes, std::string& utf8);

// The code page of an Excel 5 or 95 workbook. GBK (936) text goes to the
// sheet as it is; other code pages are decoded to UTF-8. A workbook without
// a CODEPAGE record, or with one that cannot be decoded, is read as GBK: the
// device's users write their tables on Chinese Windows.
class XlsCodePage {
 public:
  XlsCodePage() = default;
  explicit XlsCodePage(uint16_t codePage);

  bool gbk() const { return !decoder_.has_value() && !utf8_; }
  // UTF-8 of `bytes`. REQUIRES: !gbk(). Valid until the next call.
  std::string_view ToUtf8(std::string_view bytes);

 private:
  std::optional<CodePageDecoder> decoder_;
  bool utf8_ = false;
};

}  // namespace tabrelium
