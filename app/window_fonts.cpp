#include "app/window_fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace tabrelium {
namespace {

// The first installed family of `preferred`, else `fallback`.
QFont FirstInstalled(const QStringList& preferred, QFont fallback) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : preferred) {
    if (installed.contains(family)) {
      QFont font(family);
      font.setPointSize(9);
      return font;
    }
  }
  fallback.setPointSize(9);
  return fallback;
}

}  // namespace

QFont DialogFont() {
  return FirstInstalled({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                         QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                         QStringLiteral("AR PL UMing CN")},
                        QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

QFont LcdFont() {
  QFont font = FirstInstalled(
      {QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("Source Han Mono SC"),
       QStringLiteral("WenQuanYi Zen Hei Mono"), QStringLiteral("WenQuanYi Micro Hei Mono")},
      QFontDatabase::systemFont(QFontDatabase::FixedFont));
  font.setStyleHint(QFont::Monospace);
  return font;
}

}  // namespace tabrelium
