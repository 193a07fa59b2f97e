// Renders the main window with a data file loaded into a PNG, on Qt's
// offscreen platform (no display needed): the README's picture.
//
//   window_screenshot DATAFILE OUT.png
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

#include "app/data_list_view.h"
#include "app/main_dlg.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_screenshot DATAFILE OUT.png\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The built-in fields, whatever this machine's configuration holds.
  QTemporaryDir configHome;
  qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
  QApplication app(argc, argv);
  tabrelium::CMainDlg dialog;
  dialog.show();
  if (!dialog.OpenDataFile(QString::fromLocal8Bit(argv[1]))) return 1;
  dialog.DataList()->SelectRow(0);
  // The picture goes into the repository: it shows the path as given, not
  // where this machine keeps the project.
  if (auto* path = dialog.findChild<QLineEdit*>(QStringLiteral("1000")))
    path->setText(QString::fromLocal8Bit(argv[1]));
  QCoreApplication::processEvents();
  if (!dialog.grab().save(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "window_screenshot: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
