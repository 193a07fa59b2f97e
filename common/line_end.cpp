#include "common/line_end.h"

namespace tabrelium {

std::string_view DetectLineEnd(std::string_view text) {
  // The first CR decides for most files; only a file without CR LF is read
  // to its end.
  for (size_t at = text.find('\r'); at != std::string_view::npos; at = text.find('\r', at + 1))
    if (at + 1 < text.size() && text[at + 1] == '\n') return "\r\n";
  if (text.find('\n') != std::string_view::npos) return "\n";
  if (text.find('\r') != std::string_view::npos) return "\r";
  return "\r\n";
}

}  // namespace tabrelium
