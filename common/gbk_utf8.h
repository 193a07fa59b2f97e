// Conversion between the engine's GBK bytes and UTF-8, for the edges only:
// terminal output, Qt widgets, Unicode input files.
//
// Thread-safety: every call uses its own converter; callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace tabrelium {

// GBK bytes to UTF-8. Characters are taken by the double-byte rule of gbk.h;
// a character that is no GBK character becomes U+FFFD, once per byte.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK bytes. A code point without a GBK form, or a malformed UTF-8
// byte, becomes '?'; `unmappable`, when given, counts them.
std::string Utf8ToGbk(std::string_view utf8, size_t* unmappable = nullptr);

// UTF-16 (little- or big-endian, no byte-order mark) to GBK bytes, '?' for a
// character without a GBK form or a broken surrogate, counted as above.
std::string Utf16ToGbk(std::string_view utf16, bool bigEndian, size_t* unmappable = nullptr);

}  // namespace tabrelium
