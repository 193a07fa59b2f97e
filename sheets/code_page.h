// The text encoding of a dBASE table or an Excel 5/95 workbook, from what
// the file says of its code page: a dBASE table's language driver id
// ("LDID/77", as shapelib gives it) or the first line of its .cpg file
// ("936", "CP936", "GBK", "UTF-8", "1252", "ISO 88591" ...), a workbook's
// CODEPAGE record given as its number. GBK text goes to the sheet as it is;
// other encodings are decoded to UTF-8 here.
//
// A file that says nothing is GBK: the device's users write their tables
// on Chinese Windows. "LDID/87" means "the writer's system ANSI code page"
// and is GBK for the same reason. A code page that is not recognised, or
// that iconv cannot decode, is taken as GBK too, with `recognised` false.
//
// Thread-safety: EncodingOfCodePage is pure; a CodePageDecoder belongs to one
// thread.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace tabrelium {

enum class CodePageTextKind { kGbk, kUtf8, kDecoded };

struct CodePageEncoding {
  CodePageTextKind kind = CodePageTextKind::kGbk;
  std::string iconvName;  // for kDecoded: the name iconv knows it by
  bool recognised = true;
};

// `codePage` as DBFGetCodePage gives it, or a code page number as text;
// nullptr when the file says nothing.
CodePageEncoding EncodingOfCodePage(const char* codePage);

// Decodes one code page to UTF-8; a byte sequence the code page does not
// define becomes '?'.
class CodePageDecoder {
 public:
  // REQUIRES: iconv knows `iconvName` (EncodingOfCodePage checked it).
  explicit CodePageDecoder(const std::string& iconvName);
  ~CodePageDecoder();
  CodePageDecoder(const CodePageDecoder&) = delete;
  CodePageDecoder& operator=(const CodePageDecoder&) = delete;

  // Valid until the next call.
  std::string_view ToUtf8(std::string_view bytes);

 private:
  iconv_t cd_;
  std::string out_;
};

}  // namespace tabrelium
