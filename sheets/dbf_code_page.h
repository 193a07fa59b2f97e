// The text encoding of a dBASE table, from what the table says of its code
// page: the language driver id in its header ("LDID/77", as shapelib gives
// it) or the first line of its .cpg file ("936", "CP936", "GBK", "UTF-8",
// "1252", "ISO 88591" ...). GBK text goes to the sheet as it is; other
// encodings are decoded to UTF-8 here.
//
// A table that says nothing is GBK: the device's users write their tables
// on Chinese Windows. "LDID/87" means "the writer's system ANSI code page"
// and is GBK for the same reason. A code page that is not recognised, or
// that iconv cannot decode, is taken as GBK too, with `recognised` false.
//
// Thread-safety: DbfEncodingOf is pure; a DbfTextDecoder belongs to one
// thread.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace tabrelium {

enum class DbfTextKind { kGbk, kUtf8, kDecoded };

struct DbfEncoding {
  DbfTextKind kind = DbfTextKind::kGbk;
  std::string iconvName;  // for kDecoded: the name iconv knows it by
  bool recognised = true;
};

// `codePage` as DBFGetCodePage gives it; nullptr when the table says nothing.
DbfEncoding DbfEncodingOf(const char* codePage);

// Decodes one code page to UTF-8; a byte sequence the code page does not
// define becomes '?'.
class DbfTextDecoder {
 public:
  // REQUIRES: iconv knows `iconvName` (DbfEncodingOf checked it).
  explicit DbfTextDecoder(const std::string& iconvName);
  ~DbfTextDecoder();
  DbfTextDecoder(const DbfTextDecoder&) = delete;
  DbfTextDecoder& operator=(const DbfTextDecoder&) = delete;

  // Valid until the next call.
  std::string_view ToUtf8(std::string_view bytes);

 private:
  iconv_t cd_;
  std::string out_;
};

}  // namespace tabrelium
