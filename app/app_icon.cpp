#include "app/app_icon.h"

namespace tabrelium {

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/tabrelium-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace tabrelium
