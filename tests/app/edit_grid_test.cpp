// The configuration grid and its in-place box, driven by mouse and keys the
// way the main dialog's user drives them.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "app/edit_grid_ctrl.h"
#include "app/gbk_text.h"
#include "app/in_place_edit.h"
#include "config/config_file.h"

using namespace tabrelium;

namespace {

// The grid set up as the main dialog sets it up, narrower than its columns,
// in a dialog with a default button, a shortcut on Enter and Escape, and a
// second control holding the focus.
struct GridDialog {
  GridDialog() {
    dialog.resize(720, 260);
    other->setGeometry(0, 0, 100, 24);
    ok->setGeometry(110, 0, 60, 24);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    keys->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Escape)});
    dialog.addAction(keys);
    QObject::connect(keys, &QAction::triggered, [this] { ++windowKeys; });
    grid->setGeometry(0, 30, 300, 200);
    const QStringList headings = QStringLiteral(
        "ID(序号)|DisplayName(显示名称)|ExtractColn(提取列号)|DisplayRows(显示行数)").split(u'|');
    for (int c = 0; c < 4; ++c) grid->InsertColumn(c, headings[c], c ? 150 : 100);
    grid->SetColumnChars(QStringLiteral("0123456789"), 2);
    grid->SetColumnChars(QStringLiteral("0123456789"), 3);
    const QStringList filled = QStringLiteral("名称|3|1|Price|123|2").split(u'|');
    for (int i = 0; i < 32; ++i) {
      grid->InsertItem(i, QStringLiteral("  %1 ").arg(i + 1));
      for (int c = 1; c <= 3 && i < 2; ++c) grid->SetItemText(i, c, filled[i * 3 + c - 1]);
    }
    grid->SetReadOnlyColumn(0, true);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    active = QTest::qWaitForWindowActive(&dialog);
    other->setFocus();
  }
  QDialog dialog;
  QLineEdit* other = new QLineEdit(&dialog);
  QPushButton* ok = new QPushButton(&dialog);
  QAction* keys = new QAction(&dialog);
  CEditGridCtrl* grid = new CEditGridCtrl(&dialog);
  bool active = false;
  int windowKeys = 0;
};

QRect CellRect(const CEditGridCtrl* g, int row, int column) {
  return QRect(g->columnViewportPosition(column), g->rowViewportPosition(row),
               g->columnWidth(column), g->rowHeight(row));
}

// A click on the visible part of the cell.
void Click(CEditGridCtrl* g, int row, int column, Qt::KeyboardModifiers mods = {}) {
  const QPoint p = CellRect(g, row, column).intersected(g->viewport()->rect()).center();
  QTest::mouseClick(g->viewport(), Qt::LeftButton, mods, p);
}

CInPlaceEdit* Editor() { return CInPlaceEdit::Instance(); }
QLineEdit* Box() { return Editor()->Window(); }

void Paste(const QString& clip) {
  QApplication::clipboard()->setText(clip);
  QTest::keyClick(Box(), Qt::Key_V, Qt::ControlModifier);
}

}  // namespace

class EditGridTest : public QObject {
  Q_OBJECT

 private slots:
  void clicksThatOpenNoBox() {
    GridDialog d;
    QVERIFY(d.active);
    Click(d.grid, 5, 0);  // the ID column: the row is selected, nothing edited
    QCOMPARE(d.grid->currentRow(), 5);
    QVERIFY(d.grid->selectionModel()->isRowSelected(5, {}));
    QVERIFY(d.grid->hasFocus());
    QVERIFY(!Box());
    Click(d.grid, 5, 1, Qt::ShiftModifier);
    Click(d.grid, 5, 1, Qt::ControlModifier);
    QVERIFY(!Box());
    d.grid->horizontalScrollBar()->setValue(200);  // without a box nothing scrolls sideways
    Click(d.grid, 5, 2, Qt::ShiftModifier);
    QCOMPARE(d.grid->horizontalScrollBar()->value(), 200);
    QAbstractItemView* view = d.grid;
    QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
    view->edit(d.grid->model()->index(5, 0));
    QVERIFY(!Box());
    view->edit(d.grid->model()->index(5, 1));  // a program's edit gets the same box
    QCOMPARE(Editor()->Column(), 1);
  }

