// The loaded data file as one block of GBK bytes, at most 64 MiB of it,
// followed by its line end (when the file did not end with one) and a NUL. The
// first NUL byte ends the text for every pass that cuts it.
//
// Thread-safety: owned by one thread (the window's or the CLI's).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/bulk_allocator.h"
#include "common/text_encoding.h"

namespace tabrelium {

// The most bytes of text that are loaded; the rest is cut off (and
// reported through TextBuffer::truncated).
inline constexpr int64_t kMaxTextBytes = 67108864;
// The most bytes of a Unicode file read for conversion: UTF-16 takes up to
// twice, UTF-8 up to three halves the room of the same text in GBK.
inline constexpr int64_t kMaxUnicodeFileBytes = 4 * kMaxTextBytes;

struct TextBuffer {
  // The text bytes, the appended line end if any, a NUL, and nothing after it.
  // Empty until the first successful load.
  BulkVector<uint8_t> text;
  int32_t textLength = 0;  // bytes of text, not counting the closing NUL
  // Size in bytes of the file the text came from, before the 64 MiB cut.
  int64_t sourceSize = 0;

  // What ends a line of this text (DetectLineEnd), also appended after a
  // last line that lacks it.
  std::string_view lineEnd = "\r\n";

  // The text as cut: up to the first NUL byte.
  const uint8_t* begin() const { return text.data(); }
  const uint8_t* end() const { return text.data() + textEnd; }
  // Offset of the first NUL byte: where cutting stops.
  int32_t textEnd = 0;

  // The text was more than 64 MiB (after conversion to GBK) and was cut.
  bool truncated = false;
  bool WasTruncated() const { return truncated; }

  // How the file was written; Unicode files were converted to GBK, with
  // `unmappable` characters that GBK lacks turned into '?'.
  TextEncoding encoding = TextEncoding::kGbk;
  size_t unmappable = 0;
};

}  // namespace tabrelium
