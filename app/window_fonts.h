// The window's two fonts: the dialog font (a CJK font at 9 points, in place
// of the designed "宋体" which Linux lacks) and the LCD preview's monospaced
// font, whose Chinese characters are exactly two columns wide so that 20
// columns look like the device's display.
//
// Thread-safety: UI thread only (font database).
#pragma once

#include <QFont>

namespace tabrelium {

QFont DialogFont();
QFont LcdFont();

}  // namespace tabrelium
