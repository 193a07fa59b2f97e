#include "app/about_box.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/app_icon.h"
#include "app/dialog_units.h"
#include "app/gbk_text.h"
#include "app/window_fonts.h"
#include "common/user_texts.h"

namespace tabrelium {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("关于 Tabrelium"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  const DialogUnits du(font());

  auto* icon = new QLabel(this);
  const int iconSize = du.X(20);
  icon->setPixmap(AppIcon().pixmap(iconSize, iconSize));
  icon->setAlignment(Qt::AlignTop);

  // The lines are selectable: a worker reading the version out to support
  // can copy it.
  const QString lines = QStringLiteral("<b>Tabrelium(泰布林)</b><br>%1<br>%2<br>%3")
                            .arg(FromUtf8(texts::AboutVersionText(TABRELIUM_VERSION)).toHtmlEscaped(),
                                 FromUtf8(texts::kAboutDescription).toHtmlEscaped(),
                                 FromUtf8(texts::kAboutLicence).toHtmlEscaped());
  auto* about = new QLabel(lines, this);
  about->setObjectName(QStringLiteral("aboutText"));
  about->setTextFormat(Qt::RichText);
  about->setTextInteractionFlags(Qt::TextSelectableByMouse);

  // Enter and Esc close the box, as OK does.
  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(du.X(11), du.Y(7), du.X(7), du.Y(7));
  layout->setHorizontalSpacing(du.X(7));
  layout->addWidget(icon, 0, 0, Qt::AlignTop);
  layout->addWidget(about, 0, 1, Qt::AlignTop);
  layout->addWidget(ok, 0, 2, Qt::AlignTop);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tabrelium