  void pressesOnNoCellChangeNothing() {
    GridDialog d;
    d.grid->resize(700, 200);
    d.grid->DeleteAllItems();
    for (int i = 0; i < 3; ++i) d.grid->InsertItem(i, QString::number(i + 1));
    QCoreApplication::processEvents();
    d.grid->selectRow(1);
    d.other->setFocus();
    const int below = d.grid->rowViewportPosition(2) + d.grid->rowHeight(2) + 4;
    for (QPoint p : {QPoint(50, below), QPoint(d.grid->horizontalHeader()->length() + 4, 5)}) {
      QTest::mouseClick(d.grid->viewport(), Qt::LeftButton, {}, p);
      QCOMPARE(d.grid->selectionModel()->selectedRows().size(), 1);
      QCOMPARE(d.grid->currentRow(), 1);
      QVERIFY(d.other->hasFocus());
    }
    int row = -1, column = -1;  // the line between two columns belongs to the left one
    QVERIFY(d.grid->HitTestCell(QPoint(100, 5), row, column) && column == 0);
    QVERIFY(d.grid->HitTestCell(QPoint(101, 5), row, column) && column == 1);
  }

  void eachClickOpensTheBoxOverItsCell() {
    GridDialog d;
    Click(d.grid, 0, 1);
    QCOMPARE(Box()->geometry(), CellRect(d.grid, 0, 1));
    QCOMPARE(Box()->selectedText(), QStringLiteral("名称"));
    QVERIFY(Box()->hasFocus());
    QTest::keyClicks(Box(), "AB");
    Click(d.grid, 1, 2);  // written back, and the next box opens at once
    QCOMPARE(d.grid->GetItemText(0, 1), QStringLiteral("AB"));
    QCOMPARE(Box()->geometry(), CellRect(d.grid, 1, 2));
    QCOMPARE(Box()->text(), QStringLiteral("123"));  // over the limit, shown whole ...
    QTest::keyClick(Box(), Qt::Key_End);
    QTest::keyClicks(Box(), "4");
    QCOMPARE(Box()->text(), QStringLiteral("123"));  // ... and refusing more
    QTest::keyClick(Box(), Qt::Key_Backspace);
    Editor()->BeginEdit(CellRect(d.grid, 5, 1), d.grid, 5, 1, {}, "x");
    QCOMPARE(d.grid->GetItemText(1, 2), QStringLiteral("12"));  // the old box's own cell
    QCOMPARE(Box()->text(), QStringLiteral("x"));
  }

  void numberColumnsTakeTwoDigitsButAnyPaste() {
    GridDialog d;
    Click(d.grid, 2, 2);
    QTest::keyClicks(Box(), "a427");
    QCOMPARE(Box()->text(), QStringLiteral("42"));
    QTest::keyClick(Box(), Qt::Key_Backspace);
    Paste(QStringLiteral("x"));
    QCOMPARE(Box()->text(), QStringLiteral("4x"));
    QTest::keyClick(Box(), Qt::Key_Home);
    QTest::keyClick(Box(), Qt::Key_Delete);
    Paste(QStringLiteral("yz"));  // only what fits goes in
    QCOMPARE(Box()->text(), QStringLiteral("yx"));
    Box()->selectAll();  // the box's own menu pastes within the limit too
    QApplication::clipboard()->setText(QStringLiteral("987"));
    bool pasted = false;
    QTimer::singleShot(0, [&pasted] {
      QWidget* menu = QApplication::activePopupWidget();
      if (!menu) return;
      for (QAction* a : menu->actions()) {
        if (a->text().startsWith(QStringLiteral("&Paste"))) pasted = (a->trigger(), true);
      }
      menu->close();
    });
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, {5, 5}, Box()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(Box(), &menuEvent);
    QVERIFY(pasted);
    QCOMPARE(Box()->text(), QStringLiteral("98"));
  }

