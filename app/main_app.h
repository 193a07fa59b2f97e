// The application: starts the program, runs the main dialog modally and
// ends the program when the dialog closes.
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
