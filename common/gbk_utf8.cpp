#include "common/gbk_utf8.h"

#include <iconv.h>

#include <cerrno>

#include "common/gbk.h"

namespace tabrelium {
namespace {


class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of [in, in + size) as it can, appending to `out`.
  // Returns the bytes consumed; stops early at an invalid sequence.
  size_t Convert(const char* in, size_t size, std::string& out) {
    char* src = const_cast<char*>(in);
    size_t left = size;
    char buf[4096];
    while (left > 0) {
      char* dst = buf;
      size_t room = sizeof buf;
      size_t rc = iconv(cd_, &src, &left, &dst, &room);
      out.append(buf, static_cast<size_t>(dst - buf));
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) break;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    return size - left;
  }

 private:
  iconv_t cd_;
};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size() + gbk.size() / 2);
  // One converter per thread: opening one costs more than converting a cell.
  thread_local Converter conv("UTF-8", "GBK");
  size_t pos = 0;
  while (pos < gbk.size()) {
    size_t done = conv.ok() ? conv.Convert(gbk.data() + pos, gbk.size() - pos, out) : 0;
    pos += done;
    if (pos >= gbk.size()) break;
    // The converter stopped at a character it does not know: replace each
    // of its bytes.
    const size_t len = GbkCharLength(gbk, pos);
    for (size_t i = 0; i < len; ++i) out += kReplacement;
    pos += len;
  }
  return out;
}

std::string Utf8ToGbk(std::string_view utf8, size_t* unmappable) {
  std::string out;
  out.reserve(utf8.size());
  thread_local Converter conv("GBK", "UTF-8");
  size_t pos = 0;
  while (pos < utf8.size()) {
    size_t done = conv.ok() ? conv.Convert(utf8.data() + pos, utf8.size() - pos, out) : 0;
    pos += done;
    if (pos >= utf8.size()) break;
    // Skip one UTF-8 sequence (or one stray byte) and mark it.
    const auto lead = static_cast<uint8_t>(utf8[pos]);
    size_t len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    size_t i = 1;
    while (i < len && pos + i < utf8.size() &&
           (static_cast<uint8_t>(utf8[pos + i]) & 0xC0) == 0x80)
      ++i;
    out += '?';
    if (unmappable) ++*unmappable;
    pos += i;
  }
  return out;
}

std::string Utf16ToGbk(std::string_view utf16, bool bigEndian, size_t* unmappable) {
  std::string out;
  out.reserve(utf16.size());
  thread_local Converter little("GBK", "UTF-16LE");
  thread_local Converter big("GBK", "UTF-16BE");
  Converter& conv = bigEndian ? big : little;
  const size_t usable = utf16.size() & ~size_t{1};  // an odd last byte is no character
  size_t pos = 0;
  while (pos < usable) {
    size_t done = conv.ok() ? conv.Convert(utf16.data() + pos, usable - pos, out) : 0;
    pos += done;
    if (pos >= usable) break;
    // One unit, or a surrogate pair, that has no GBK form.
    auto unit = [&](size_t at) {
      const auto a = static_cast<uint8_t>(utf16[at]), b = static_cast<uint8_t>(utf16[at + 1]);
      return static_cast<uint16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    };
    const bool pair = unit(pos) >= 0xD800 && unit(pos) < 0xDC00 && pos + 4 <= usable &&
                      unit(pos + 2) >= 0xDC00 && unit(pos + 2) < 0xE000;
    out += '?';
    if (unmappable) ++*unmappable;
    pos += pair ? 4 : 2;
  }
  if (usable < utf16.size()) {
    out += '?';
    if (unmappable) ++*unmappable;
  }
  return out;
}

}  // namespace tabrelium
