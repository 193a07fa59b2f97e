#include "common/text_encoding.h"

#include <cstdint>

#include "common/gbk_utf8.h"

namespace tabrelium {
namespace {

// Valid UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF) that
// holds at least one multi-byte sequence. GBK text fails within a few
// characters: its lead bytes are mostly not followed by 10xxxxxx bytes.
bool IsMultiByteUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const auto* end = p + text.size();
  bool multiByte = false;
  while (p < end) {
    // ASCII runs are the common case: take eight bytes at a time.
    while (end - p >= 8) {
      uint64_t word;
      __builtin_memcpy(&word, p, 8);
      if (word & 0x8080808080808080ULL) break;
      p += 8;
    }
    if (p >= end) break;
    const uint8_t b = *p;
    if (b < 0x80) {
      ++p;
      continue;
    }
    size_t len;
    uint32_t min;
    uint32_t cp;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, min = 0x80, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, min = 0x800, cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, min = 0x10000, cp = b & 0x07;
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) < len) return false;
    for (size_t i = 1; i < len; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = cp << 6 | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    multiByte = true;
    p += len;
  }
  return multiByte;
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

}  // namespace

TextEncoding DetectTextEncoding(std::string_view bytes) {
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return TextEncoding::kUtf8Bom;
  if (StartsWith(bytes, "\xFF\xFE")) return TextEncoding::kUtf16Le;
  if (StartsWith(bytes, "\xFE\xFF")) return TextEncoding::kUtf16Be;
  return IsMultiByteUtf8(bytes) ? TextEncoding::kUtf8 : TextEncoding::kGbk;
}

std::string ConvertTextToGbk(std::string_view bytes, TextEncoding encoding, size_t& unmappable) {
  switch (encoding) {
    case TextEncoding::kUtf8Bom:
      return Utf8ToGbk(bytes.substr(3), &unmappable);
    case TextEncoding::kUtf8:
      return Utf8ToGbk(bytes, &unmappable);
    case TextEncoding::kUtf16Le:
      return Utf16ToGbk(bytes.substr(2), false, &unmappable);
    case TextEncoding::kUtf16Be:
      return Utf16ToGbk(bytes.substr(2), true, &unmappable);
    case TextEncoding::kGbk:
      break;
  }
  return std::string(bytes);
}

const char* TextEncodingName(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kGbk: return "GBK";
    case TextEncoding::kUtf8: return "UTF-8";
    case TextEncoding::kUtf8Bom: return "UTF-8 with BOM";
    case TextEncoding::kUtf16Le: return "UTF-16 LE";
    case TextEncoding::kUtf16Be: return "UTF-16 BE";
  }
  return "GBK";
}

}  // namespace tabrelium
