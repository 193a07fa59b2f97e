// The grid's edits outlive every way the program is ended: the session's
// end sends the window SIGTERM (or SIGHUP, or Ctrl+C's SIGINT), and the
// running application closes its window in order, which saves.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>

#include "app/edit_grid_ctrl.h"
#include "app/gbk_text.h"
#include "app/main_app.h"
#include "app/main_dlg.h"
#include "config/config_file.h"

using namespace tabrelium;

class QuitSaveTest : public QObject {
  Q_OBJECT

 private slots:
  void aQuitSignalClosesTheWindowAndSavesTheGrid_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int{SIGTERM};
    QTest::newRow("SIGHUP") << int{SIGHUP};
    QTest::newRow("SIGINT") << int{SIGINT};
  }

  void aQuitSignalClosesTheWindowAndSavesTheGrid() {
    QFETCH(int, signalNumber);
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
    QString configPath;
    // Once the window runs: an edit in the grid, then the signal.
    QTimer::singleShot(0, [&] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<CMainDlg*>(window);
        if (dialog == nullptr) continue;
        configPath = dialog->ConfigPath();
        dialog->Grid()->SetItemText(2, 1, QStringLiteral("库存"));
        std::raise(signalNumber);
      }
    });
    struct sigaction before {};
    sigaction(signalNumber, nullptr, &before);
    CMainApp app;
    QCOMPARE(app.InitInstance(QString()), 0);  // the program goes on to its end
    QVERIFY(!configPath.isEmpty());
    FieldTable saved{};
    QVERIFY(LoadFieldConfig(configPath.toStdString(), saved));
    QCOMPARE(saved.fieldCount, 3);
    QCOMPARE(FromGbk(saved.fields[2].displayName), QStringLiteral("库存"));
    // The handler is gone with the application: the action before is back.
    struct sigaction now {};
    sigaction(signalNumber, nullptr, &now);
    QVERIFY(now.sa_handler == before.sa_handler);
  }
};

QTEST_MAIN(QuitSaveTest)
#include "quit_save_test.moc"
