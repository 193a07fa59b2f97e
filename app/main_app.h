// The application: starts the program, runs the main dialog modally and
// ends the program when the dialog closes. However the program is ended
// (the window closed, SIGTERM, SIGHUP or SIGINT, the session manager), the
// window closes in order first, which saves the configuration.
//
// Thread-safety: UI thread only.
#pragma once

#include <QString>

namespace tabrelium {

class CMainApp {
 public:
  // Runs the main dialog, with `dataFile` loaded when it is not empty.
  // Returns the program's exit status.
  int InitInstance(const QString& dataFile);
};

}  // namespace tabrelium