  void theNameColumnCountsGbkBytes() {
    GridDialog d;
    Click(d.grid, 2, 1);
    for (QChar c : QStringLiteral("一二三四五六")) {  // as an input without key codes types
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(Box(), &press);
    }
    QCOMPARE(Box()->text(), QStringLiteral("一二三四五"));
    Box()->selectAll();
    QTest::keyClicks(Box(), "abcdefghijk");
    QCOMPARE(Box()->text(), QStringLiteral("abcdefghij"));
    Box()->setSelection(1, 9);
    Paste(QStringLiteral("一二三四五"));  // 9 bytes free: four characters, not four and a half
    QCOMPARE(Box()->text(), QStringLiteral("a一二三四"));
    Box()->clear();
    QInputMethodEvent ime;
    ime.setCommitString(QStringLiteral("甲乙丙丁戊己"));
    QApplication::sendEvent(Box(), &ime);
    QCOMPARE(Box()->text(), QStringLiteral("甲乙丙丁戊"));
  }

  // What the configuration file cannot give back as saved is refused as it
  // is typed; what is taken reads back the same after a save and a load.
  void theNameColumnRefusesWhatASavedNameCannotHold_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("comma") << QStringLiteral("a,b") << QStringLiteral("ab");
    QTest::newRow("full-width comma") << QStringLiteral("a，b") << QStringLiteral("ab");
    QTest::newRow("full-width equals") << QStringLiteral("a＝b") << QStringLiteral("ab");
    QTest::newRow("full-width stop") << QStringLiteral("a．b") << QStringLiteral("ab");
    QTest::newRow("full-width tilde") << QStringLiteral("a～b") << QStringLiteral("ab");
    QTest::newRow("full-width bar") << QStringLiteral("a｜b") << QStringLiteral("ab");
    QTest::newRow("comment") << QStringLiteral("a//b") << QStringLiteral("a/b");
    QTest::newRow("enclosing quotes") << QStringLiteral("\"ab\"") << QStringLiteral("\"ab");
    QTest::newRow("no GBK form") << QStringLiteral("a\U0001F600b") << QStringLiteral("ab");
    QTest::newRow("all of these survive") << QStringLiteral("单价=a\"/b.") << QStringLiteral("单价=a\"/b.");
  }

  void theNameColumnRefusesWhatASavedNameCannotHold() {
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    GridDialog d;
    Click(d.grid, 2, 1);
    for (qsizetype i = 0; i < typed.size();) {  // one character per key, as an input method types
      const qsizetype length = typed[i].isHighSurrogate() ? 2 : 1;
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, typed.mid(i, length));
      QApplication::sendEvent(Box(), &press);
      i += length;
    }
    QCOMPARE(Box()->text(), kept);
    FieldTable saved = MakeDefaultFieldTable();
    saved.fieldCount = 1;
    CopyFieldText(saved.fields[0].displayName, kMaxDisplayNameBytes, ToGbk(kept));
    FieldTable loaded{};
    ParseFieldConfig(FormatFieldConfig(saved), loaded);
    QCOMPARE(loaded.fieldCount, 1);
    QCOMPARE(FromGbk(loaded.fields[0].displayName), kept);
  }

  void anInputMethodOrADeletionMakesNoNameTheFileCannotHold() {
    GridDialog d;
    Click(d.grid, 2, 1);
    QInputMethodEvent ime;  // a Chinese input method types the comma full-width
    ime.setCommitString(QStringLiteral("单，价"));
    QApplication::sendEvent(Box(), &ime);
    QCOMPARE(Box()->text(), QStringLiteral("单价"));
    Box()->setText(QStringLiteral("/x/"));
    QTest::keyClick(Box(), Qt::Key_End);
    QTest::keyClick(Box(), Qt::Key_Left);
    QTest::keyClick(Box(), Qt::Key_Backspace);  // would leave "//"
    QCOMPARE(Box()->text(), QStringLiteral("/x/"));
    Paste(QStringLiteral("a,b"));
    QCOMPARE(Box()->text(), QStringLiteral("/xab/"));
  }

  void escapeRestoresEnterKeepsAndTheDialogSeesNeither() {
    GridDialog d;
    Click(d.grid, 0, 1);
    QTest::keyClicks(Box(), "X");
    QTest::keyClick(Box(), Qt::Key_Escape);
    QCOMPARE(d.grid->GetItemText(0, 1), QStringLiteral("名称"));
    Click(d.grid, 0, 1);
    QTest::keyClicks(Box(), "Tea");
    QTest::keyClick(Box(), Qt::Key_Return);
    QCOMPARE(d.grid->GetItemText(0, 1), QStringLiteral("Tea"));
    QVERIFY(!Box());
    QVERIFY(d.grid->hasFocus());
    QVERIFY(d.dialog.isVisible());
    QCOMPARE(d.windowKeys, 0);
  }

  void everyOtherWayOutWritesBackOnce() {
    GridDialog d;
    const auto editThenEnd = [&](const char* typed, const std::function<void()>& end) {
      d.grid->verticalScrollBar()->setValue(0);
      Click(d.grid, 0, 1);
      QTest::keyClicks(Box(), typed);
      end();
      return !Box() && d.grid->GetItemText(0, 1) == QString::fromLatin1(typed);
    };
    QScrollBar* across = d.grid->horizontalScrollBar();
    QVERIFY(editThenEnd("Q", [&] { across->triggerAction(QAbstractSlider::SliderSingleStepAdd); }));
    QVERIFY(d.grid->hasFocus());
    QVERIFY(editThenEnd("R", [&] { d.grid->verticalScrollBar()->setValue(3); }));  // wheel, keys
    QVERIFY(editThenEnd("Z", [] { Editor()->DestroyWindow(); }));
    QVERIFY(d.grid->hasFocus());
    d.grid->SetItemText(0, 1, QStringLiteral("later"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(d.grid->GetItemText(0, 1), QStringLiteral("later"));
    QVERIFY(editThenEnd("W", [] { CInPlaceEdit::ReleaseInstance(); }));
    d.other->setFocus();  // a scroll-bar action takes the focus even without a box
    d.grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY(d.grid->hasFocus());
  }

  void theClickedRowStaysPutUnderTheBox() {
    GridDialog d;
    CEditGridCtrl* g = d.grid;
    const int rh = g->rowHeight(0);
    g->resize(300, g->height() - g->viewport()->height() + rh * 4 + rh / 2);
    QCoreApplication::processEvents();
    Click(g, 4, 1);  // half shown: comes into view at once
    QVERIFY(g->viewport()->rect().contains(Box()->geometry()));
    QTest::qWait(QApplication::doubleClickInterval() + 150);
    QCOMPARE(Box()->geometry(), CellRect(g, 4, 1));
    const QPoint from = CellRect(g, 1, 1).center(), to = CellRect(g, 2, 1).center();
    QTest::mousePress(g->viewport(), Qt::LeftButton, {}, from);  // a drag keeps the row
    QTest::mouseMove(g->viewport(), to);
    QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, to);
    QCOMPARE(g->currentRow(), 1);
  }

  void scrollColumnIntoViewMovesOnlyAsFarAsNeeded() {
    GridDialog d;
    CEditGridCtrl* g = d.grid;
    QScrollBar* bar = g->horizontalScrollBar();
    const int client = g->viewport()->width();
    QVERIFY(client > 250 && client < 400);  // column 2 is cut off on the right
    // The column's rect, which must be where Qt draws the column.
    const auto scroll = [&](int from, int column) {
      bar->setValue(from);
      QRect rect(-bar->value(), 0, g->horizontalHeader()->length(), 20);
      g->ScrollColumnIntoView(column, rect);
      return rect.left() == g->columnViewportPosition(column) ? rect : QRect(-999, 0, 0, 0);
    };
    QCOMPARE(scroll(0, 1).left(), 100);  // fully visible: no move
    QCOMPARE(bar->value(), 0);
    QCOMPARE(scroll(120, 1).left(), 0);  // left edge out of view
    QCOMPARE(bar->value(), 100);
    QCOMPARE(scroll(0, 2).left() + 150, client);  // cut off on the right
    QCOMPARE(scroll(0, 3).width(), 150);  // the bar stops short of the left edge
    QCOMPARE(bar->value(), bar->maximum());
    g->setColumnWidth(1, client + 100);
    QCoreApplication::processEvents();
    const QRect wide = scroll(0, 1);  // wider than the client, left edge visible
    QCOMPARE(wide.left() + wide.width(), client);
    QCOMPARE(bar->value(), 200);
  }
};

QTEST_MAIN(EditGridTest)
#include "edit_grid_test.moc"
