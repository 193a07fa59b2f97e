#include "sheets/xls_text.h"

#include <algorithm>

#include "common/byte_order.h"

namespace tabrelium {
namespace {

void AppendUtf8(uint32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | codePoint >> 6));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | codePoint >> 12));
    out.push_back(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | codePoint >> 18));
    out.push_back(static_cast<char>(0x80 | (codePoint >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

// UTF-16 code units to UTF-8; a surrogate pair may be split over two
// pieces, so the high half waits in `high` (0 when none).
void AppendUtf16Unit(uint16_t unit, uint16_t& high, std::string& out) {
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    if (high != 0) AppendUtf8(kReplacement, out);
    high = unit;
    return;
  }
  if (unit >= 0xDC00 && unit <= 0xDFFF) {
    if (high == 0) return AppendUtf8(kReplacement, out);
    AppendUtf8(0x10000 + ((uint32_t{high} - 0xD800) << 10) + (unit - 0xDC00u), out);
    high = 0;
    return;
  }
  if (high != 0) AppendUtf8(kReplacement, out);
  high = 0;
  AppendUtf8(unit, out);
}

// Code pages a CODEPAGE record names that iconv knows by another name.
uint16_t IconvCodePage(uint16_t codePage) {
  switch (codePage) {
    case 367: return 1252;    // US-ASCII, a part of 1252
    case 1200: return 0;      // UTF-16 names no byte code page: the default
    case 32768: return 10000;  // Mac Roman
    case 32769: return 1252;   // "Windows ANSI" of the oldest writers
    default: return codePage;
  }
}

}  // namespace

void XlsContinuedBytes::Reset(std::span<const uint8_t> first) {
  pieces_.clear();
  pieces_.push_back(first);
  piece_ = 0;
  at_ = 0;
}

bool XlsContinuedBytes::Available() {
  while (piece_ < pieces_.size() && at_ == pieces_[piece_].size()) {
    ++piece_;
    at_ = 0;
  }
  return piece_ < pieces_.size();
}

bool XlsContinuedBytes::AtEnd() { return !Available(); }

bool XlsContinuedBytes::U8(uint8_t& v) {
  if (!Available()) return false;
  v = pieces_[piece_][at_++];
  return true;
}

bool XlsContinuedBytes::U16(uint16_t& v) {
  uint8_t b0 = 0, b1 = 0;
  if (!U8(b0) || !U8(b1)) return false;
  v = static_cast<uint16_t>(b0 | b1 << 8);
  return true;
}

bool XlsContinuedBytes::U32(uint32_t& v) {
  uint16_t low = 0, high = 0;
  if (!U16(low) || !U16(high)) return false;
  v = uint32_t{low} | uint32_t{high} << 16;
  return true;
}

bool XlsContinuedBytes::Skip(uint64_t n) {
  while (n > 0) {
    if (!Available()) return false;
    const size_t step = static_cast<size_t>(std::min<uint64_t>(n, pieces_[piece_].size() - at_));
    at_ += step;
    n -= step;
  }
  return true;
}

bool XlsContinuedBytes::Characters(uint32_t count, bool compressed, std::string& utf8) {
  uint16_t high = 0;
  while (count > 0) {
    if (piece_ >= pieces_.size()) return false;
    if (at_ == pieces_[piece_].size()) {
      // The characters run on into a CONTINUE record, which says anew how
      // it stores them.
      uint8_t flags = 0;
      if (!U8(flags)) return false;
      compressed = (flags & 0x01) == 0;
    }
    const std::span<const uint8_t> piece = pieces_[piece_].subspan(at_);
    if (piece.empty()) continue;  // a CONTINUE that held only its flag
    if (compressed) {
      const size_t n = std::min<size_t>(count, piece.size());
      for (size_t i = 0; i < n; ++i) {
        if (high != 0) AppendUtf8(kReplacement, utf8);
        high = 0;
        AppendUtf8(piece[i], utf8);
      }
      at_ += n;
      count -= static_cast<uint32_t>(n);
    } else {
      const size_t n = std::min<size_t>(count, piece.size() / 2);
      if (n == 0) return false;  // an odd byte left: no whole character
      for (size_t i = 0; i < n; ++i) AppendUtf16Unit(GetLe16(&piece[2 * i]), high, utf8);
      at_ += 2 * n;
      count -= static_cast<uint32_t>(n);
    }
  }
  if (high != 0) AppendUtf8(kReplacement, utf8);
  return true;
}

bool ReadBiff8String(XlsContinuedBytes& bytes, std::string& utf8) {
  utf8.clear();
  uint16_t count = 0;
  uint8_t flags = 0;
  if (!bytes.U16(count) || !bytes.U8(flags)) return false;
  uint16_t runs = 0;
  uint32_t phoneticBytes = 0;
  if ((flags & 0x08) != 0 && !bytes.U16(runs)) return false;
  if ((flags & 0x04) != 0 && !bytes.U32(phoneticBytes)) return false;
  return bytes.Characters(count, (flags & 0x01) == 0, utf8) &&
         bytes.Skip(uint64_t{runs} * 4) && bytes.Skip(phoneticBytes);
}

XlsCodePage::XlsCodePage(uint16_t codePage) {
  const CodePageEncoding encoding = EncodingOfCodePage(std::to_string(IconvCodePage(codePage)).c_str());
  if (encoding.kind == CodePageTextKind::kUtf8) utf8_ = true;
  if (encoding.kind == CodePageTextKind::kDecoded) decoder_.emplace(encoding.iconvName);
}

std::string_view XlsCodePage::ToUtf8(std::string_view bytes) {
  return decoder_.has_value() ? decoder_->ToUtf8(bytes) : bytes;
}

}  // namespace tabrelium
