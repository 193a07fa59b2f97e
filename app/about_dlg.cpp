#include "app/about_dlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "app/app_icon.h"
#include "app/dialog_units.h"
#include "app/window_fonts.h"

namespace tabrelium {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("关于 Tabrelium"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  const DialogUnits du(font());
  setFixedSize(du.X(235), du.Y(55));

  auto* icon = new QLabel(this);
  const QRect iconRect = du.ToPixels(11, 17, 20, 20);
  icon->setGeometry(iconRect);
  icon->setPixmap(AppIcon().pixmap(iconRect.size()));

  // Enter and Esc close the box, as OK does.
  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setGeometry(du.ToPixels(178, 7, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tabrelium
