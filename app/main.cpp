// tabrelium [FILE]: the window, with FILE loaded as if chosen with Browse
// (what the desktop passes when a data file is opened with Tabrelium).
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <string_view>

#include "app/main_app.h"

int main(int argc, char* argv[]) {
  // Before any window: a terminal, a package's test or a machine without a
  // display asks which version is installed.
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::printf("tabrelium %s\n", TABRELIUM_VERSION);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  QApplication app(argc, argv);
  // Message boxes without a caption of their own are titled with this.
  QApplication::setApplicationName(QStringLiteral("tabrelium"));
  QApplication::setDesktopFileName(QStringLiteral("tabrelium"));
  const QStringList args = QApplication::arguments();
  const QString dataFile = args.size() > 1 ? args.at(1) : QString();
  tabrelium::CMainApp mainApp;
  return mainApp.InitInstance(dataFile);
}
