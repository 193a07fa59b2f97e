// How a text file ends its lines. Data and configuration files come from
// Windows programs (CR LF) and from this platform's editors and exports (LF
// alone); a few old ones use CR alone. A file is read by the line end it
// was written with, and one holding any CR LF is read as CR LF throughout,
// so that a quoted cell with a line break inside keeps working there.
//
// Thread-safety: a pure function.
#pragma once

#include <string_view>

namespace tabrelium {

// "\r\n" when `text` holds a CR LF anywhere (and for a text with no line
// break at all); else "\n" when it holds a LF; else "\r". The view refers
// to a string literal.
std::string_view DetectLineEnd(std::string_view text);

}  // namespace tabrelium
