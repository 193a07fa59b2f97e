#include "tests/app/window_test_support.h"

#include <QFile>
#include <QTest>
#include <QTreeWidget>

namespace tabrelium::testing {

OpenedDialog::OpenedDialog() {
  qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
  // The download log too: each test its own.
  qputenv("XDG_STATE_HOME", configHome.path().toUtf8() + "/state");
  auto scriptedChooser = std::make_unique<ScriptedChooser>();
  auto recordingSink = std::make_unique<RecordingSink>();
  chooser = scriptedChooser.get();
  sink = recordingSink.get();
  dialog = std::make_unique<CMainDlg>(std::move(scriptedChooser), std::move(recordingSink));
  dialog->show();
  QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
}

OpenedDialog::~OpenedDialog() { dialog.reset(); }

QString ExampleFile() { return QStringLiteral(TABRELIUM_EXAMPLES_DIR "/products.csv"); }

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(bytes);
  return path;
}

QStringList PreviewLines(const CMainDlg& dialog) {
  QStringList lines;
  const QTreeWidget* list = dialog.LcdPreview();
  for (int i = 0; i < list->topLevelItemCount(); ++i) lines << list->topLevelItem(i)->text(1);
  return lines;
}

QStringList PreviewRowCounts(const CMainDlg& dialog) {
  QStringList counts;
  const QTreeWidget* list = dialog.LcdPreview();
  for (int i = 0; i < list->topLevelItemCount(); ++i) counts << list->topLevelItem(i)->text(0);
  return counts;
}

}  // namespace tabrelium::testing
