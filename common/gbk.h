// The double-byte rule for GBK text, shared by every pass that walks text:
// counting and locating fields, copying cells, wrapping LCD lines, and the
// configuration reader. One rule everywhere keeps those passes in step, so a
// character whose second byte happens to equal a separator ('|', '~') is
// either one character for all of them or for none.
//
// A byte 0x81..0xFE followed by a byte 0x40..0x7E or 0x80..0xFE is one
// two-byte character. Every other byte stands alone: 0x80, 0xFF, and a lead
// byte followed by anything else or by the end of the text.
//
// Thread-safety: pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tabrelium {

constexpr bool IsGbkLeadByte(uint8_t b) { return b >= 0x81 && b <= 0xFE; }

constexpr bool IsGbkTrailByte(uint8_t b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

// Length in bytes (1 or 2) of the character that starts at `p`, where `end`
// is one past the last byte that may belong to it.
// REQUIRES: p < end.
inline size_t GbkCharLength(const uint8_t* p, const uint8_t* end) {
  return (IsGbkLeadByte(p[0]) && end - p >= 2 && IsGbkTrailByte(p[1])) ? 2 : 1;
}

inline size_t GbkCharLength(std::string_view text, size_t pos) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  return GbkCharLength(p + pos, p + text.size());
}

// The longest prefix of `text` of at most `max_bytes` bytes that does not end
// inside a two-byte character: a character that would straddle the cut is
// dropped whole.
inline std::string_view CutGbk(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t pos = 0;
  while (pos < max_bytes) {
    size_t len = GbkCharLength(text, pos);
    if (pos + len > max_bytes) break;
    pos += len;
  }
  return text.substr(0, pos);
}

}  // namespace tabrelium
