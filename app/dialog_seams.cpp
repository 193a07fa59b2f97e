#include "app/dialog_seams.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace tabrelium {

QString CQtFileChooser::ChooseDataFile(QWidget* owner, const QString& folder) {
  // Every file first, then one filter for each kind of data file the window reads.
  const QString filters = QStringLiteral(
      "*.* (*);;*.txt (*.txt *.TXT);;*.csv (*.csv *.CSV);;*.xlsx (*.xlsx *.XLSX);;"
      "*.xls (*.xls *.XLS);;*.ods (*.ods *.ODS);;*.dbf (*.dbf *.DBF)");
  return QFileDialog::getOpenFileName(owner, QString(), folder, filters);
}

void CQtMessageSink::ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                                 MessageIcon icon) {
  QMessageBox box(owner);
  box.setWindowTitle(caption.isEmpty() ? QCoreApplication::applicationName() : caption);
  box.setText(text);
  box.setStandardButtons(QMessageBox::Ok);
  switch (icon) {
    case MessageIcon::kNone: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::kWarning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::kStop: box.setIcon(QMessageBox::Critical); break;
  }
  box.exec();
}

}  // namespace tabrelium
