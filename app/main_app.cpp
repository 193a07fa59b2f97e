#include "app/main_app.h"

#include <QGuiApplication>
#include <QSessionManager>

#include "app/main_dlg.h"
#include "app/quit_signals.h"

namespace tabrelium {

int CMainApp::InitInstance(const QString& dataFile) {
  // The spreadsheet readers work in process and need no component library
  // started beforehand, so start-up cannot fail before the window shows.
  CMainDlg dialog;
  // Every way out of the program keeps the grid's edits, as closing the
  // window does: a signal closes the window in order, the session manager's
  // request to save gets a save, and a quit that ends the event loops
  // without closing the window closes it afterwards.
  CQuitSignals quitSignals;
  QObject::connect(&quitSignals, &CQuitSignals::QuitRequested, &dialog, [&dialog] {
    if (!dialog.IsClosing()) dialog.close();
  });
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, &dialog,
                   [&dialog](QSessionManager&) { dialog.SaveForSessionEnd(); });
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, &dialog, [&dialog] {
    if (!dialog.IsClosing()) dialog.close();
  });
  dialog.show();
  if (!dataFile.isEmpty()) dialog.OpenDataFile(dataFile);
  dialog.exec();
  if (!dialog.IsClosing()) dialog.close();
  return 0;
}

}  // namespace tabrelium
