// The window's small parts: dialog units, the time-left estimate, the
// UI-thread hand-off the download callbacks rely on, and the LCD font.
#include <QFontMetrics>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>
#include <vector>

#include "app/about_dlg.h"
#include "app/dialog_units.h"
#include "app/download_eta.h"
#include "app/ui_thread_call.h"
#include "app/window_fonts.h"
#include "app/window_texts.h"
#include "data/spreadsheet_loader.h"

using namespace tabrelium;
using namespace std::chrono_literals;

class WindowPartsTest : public QObject {
  Q_OBJECT

 private slots:
  void dialogUnitsFollowTheFont() {
    QFont small = DialogFont();
    QFont large = small;
    large.setPointSize(small.pointSize() * 2);
    const DialogUnits a(small);
    const DialogUnits b(large);
    QVERIFY(a.BaseX() > 0 && a.BaseY() > 0);
    QCOMPARE(a.X(4), a.BaseX());
    QCOMPARE(a.Y(8), a.BaseY());
    QVERIFY(b.X(664) > a.X(664) * 3 / 2);
    // Edges are converted, not sizes: side by side controls stay flush.
    const QRect left = a.ToPixels(7, 225, 454, 164);
    const QRect right = a.ToPixels(461, 225, 10, 164);
    QCOMPARE(left.right() + 1, right.left());
  }

  void theTimeLeftComesFromTheBlocksServed() {
    DownloadEta eta;
    eta.Start();
    QCOMPARE(eta.SecondsLeft(), -1);
    const auto t0 = DownloadEta::Clock::time_point{} + 100s;
    eta.Update(0, 101, t0);
    QCOMPARE(eta.SecondsLeft(), -1);  // one block says nothing of the pace
    eta.Update(10, 101, t0 + 5s);     // half a second per block
    QCOMPARE(eta.SecondsLeft(), 45);  // 90 blocks to go
    QCOMPARE(eta.PerMille(), 108);
    eta.Update(4, 101, t0 + 6s);      // a repeated request moves nothing
    QCOMPARE(eta.SecondsLeft(), 45);
    eta.Update(100, 101, t0 + 50s);
    QCOMPARE(eta.SecondsLeft(), 0);
    QCOMPARE(eta.PerMille(), 1000);
    QCOMPARE(DescribeTimeLeft(125), QStringLiteral("Time left(剩余时间): 2:05"));
  }

  void workFromOtherThreadsRunsOnTheUiThreadInOrder() {
    CUiThreadCall call;
    std::vector<int> order;  // touched on the UI thread only
    std::atomic<int> waitedFor{0};
    const auto ui = std::this_thread::get_id();
    std::thread worker([&] {
      for (int i = 0; i < 50; ++i) {
        call.CallAndWait([&, i] {
          QCOMPARE(std::this_thread::get_id(), ui);
          order.push_back(i);
        });
        // CallAndWait returns only after the work ran.
        waitedFor = i + 1;
      }
      call.Post([&] { order.push_back(-1); });
    });
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(order.size()), 51, 10000);
    worker.join();
    QCOMPARE(waitedFor.load(), 50);
    for (int i = 0; i < 50; ++i) QCOMPARE(order[i], i);
    QCOMPARE(order.back(), -1);
  }

  void aCellHoldingAnErrorIsNamedWithAStopIcon() {
    SpreadsheetReport report;
    report.error = "cell C4 holds the error value #N/A";
    report.errorCell = "C4";
    report.errorValue = "#N/A";
    bool stop = false;
    QCOMPARE(DescribeSpreadsheetFailure(report, stop),
             QStringLiteral("Cell C4 holds the error value #N/A(单元格C4含有错误值#N/A)"));
    QVERIFY(stop);
    SpreadsheetReport oneRow;
    oneRow.error = "the first worksheet has only one row";
    QCOMPARE(DescribeSpreadsheetFailure(oneRow, stop),
             QStringLiteral("Invalid data file(无效数据文件)\nthe first worksheet has only one row"));
    QVERIFY(!stop);
  }

  void theAboutBoxClosesWithOkEnterOrEsc() {
    for (int key : {0, int(Qt::Key_Return), int(Qt::Key_Escape)}) {
      CAboutDlg about;
      QCOMPARE(about.windowTitle(), QStringLiteral("关于 Tabrelium"));
      auto* ok = about.findChild<QPushButton*>(QStringLiteral("1"));
      QCOMPARE(ok->text(), QStringLiteral("确定"));
      about.show();
      QVERIFY(QTest::qWaitForWindowExposed(&about));
      if (key == 0)
        QTest::mouseClick(ok, Qt::LeftButton);
      else
        QTest::keyClick(&about, Qt::Key(key));
      QVERIFY(!about.isVisible());
    }
  }

  void chineseTakesTwoColumnsInTheLcdFont() {
    const QFontMetrics metrics(LcdFont());
    const int latin = metrics.horizontalAdvance(QStringLiteral("0123456789"));
    const int chinese = metrics.horizontalAdvance(QStringLiteral("条码名称价格农夫山泉"));
    if (!QFontInfo(LcdFont()).family().contains(QStringLiteral("CJK")))
      QSKIP("no monospaced CJK font installed");
    QCOMPARE(chinese, 2 * latin);
  }
};

QTEST_MAIN(WindowPartsTest)
#include "window_parts_test.moc"
