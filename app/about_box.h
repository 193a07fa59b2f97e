// The About box: the application icon, the program's name, version, what it
// is for and its licence, and an OK button. Opened by About(关于) and by the
// About entry of the window's context menu.
//
// Thread-safety: UI thread only.
#pragma once

#include <QDialog>

namespace tabrelium {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tabrelium
