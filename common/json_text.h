// JSON strings for the lines programs read: the device list and the
// download log. Text is UTF-8 already; only what JSON forbids is escaped.
//
// Thread-safety: pure functions.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tabrelium {

// `text` as a JSON string, quotes included. Bytes that are not valid UTF-8
// pass through; a reader that minds gets U+FFFD for them.
inline std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace tabrelium
