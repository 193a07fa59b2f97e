#include "app/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace tabrelium {
namespace {

// Rounds a * b / c to the nearest integer, as the dialog manager does.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  return static_cast<int>((product >= 0 ? product + c / 2 : product - c / 2) / c);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width is taken over the 52 Latin letters, rounded.
  static const QString kLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  m_baseX = (metrics.horizontalAdvance(kLetters) + 26) / 52;
  m_baseY = metrics.height();
  if (m_baseX < 1) m_baseX = 1;
  if (m_baseY < 1) m_baseY = 1;
}

int DialogUnits::X(int units) const { return MulDiv(units, m_baseX, 4); }
int DialogUnits::Y(int units) const { return MulDiv(units, m_baseY, 8); }

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
  // Both edges are converted, so neighbouring controls stay flush.
  const int left = X(x);
  const int top = Y(y);
  return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

}  // namespace tabrelium
