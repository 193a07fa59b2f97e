#include "app/help_box.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_units.h"
#include "app/gbk_text.h"
#include "app/window_fonts.h"
#include "common/user_texts.h"

namespace tabrelium {

CHelpDlg::CHelpDlg(const QString& configPath, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Help(帮助)"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  const DialogUnits du(font());

  // Plain text a worker can select: the commands are meant to be copied.
  auto* help = new QPlainTextEdit(this);
  help->setObjectName(QStringLiteral("helpText"));
  help->setReadOnly(true);
  help->setPlainText(FromUtf8(texts::HelpText(configPath.toStdString())));

  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(help);
  layout->addWidget(ok, 0, Qt::AlignRight);
  resize(du.X(330), du.Y(190));
}

}  // namespace tabrelium
