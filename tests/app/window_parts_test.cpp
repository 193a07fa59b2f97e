// The window's small parts: dialog units, the UI-thread hand-off the
// download callbacks rely on, the About box, and the LCD font.
#include <QFontMetrics>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>
#include <vector>

#include "app/about_box.h"
#include "app/dialog_units.h"
#include "app/ui_thread_call.h"
#include "app/window_fonts.h"

using namespace tabrelium;

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
