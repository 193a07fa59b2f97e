// Downloads from the window into the emulated device, in process: the
// labels and the button as the thread changes them, Stop, closing during a
// download, and the endings the window tells.
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>
#include <vector>

#include "app/gbk_text.h"
#include "config/config_file.h"
#include "app/edit_grid_ctrl.h"
#include "data/table_image.h"
#include "device/download_log.h"
#include "tests/app/window_test_support.h"
#include "tools/hidemu/hidemu_control.h"

using namespace tabrelium;
using namespace tabrelium::testing;

namespace {

constexpr const char* kKnobs[] = {
    "TABRELIUM_EMU_PRESENT",         "TABRELIUM_EMU_ACCESS", "TABRELIUM_EMU_CAPACITY",
    "TABRELIUM_EMU_LOSS",            "TABRELIUM_EMU_SEED",   "TABRELIUM_EMU_FRAME_US",
    "TABRELIUM_EMU_UNPLUG_AT_BLOCK", "TABRELIUM_EMU_STALL_MS", "TABRELIUM_EMU_MUTE",
    "TABRELIUM_EMU_PAUSE_MS",        "TABRELIUM_EMU_COUNT",  "TABRELIUM_EMU_UNPLUG_AT_BLOCK_1",
    "TABRELIUM_EMU_CAPACITY_2",      "TABRELIUM_EMU_FRAME_US_1", "TABRELIUM_EMU_ACCESS_1",
    "TABRELIUM_EMU_OUT"};

QPushButton* Button(const CMainDlg& dialog, const char* id) {
  return dialog.findChild<QPushButton*>(QString::fromLatin1(id));
}
QString LabelText(const CMainDlg& dialog, const char* id) {
  return dialog.findChild<QLabel*>(QString::fromLatin1(id))->text();
}

// A product list of `rows` lines, many blocks long.
QString WriteProducts(const QTemporaryDir& dir, int rows) {
  QByteArray text = "code,name\r\n";
  for (int i = 0; i < rows; ++i)
    text += QByteArray::number(6900000000000LL + i * 7919LL) + ",product " + QByteArray::number(i) + "\r\n";
  return WriteFile(dir, QStringLiteral("products.csv"), text);
}

// Loads `file` (the example by default) and presses Startup download.
void StartDownload(OpenedDialog& d, const QString& file = ExampleFile()) {
  d.chooser->answers << file;
  QTest::mouseClick(Button(*d.dialog, "1001"), Qt::LeftButton);
  QTest::mouseClick(Button(*d.dialog, "1011"), Qt::LeftButton);
}

// The download thread has returned, whatever the ending.
#define WAIT_FOR_THREAD_END(dialog) \
  QTRY_VERIFY_WITH_TIMEOUT(!(dialog).IsDownloadThreadRunning(), 60000)

}  // namespace

class MainDlgDownloadTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    for (const char* knob : kKnobs) unsetenv(knob);
    setenv("TABRELIUM_EMU_FRAME_US", "20", 1);  // a fast bus keeps the tests short
    hidemu_reset();
  }

  void aDownloadShowsItsProgressAndDeliversTheTable() {
    OpenedDialog d;
    QSignalSpy progress(d.dialog.get(), &CMainDlg::ProgressShown);
    QSignalSpy modes(d.dialog.get(), &CMainDlg::DownloadModeChanged);
    QTemporaryDir dir;
    StartDownload(d, WriteProducts(dir, 3000));
    // Between the press and the connection, a second press cannot start
    // a second download.
    QVERIFY(!Button(*d.dialog, "1011")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(modes.size() >= 1, 10000);
    WAIT_FOR_THREAD_END(*d.dialog);
    QCOMPARE(hidemu_wait_for_end(10000), HIDEMU_COMPLETED);
    QVERIFY(d.sink->shown.empty());

    QStringList texts;
    for (const QList<QVariant>& args : progress) texts << args.at(0).toString();
    // The ending stays in the label: the records, the size and when.
    const QString ending = texts.takeLast();
    const QRegularExpression completed(QStringLiteral(
        "^Completed: 3000 records, \\d+ KB, at \\d\\d:\\d\\d\\(下载完成:3000条记录,"));
    QVERIFY2(completed.match(ending).hasMatch(), qPrintable(ending));
    QCOMPARE(LabelText(*d.dialog, "1018"), ending);
    QVERIFY(d.dialog->findChild<QProgressBar*>()->isVisible());
    QCOMPARE(d.dialog->findChild<QProgressBar*>()->value(), 1000);
    // The device may report the end more than once.
    while (texts.size() > 1 && texts[texts.size() - 2] == QStringLiteral("100%")) texts.removeLast();
    QVERIFY(texts.size() >= 3);
    QCOMPARE(texts.first(), QStringLiteral(" 0%"));
    QCOMPARE(texts.last(), QStringLiteral("100%"));
    const QRegularExpression tenths(QStringLiteral("^\\d+\\.\\d%$"));
    for (int i = 1; i + 1 < texts.size(); ++i)
      QVERIFY2(tenths.match(texts[i]).hasMatch(), qPrintable(texts[i]));
    QCOMPARE(modes.size(), 2);
    QCOMPARE(modes[0].at(0).toBool(), true);
    QCOMPARE(modes[1].at(0).toBool(), false);

    // The device holds the whole table, and the size label names it in KB.
    std::vector<uint8_t> received(hidemu_received_data(nullptr, 0));
    hidemu_received_data(received.data(), received.size());
    QCOMPARE(GetRecordCount(received), 3000u);
    QCOMPARE(LabelText(*d.dialog, "1017"),
             QStringLiteral("%1 KB").arg((received.size() + 1023) / 1024));
    QCOMPARE(Button(*d.dialog, "1011")->text(), QStringLiteral("Startup download(启动下载)"));
    QVERIFY(Button(*d.dialog, "1011")->isEnabled());
    QVERIFY(Button(*d.dialog, "1001")->isEnabled());
  }

  void whileDownloadingTheButtonStopsAndBrowseIsDisabled() {
    setenv("TABRELIUM_EMU_FRAME_US", "3000", 1);  // slow enough to catch it running
    OpenedDialog d;
    QSignalSpy progress(d.dialog.get(), &CMainDlg::ProgressShown);
    StartDownload(d);
    QTRY_VERIFY_WITH_TIMEOUT(d.dialog->IsDownloading(), 10000);
    QCOMPARE(Button(*d.dialog, "1011")->text(), QStringLiteral("Stop download(停止下载)"));
    QVERIFY(Button(*d.dialog, "1011")->isEnabled());
    QVERIFY(!Button(*d.dialog, "1001")->isEnabled());
    // Stop is taken even with a broken grid: the download sends the table
    // built before, whatever the grid says now.
    d.dialog->Grid()->SetItemText(0, 3, QStringLiteral("0"));
    QTest::mouseClick(Button(*d.dialog, "1011"), Qt::LeftButton);
    WAIT_FOR_THREAD_END(*d.dialog);
    QVERIFY(d.sink->shown.empty());
    QVERIFY(!d.dialog->IsDownloading());
    // The label says it stopped, not where the progress was.
    QVERIFY2(LabelText(*d.dialog, "1018").startsWith(QStringLiteral("Stopped")),
             qPrintable(LabelText(*d.dialog, "1018")));
    QVERIFY(d.dialog->findChild<QProgressBar*>()->isVisible());
    // Stopped is not done.
    hidemu_stats stats{};
    hidemu_get_stats(&stats);
    QVERIFY(stats.state != HIDEMU_COMPLETED);
    QVERIFY(LabelText(*d.dialog, "1018") != QStringLiteral("100%"));
    QCOMPARE(Button(*d.dialog, "1011")->text(), QStringLiteral("Startup download(启动下载)"));
    QVERIFY(Button(*d.dialog, "1001")->isEnabled());
    QVERIFY(Button(*d.dialog, "1011")->isEnabled());
  }

  // A silent device is told as such; the download goes on when it speaks
  // again, and Stop ends it while it stays silent.
  void aSilentDeviceIsToldAndTheDownloadGoesOn() {
    setenv("TABRELIUM_EMU_PAUSE_MS", "1500", 1);
    OpenedDialog d;
    d.dialog->m_silenceNotice = std::chrono::milliseconds(300);
    QSignalSpy progress(d.dialog.get(), &CMainDlg::ProgressShown);
    StartDownload(d);
    const QString notAnswering = QStringLiteral("Device not answering(设备无应答)");
    QTRY_COMPARE_WITH_TIMEOUT(LabelText(*d.dialog, "1018"), notAnswering, 10000);
    QVERIFY(Button(*d.dialog, "1011")->isEnabled());
    WAIT_FOR_THREAD_END(*d.dialog);
    QCOMPARE(hidemu_wait_for_end(10000), HIDEMU_COMPLETED);
    QVERIFY(LabelText(*d.dialog, "1018").startsWith(QStringLiteral("Completed: ")));

    hidemu_reset();
    setenv("TABRELIUM_EMU_MUTE", "1", 1);
    StartDownload(d);
    QTRY_COMPARE_WITH_TIMEOUT(LabelText(*d.dialog, "1018"), notAnswering, 10000);
    QTest::mouseClick(Button(*d.dialog, "1011"), Qt::LeftButton);
    WAIT_FOR_THREAD_END(*d.dialog);
  }

  void closingDuringADownloadStopsItAndSaves() {
    setenv("TABRELIUM_EMU_FRAME_US", "3000", 1);
    OpenedDialog d;
    StartDownload(d);
    QTRY_VERIFY_WITH_TIMEOUT(d.dialog->IsDownloading(), 10000);
    d.dialog->Grid()->SetItemText(4, 1, QStringLiteral("备注"));
    QVERIFY(d.dialog->close());
    QVERIFY(!d.dialog->IsDownloadThreadRunning());
    QVERIFY(!d.dialog->isVisible());
    FieldTable saved{};
    QVERIFY(LoadFieldConfig(d.dialog->ConfigPath().toStdString(), saved));
    QCOMPARE(saved.fieldCount, 3);
    QCOMPARE(FromGbk(saved.fields[2].displayName), QStringLiteral("备注"));
  }

  void closingWhileConnectingStopsTheDownloadOnceConnected() {
    setenv("TABRELIUM_EMU_FRAME_US", "3000", 1);
    OpenedDialog d;
    StartDownload(d);
    QVERIFY(d.dialog->close());  // before the thread has entered download mode
    QVERIFY(!d.dialog->IsDownloadThreadRunning());
    hidemu_stats stats{};
    hidemu_get_stats(&stats);
    QVERIFY(stats.state != HIDEMU_COMPLETED);
  }

  void connectionFailuresSayWhy_data() {
    QTest::addColumn<QByteArray>("knob");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("why");
    QTest::newRow("no device") << QByteArray("TABRELIUM_EMU_PRESENT") << QByteArray("0")
                               << QStringLiteral("No device is connected");
    QTest::newRow("no permission") << QByteArray("TABRELIUM_EMU_ACCESS") << QByteArray("denied")
                                   << QStringLiteral("70-tabrelium.rules");
    QTest::newRow("busy") << QByteArray("TABRELIUM_EMU_ACCESS") << QByteArray("busy")
                          << QStringLiteral("another program may be using it");
  }

  void connectionFailuresSayWhy() {
    QFETCH(QByteArray, knob);
    QFETCH(QByteArray, value);
    QFETCH(QString, why);
    setenv(knob.constData(), value.constData(), 1);
    OpenedDialog d;
    QSignalSpy modes(d.dialog.get(), &CMainDlg::DownloadModeChanged);
    StartDownload(d);
    WAIT_FOR_THREAD_END(*d.dialog);
    QCOMPARE(d.sink->shown.size(), size_t{1});
    QVERIFY(d.sink->shown[0].text.startsWith(QStringLiteral("Connection failed(连接失败)\n")));
    QVERIFY2(d.sink->shown[0].text.contains(why), qPrintable(d.sink->shown[0].text));
    QCOMPARE(d.sink->shown[0].caption, QStringLiteral("Error(错误)"));
    QCOMPARE(modes.size(), 0);  // never in download mode
    QVERIFY(Button(*d.dialog, "1011")->isEnabled());
    QCOMPARE(Button(*d.dialog, "1011")->text(), QStringLiteral("Startup download(启动下载)"));
  }

  void endingsTheOldWindowKeptQuietAreTold_data() {
    QTest::addColumn<QByteArray>("knob");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("told");
    QTest::newRow("too little room") << QByteArray("TABRELIUM_EMU_CAPACITY") << QByteArray("100")
                                     << QStringLiteral("too little room");
    QTest::newRow("unplugged") << QByteArray("TABRELIUM_EMU_UNPLUG_AT_BLOCK") << QByteArray("2")
                               << QStringLiteral("disconnected during the download");
  }

  void endingsTheOldWindowKeptQuietAreTold() {
    QFETCH(QByteArray, knob);
    QFETCH(QByteArray, value);
    QFETCH(QString, told);
    setenv(knob.constData(), value.constData(), 1);
    OpenedDialog d;
    QTemporaryDir dir;
    StartDownload(d, WriteProducts(dir, 3000));
    WAIT_FOR_THREAD_END(*d.dialog);
    QTRY_COMPARE(d.sink->shown.size(), size_t{1});
    QVERIFY2(d.sink->shown[0].text.contains(told), qPrintable(d.sink->shown[0].text));
    // The label keeps telling it after the box is gone.
    QVERIFY2(LabelText(*d.dialog, "1018").contains(told), qPrintable(LabelText(*d.dialog, "1018")));
    QVERIFY(!d.dialog->IsDownloading());
    QVERIFY(Button(*d.dialog, "1001")->isEnabled());
  }

  // The count beside Startup download follows the devices as they come and
  // go, and tells when this user may not open one, with the fix.
  void theDeviceCountFollowsTheDevices() {
    setenv("TABRELIUM_EMU_COUNT", "3", 1);
    setenv("TABRELIUM_EMU_ACCESS_1", "denied", 1);
    OpenedDialog d;
    auto* count = d.dialog->findChild<QLabel*>(QStringLiteral("deviceCount"));
    QTRY_COMPARE_WITH_TIMEOUT(count->text(),
                              QStringLiteral("3 devices(3 台设备), 1 not permitted to open(1 台无权打开)"),
                              5000);
    QVERIFY2(count->toolTip().contains(QStringLiteral("/dev/hidraw-emu1 is connected, but this user "
                                                      "may not open it")),
             qPrintable(count->toolTip()));
    auto* list = d.dialog->findChild<QTreeWidget*>(QStringLiteral("deviceList"));
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("/dev/hidraw-emu1 EMU0002"));
    unsetenv("TABRELIUM_EMU_ACCESS_1");
    setenv("TABRELIUM_EMU_COUNT", "1", 1);
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("1 device(1 台设备)"), 5000);
    QVERIFY(count->toolTip().isEmpty());
    setenv("TABRELIUM_EMU_PRESENT", "0", 1);
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("No device(未连接设备)"), 5000);
    QCOMPARE(list->topLevelItemCount(), 0);
  }

  // Every connected device at once: the well one gets the table, the others'
  // endings are told in the list (no box for each), the label says how
  // many completed, and the log has a line for each.
  void startupDownloadServesEveryDevice() {
    setenv("TABRELIUM_EMU_COUNT", "3", 1);
    setenv("TABRELIUM_EMU_UNPLUG_AT_BLOCK_1", "3", 1);
    setenv("TABRELIUM_EMU_CAPACITY_2", "100", 1);
    QTemporaryDir dir;
    setenv("TABRELIUM_EMU_OUT", qPrintable(dir.filePath(QStringLiteral("got"))), 1);
    OpenedDialog d;
    auto* count = d.dialog->findChild<QLabel*>(QStringLiteral("deviceCount"));
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("3 devices(3 台设备)"), 5000);
    StartDownload(d, WriteProducts(dir, 3000));
    WAIT_FOR_THREAD_END(*d.dialog);
    QCOMPARE(LabelText(*d.dialog, "1018"), QStringLiteral("Completed on 1 of 3 devices(3 台设备中 1 台完成)"));
    QVERIFY2(d.sink->shown.empty(), qPrintable(d.sink->Texts().join(QStringLiteral("; "))));
    QFile got(dir.filePath(QStringLiteral("got0")));
    QVERIFY(got.open(QIODevice::ReadOnly));
    const QByteArray table = got.readAll();
    QCOMPARE(GetRecordCount(std::span(reinterpret_cast<const uint8_t*>(table.data()),
                                      static_cast<size_t>(table.size()))),
             3000u);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("got1"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("got2"))));

    auto* list = d.dialog->findChild<QTreeWidget*>(QStringLiteral("deviceList"));
    QCOMPARE(list->topLevelItemCount(), 3);
    QVERIFY(list->topLevelItem(0)->text(1).startsWith(QStringLiteral("Completed(完成) ")));
    QVERIFY(list->topLevelItem(1)->text(1).startsWith(QStringLiteral("Unplugged(已拔出) ")));
    QVERIFY(list->topLevelItem(2)->text(1).startsWith(QStringLiteral("Too little room(空间不足) ")));
    QVERIFY2(list->topLevelItem(2)->toolTip(1).contains(QStringLiteral("too little room: 100 bytes")),
             qPrintable(list->topLevelItem(2)->toolTip(1)));

    std::vector<std::string> lines;
    QVERIFY(ReadDownloadLog(DownloadLogPath(), lines).ok());
    QCOMPARE(lines.size(), size_t{3});
  }

  // Two devices at different speeds: the label follows the slower, so it
  // never says 100% while one is still on its way; Stop then stops both.
  void theLabelFollowsTheSlowestAndStopStopsAll() {
    setenv("TABRELIUM_EMU_COUNT", "2", 1);
    setenv("TABRELIUM_EMU_FRAME_US_1", "300", 1);
    OpenedDialog d;
    auto* count = d.dialog->findChild<QLabel*>(QStringLiteral("deviceCount"));
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("2 devices(2 台设备)"), 5000);
    QSignalSpy progress(d.dialog.get(), &CMainDlg::ProgressShown);
    QTemporaryDir dir;
    const QString products = WriteProducts(dir, 3000);
    StartDownload(d, products);
    WAIT_FOR_THREAD_END(*d.dialog);
    QVERIFY(LabelText(*d.dialog, "1018").startsWith(QStringLiteral("Completed: 3000 records")));
    bool saidComplete = false;
    const QRegularExpression tenths(QStringLiteral("^\\d+\\.\\d%$"));
    for (const QList<QVariant>& args : progress) {
      const QString text = args.at(0).toString();
      QVERIFY2(!(saidComplete && tenths.match(text).hasMatch()), qPrintable(text));
      saidComplete = saidComplete || text == QStringLiteral("100%");
    }
    QVERIFY(saidComplete);

    setenv("TABRELIUM_EMU_FRAME_US", "3000", 1);
    setenv("TABRELIUM_EMU_FRAME_US_1", "3000", 1);
    hidemu_reset();
    QTest::mouseClick(Button(*d.dialog, "1011"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(d.dialog->IsDownloading(), 10000);
    QTest::mouseClick(Button(*d.dialog, "1011"), Qt::LeftButton);
    WAIT_FOR_THREAD_END(*d.dialog);
    QVERIFY(!d.dialog->IsDownloading());
    QCOMPARE(LabelText(*d.dialog, "1018"), QStringLiteral("Completed on 0 of 2 devices(2 台设备中 0 台完成)"));
    auto* list = d.dialog->findChild<QTreeWidget*>(QStringLiteral("deviceList"));
    for (int i = 0; i < 2; ++i)
      QVERIFY(list->topLevelItem(i)->text(1).startsWith(QStringLiteral("Stopped(已停止) ")));
  }
};

QTEST_MAIN(MainDlgDownloadTest)
#include "main_dlg_download_test.moc"
