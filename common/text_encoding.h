// Telling a Unicode text file from a GBK one, so that "CSV UTF-8" exports
// and "Unicode text" (UTF-16) files reach the device as GBK, while GBK files
// (what shop systems on Chinese Windows export) are taken byte for byte.
//
// Thread-safety: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabrelium {

enum class TextEncoding {
  kGbk,       // anything else: taken as it is
  kUtf8,      // valid UTF-8 with at least one multi-byte character, no BOM
  kUtf8Bom,   // starts with EF BB BF
  kUtf16Le,   // starts with FF FE
  kUtf16Be,   // starts with FE FF
};

// How the bytes of a data file are written, by their byte-order mark or,
// without one, by whether they are valid UTF-8 with a multi-byte sequence.
TextEncoding DetectTextEncoding(std::string_view bytes);

// The text as GBK bytes, without its byte-order mark; characters GBK lacks
// become '?', counted in `unmappable`.
// REQUIRES: encoding != kGbk.
std::string ConvertTextToGbk(std::string_view bytes, TextEncoding encoding, size_t& unmappable);

// The encoding's name for messages, e.g. "UTF-8 with BOM".
const char* TextEncodingName(TextEncoding encoding);

}  // namespace tabrelium
