// Dialog units: the window's layout is designed in units of the dialog
// font, a quarter of its average character width across and an eighth of
// its height down, so the arrangement holds at any font size or screen
// scale.
//
// Thread-safety: plain values.
#pragma once

#include <QFont>
#include <QRect>

namespace tabrelium {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int BaseX() const { return m_baseX; }  // average character width, pixels
  int BaseY() const { return m_baseY; }  // character height, pixels
  int X(int units) const;
  int Y(int units) const;
  QRect ToPixels(int x, int y, int width, int height) const;

 private:
  int m_baseX;
  int m_baseY;
};

}  // namespace tabrelium
