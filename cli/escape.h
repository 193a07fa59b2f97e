// Cell and display texts for the terminal: control bytes and backslashes
// escaped, GBK turned into UTF-8 unless raw bytes were asked for.
#pragma once

#include <string>
#include <string_view>

namespace tabrelium::cli {

// Appends `gbk` to `out`, character by character by the double-byte rule:
// '\' as "\\", TAB "\t", CR "\r", LF "\n", other bytes 0x00-0x1F and 0x7F as
// "\xHH"; a two-byte character is never escaped; everything else as it is
// (`raw`) or converted to UTF-8 (U+FFFD for a byte that is no GBK character).
void AppendEscaped(std::string_view gbk, bool raw, std::string& out);

}  // namespace tabrelium::cli
