// The About box: the application icon, its title and an OK button.
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
