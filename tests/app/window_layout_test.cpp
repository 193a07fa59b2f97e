// The main window's room: it fits small shop screens with every control
// whole, gives its extra room to the grid and the lists, remembers its size
// and place, tells what the load made of the file under the data list,
// shows record numbers whole, and opens its About and Help boxes.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/data_list_view.h"
#include "app/edit_grid_ctrl.h"
#include "tests/app/window_test_support.h"

using namespace tabrelium;
using namespace tabrelium::testing;

namespace {

// The client area of a 1024 × 640 screen under a window manager's frame.
constexpr QSize kSmallScreen(1024, 600);

template <typename T>
T* Control(const CMainDlg& dialog, const char* id) {
  return dialog.findChild<T*>(QString::fromLatin1(id));
}

void LoadThroughBrowse(OpenedDialog& d, const QString& path) {
  d.chooser->answers << path;
  QTest::mouseClick(Control<QPushButton>(*d.dialog, "1001"), Qt::LeftButton);
}

// The window's own named controls that are shown.
QList<QWidget*> NamedControls(const CMainDlg& dialog) {
  QList<QWidget*> controls;
  for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!child->objectName().isEmpty() && !child->isHidden()) controls << child;
  return controls;
}

// The text of the modal box that `press` opens, after closing it.
QString TextOfBoxOpenedBy(QPushButton* button) {
  QString text;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    poll.stop();
    for (const QLabel* label : box->findChildren<QLabel*>()) text += label->text() + '\n';
    for (const QPlainTextEdit* edit : box->findChildren<QPlainTextEdit*>())
      text += edit->toPlainText() + '\n';
    box->accept();
  });
  poll.start(10);
  QTest::mouseClick(button, Qt::LeftButton);
  return text;
}

}  // namespace

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void aSmallScreenShowsEveryControlWhole_data() {
    QTest::addColumn<bool>("downloading");
    QTest::addColumn<QString>("progress");
    QTest::newRow("idle") << false << QStringLiteral(" 0%");
    QTest::newRow("a failed download") << true << QStringLiteral("Downdload failed(下载失败)");
    QTest::newRow("a silent device")
        << true << QStringLiteral("Device not answering(设备无应答)");
  }

  void aSmallScreenShowsEveryControlWhole() {
    QFETCH(bool, downloading);
    QFETCH(QString, progress);
    OpenedDialog d;
    CMainDlg& dlg = *d.dialog;
    LoadThroughBrowse(d, ExampleFile());
    // What a download shows: the bar, the time left, the label's words.
    Control<QWidget>(dlg, "downloadProgressBar")->setVisible(downloading);
    Control<QLabel>(dlg, "downloadTimeLeft")->setVisible(downloading);
    Control<QLabel>(dlg, "downloadTimeLeft")->setText(QStringLiteral("Time left(剩余时间): 2:05"));
    Control<QLabel>(dlg, "1018")->setText(progress);

    QVERIFY2(dlg.minimumSize().width() <= kSmallScreen.width() &&
                 dlg.minimumSize().height() <= kSmallScreen.height(),
             qPrintable(QStringLiteral("minimum %1 x %2")
                            .arg(dlg.minimumSize().width())
                            .arg(dlg.minimumSize().height())));
    dlg.resize(kSmallScreen);
    QTRY_COMPARE(dlg.size(), kSmallScreen);
    QCoreApplication::processEvents();

    const QList<QWidget*> controls = NamedControls(dlg);
    QCOMPARE(controls.size(), downloading ? 18 : 16);  // with the device count and list
    for (const QWidget* control : controls) {
      const QByteArray name = control->objectName().toUtf8();
      QVERIFY2(dlg.rect().contains(control->geometry()), name.constData());
      for (const QWidget* other : controls)
        if (other != control)
          QVERIFY2(!control->geometry().intersects(other->geometry()),
                   (name + " overlaps " + other->objectName().toUtf8()).constData());
      // Buttons and labels show their whole text: wrapped labels are as
      // tall as their text needs at their width.
      if (const auto* label = qobject_cast<const QLabel*>(control); label && label->wordWrap())
        QVERIFY2(label->height() >= label->heightForWidth(label->width()), name.constData());
      else if (qobject_cast<const QPushButton*>(control) || qobject_cast<const QLabel*>(control))
        QVERIFY2(control->width() >= control->minimumSizeHint().width(), name.constData());
    }
  }

  void tabGoesThroughTheControlsInTheDesignedOrder() {
    OpenedDialog d;
    const QStringList designed = {"1000", "1001", "1004", "1005", "1006", "1007",
                                  "1011", "1013", "1014", "1010", "1016"};
    QStringList order;
    for (QWidget* w = d.dialog->nextInFocusChain(); w != d.dialog.get(); w = w->nextInFocusChain())
      if (designed.contains(w->objectName()) && w->parentWidget() == d.dialog.get())
        order << w->objectName();
    QCOMPARE(order, designed);
  }

  void theGridAndTheListsTakeTheExtraRoom() {
    OpenedDialog d;
    CMainDlg& dlg = *d.dialog;
    dlg.resize(kSmallScreen);
    QTRY_COMPARE(dlg.size(), kSmallScreen);
    const QList<QWidget*> growing = {dlg.Grid(), dlg.DataList(), dlg.LcdPreview()};
    QList<QSize> small;
    for (const QWidget* widget : growing) small << widget->size();
    const int buttonHeight = Control<QPushButton>(dlg, "1011")->height();

    dlg.resize(1900, 1000);
    QTRY_COMPARE(dlg.size(), QSize(1900, 1000));
    for (int i = 0; i < growing.size(); ++i) {
      QVERIFY2(growing[i]->width() > small[i].width(), qPrintable(growing[i]->objectName()));
      QVERIFY2(growing[i]->height() > small[i].height(), qPrintable(growing[i]->objectName()));
    }
    QCOMPARE(Control<QPushButton>(dlg, "1011")->height(), buttonHeight);
  }

  void theSizeAndPlaceAreRememberedInQtsOwnSettings() {
    OpenedDialog d;
    d.dialog->resize(1111, 677);
    QTRY_COMPARE(d.dialog->size(), QSize(1111, 677));
    QVERIFY(d.dialog->close());

    CMainDlg again(std::make_unique<ScriptedChooser>(), std::make_unique<RecordingSink>());
    QCOMPARE(again.size(), QSize(1111, 677));
    const QSettings settings(d.configHome.filePath(QStringLiteral("tabrelium/window.conf")),
                             QSettings::IniFormat);
    QVERIFY(!settings.value(QStringLiteral("window/geometry")).toByteArray().isEmpty());
    // The configuration file other programs read holds the fields alone.
    QFile config(d.dialog->ConfigPath());
    QVERIFY(config.open(QIODevice::ReadOnly));
    QVERIFY(!config.readAll().contains("geometry"));
  }

  void theStatusLineTellsWhatTheLastCutMadeOfTheFile() {
    OpenedDialog d;
    auto* status = Control<QLabel>(*d.dialog, "statusLine");
    QVERIFY(status->text().isEmpty());
    LoadThroughBrowse(d, ExampleFile());
    QCOMPARE(status->text(),
             QStringLiteral("40 records · 3 columns · 1 heading line skipped · separator , · GBK"
                            "(40条记录 · 3列 · 跳过1行标题 · 分隔符 , · GBK)"));
    // A recut tells the new facts.
    auto* startLine = Control<QComboBox>(*d.dialog, "1006");
    startLine->setCurrentIndex(0);
    emit startLine->activated(0);
    QVERIFY2(status->text().startsWith(QStringLiteral(
                 "41 records · 3 columns · no heading line skipped · separator , · GBK")),
             qPrintable(status->text()));
  }

  void aHundredThousandRecordsShowTheirNumbersWhole() {
    OpenedDialog d;
    QTemporaryDir dir;
    QByteArray lines = "code,name\n";
    for (int i = 0; i < 100000; ++i) lines += "1,a\n";
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("many.csv"), lines));
    CDataListView* list = d.dialog->DataList();
    QCOMPARE(list->model()->rowCount(), 100000);
    QVERIFY(Control<QLabel>(*d.dialog, "statusLine")->text().startsWith("100,000 records"));
    // The number is drawn inside the column's margins and its grid line.
    const int margins =
        2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1) + 1;
    QVERIFY(list->header()->sectionSize(0) - margins >=
            list->fontMetrics().horizontalAdvance(QStringLiteral("100000")));
  }

  void aboutAndHelpOpenTheirBoxes_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("told");
    QTest::newRow("About(关于)") << QStringLiteral("1013")
                                 << QStringList{QStringLiteral("Tabrelium"),
                                                QStringLiteral(TABRELIUM_VERSION),
                                                QStringLiteral("Licence")};
    QTest::newRow("Help(帮助)") << QStringLiteral("1014")
                                << QStringList{QStringLiteral("tools_config_v1.31.ini"),
                                               QStringLiteral("70-tabrelium.rules"),
                                               QStringLiteral("Startup download(启动下载)")};
  }

  void aboutAndHelpOpenTheirBoxes() {
    QFETCH(QString, button);
    QFETCH(QStringList, told);
    OpenedDialog d;
    const QString text =
        TextOfBoxOpenedBy(d.dialog->findChild<QPushButton*>(button));
    for (const QString& words : told) QVERIFY2(text.contains(words), qPrintable(words));
    QVERIFY(d.sink->shown.empty());
  }
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
