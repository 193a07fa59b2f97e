// The Help box: the four steps from a data file to the device, where the
// configuration is kept, and how to let users open the device. Opened by
// Help(帮助).
//
// Thread-safety: UI thread only.
#pragma once

#include <QDialog>

namespace tabrelium {

class CHelpDlg : public QDialog {
  Q_OBJECT

 public:
  // `configPath`: the configuration file the window reads and saves.
  explicit CHelpDlg(const QString& configPath, QWidget* parent = nullptr);
};

}  // namespace tabrelium
