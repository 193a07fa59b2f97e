#include "app/main_app.h"

#include "app/main_dlg.h"

namespace tabrelium {

int CMainApp::InitInstance(const QString& dataFile) {
  // The spreadsheet readers work in process and need no component library
  // started beforehand, so start-up cannot fail before the window shows.
  CMainDlg dialog;
  dialog.show();
  if (!dataFile.isEmpty()) dialog.OpenDataFile(dataFile);
  dialog.exec();
  return 0;
}

}  // namespace tabrelium
