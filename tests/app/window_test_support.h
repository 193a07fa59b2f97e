// Shared by the window's tests: a file chooser that answers from a script,
// a message sink that records every box instead of showing it, and the
// dialog opened with its configuration in a fresh folder.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "app/dialog_seams.h"
#include "app/main_dlg.h"

namespace tabrelium::testing {

class ScriptedChooser final : public CFileChooser {
 public:
  QString ChooseDataFile(QWidget*, const QString& folder) override {
    folders.push_back(folder);
    if (answers.isEmpty()) return {};
    return answers.takeFirst();
  }
  QStringList answers;          // the next files "chosen"; empty = cancel
  QStringList folders;          // where each dialog would have opened
};

struct ShownMessage {
  QString text;
  QString caption;
  MessageIcon icon;
};

class RecordingSink final : public CMessageSink {
 public:
  void ShowMessage(QWidget*, const QString& text, const QString& caption,
                   MessageIcon icon) override {
    shown.push_back({text, caption, icon});
  }
  QStringList Texts() const {
    QStringList texts;
    for (const ShownMessage& m : shown) texts << m.text;
    return texts;
  }
  std::vector<ShownMessage> shown;
};

// A dialog whose configuration file lives in its own temporary folder
// (XDG_CONFIG_HOME), shown and exposed. The seams stay reachable.
struct OpenedDialog {
  OpenedDialog();
  ~OpenedDialog();

  QTemporaryDir configHome;
  ScriptedChooser* chooser = nullptr;
  RecordingSink* sink = nullptr;
  std::unique_ptr<CMainDlg> dialog;
};

// The example product list that ships with the program.
QString ExampleFile();

// Writes `bytes` into `dir` as `name` and returns the path.
QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);

// Column 1 texts of the LCD preview, and column 0 texts.
QStringList PreviewLines(const CMainDlg& dialog);
QStringList PreviewRowCounts(const CMainDlg& dialog);

}  // namespace tabrelium::testing
