// The data list view on Qt's offscreen platform, over a model that makes
// "row,column" texts on request and counts the cells it is asked for: only
// visible cells are read, keys and clicks select the row before it becomes
// current, resets keep the view in range, and a million rows cost no memory.
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "app/data_list_view.h"

using tabrelium::CDataListView;

namespace {

// rows × columns of "row,column" texts; `calls` and `asked` (x: columns,
// y: rows) tell which cells were read.
class CountingModel : public QAbstractTableModel {
 public:
  CountingModel(int rows, int columns) : m_rows(rows), m_columns(columns) {}
  int rowCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : m_rows; }
  int columnCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : m_columns; }
  QVariant data(const QModelIndex& index, int role) const override {
    ++calls;
    asked |= QRect(index.column(), index.row(), 1, 1);
    return role == Qt::DisplayRole ? QStringLiteral("%1,%2").arg(index.row()).arg(index.column())
                                   : QVariant();
  }
  void Reset(int rows) {
    beginResetModel();
    m_rows = rows;
    endResetModel();
  }
  mutable int calls = 0;
  mutable QRect asked;

 private:
  int m_rows, m_columns;
};

constexpr int kColumnWidth = 100;

// A shown, focused view of rows × columns, every column kColumnWidth wide,
// recording each row that became current and whether it was selected then.
struct Shown {
  Shown(int rows, int columns) : model(rows, columns) {
    view.setModel(&model);
    for (int c = 0; c < columns; ++c) view.SetColumnWidth(c, kColumnWidth);
    view.resize(420, 300);
    view.show();
    view.setFocus();
    if (!QTest::qWaitForWindowExposed(&view)) qFatal("the view was never shown");
    QCoreApplication::processEvents();  // scroll bars shown or hidden
    QObject::connect(
        view.selectionModel(), &QItemSelectionModel::currentRowChanged, &view,
        [this](const QModelIndex& c) { became << std::pair(c.row(), Selected(c.row())); });
  }
  QModelIndex Index(int row, int column = 0) const { return model.index(row, column); }
  int Current() const { return view.currentIndex().row(); }
  bool Selected(int row) const { return view.selectionModel()->isRowSelected(row, {}); }
  // Paints the whole viewport; true if it read only cells it shows.
  bool PaintReadsOnlyShownCells() {
    model.calls = 0;
    model.asked = {};
    view.viewport()->repaint();
    const int cells = (view.VisibleRowCount() + 1) * (view.viewport()->width() / kColumnWidth + 2);
    return model.calls > 0 && model.calls <= cells;
  }

  CountingModel model;
  CDataListView view;
  QList<std::pair<int, bool>> became;
};

#ifdef __GLIBC__
void* volatile g_sink;
size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}
#endif

}  // namespace

class DataListViewTest : public QObject {
  Q_OBJECT

 private slots:
  void paintReadsOnlyTheVisibleCells() {
    Shown s(1'000'000, 20);
    QVERIFY(s.PaintReadsOnlyShownCells());
    QVERIFY(s.model.asked.bottom() <= s.view.VisibleRowCount());
    QCOMPARE(s.view.verticalScrollBar()->pageStep(), s.view.VisibleRowCount());

    // Ctrl+End does no work per row, and the last row lands at the bottom.
    s.model.calls = 0;
    QTest::keyClick(&s.view, Qt::Key_End, Qt::ControlModifier);
    QVERIFY(s.model.calls < 1000);
    QCOMPARE(s.became, (QList<std::pair<int, bool>>{{999'999, true}}));
    const QRect last = s.view.visualRect(s.Index(999'999));
    QVERIFY(last.bottom() < s.view.viewport()->height());
    QVERIFY(last.bottom() >= s.view.viewport()->height() - s.view.RowHeight());
    QVERIFY(s.PaintReadsOnlyShownCells());
    QCOMPARE(s.model.asked.top(), 1'000'000 - s.view.VisibleRowCount());

    // Scrolled sideways, the header moves along and the columns to the left
    // are not read.
    s.view.horizontalScrollBar()->setValue(5 * kColumnWidth + 10);
    QCOMPARE(s.view.header()->offset(), 5 * kColumnWidth + 10);
    const QRect cell = s.view.visualRect(s.Index(999'999, 6));
    QCOMPARE(cell.left(), kColumnWidth - 10);
    QCOMPARE(s.view.indexAt(cell.center()), s.Index(999'999, 6));
    QCOMPARE(s.view.indexAt(cell.topLeft() - QPoint(1, 1)), s.Index(999'998, 5));
    QVERIFY(s.PaintReadsOnlyShownCells());
    QCOMPARE(s.model.asked.left(), 5);
  }

  void keysAndClicksSelectTheRowBeforeItBecomesCurrent() {
    Shown s(1000, 3);
    const int visible = s.view.VisibleRowCount();
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers mods = {}) {
      QTest::keyClick(&s.view, key, mods);
      return std::pair(s.Current(), s.view.TopRow());
    };
    QCOMPARE(press(Qt::Key_Down), std::pair(0, 0));  // no current row yet: the top one
    QCOMPARE(press(Qt::Key_Down), std::pair(1, 0));
    // Page Down: to the bottom row shown, then a page on.
    QCOMPARE(press(Qt::Key_PageDown), std::pair(visible - 1, 0));
    QCOMPARE(press(Qt::Key_PageDown), std::pair(2 * visible - 2, visible - 1));
    QCOMPARE(press(Qt::Key_PageUp), std::pair(visible - 1, visible - 1));
    QCOMPARE(press(Qt::Key_End), std::pair(999, 1000 - visible));
    QCOMPARE(press(Qt::Key_Up), std::pair(998, 1000 - visible));
    QCOMPARE(press(Qt::Key_Home, Qt::ControlModifier), std::pair(0, 0));
    QCOMPARE(press(Qt::Key_Up), std::pair(0, 0));  // nothing above the first row
    s.view.SelectRow(500);
    QCOMPARE(s.view.TopRow(), 500 - visible + 1);
    s.view.scrollTo(s.Index(100), QAbstractItemView::PositionAtCenter);
    QCOMPARE(s.view.TopRow(), 100 - visible / 2);
    const QRect cell = s.view.visualRect(s.Index(101, 2));
    QTest::mouseClick(s.view.viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(s.became.size(), 10);
    for (const auto& [row, selected] : s.became)
      QVERIFY2(selected, qPrintable(QString::number(row)));
    QCOMPARE(s.became.last().first, 101);
    QCOMPARE(s.view.selectionModel()->selectedRows().size(), 1);
  }

  void clicksBesideTheRowsChangeNothing() {
    Shown s(3, 3);
    s.view.SelectRow(1);
    const QRect cell = s.view.visualRect(s.Index(2, 2));
    QTest::mouseClick(s.view.viewport(), Qt::LeftButton, {}, cell.bottomLeft() + QPoint(3, 3));
    QTest::mouseClick(s.view.viewport(), Qt::LeftButton, {}, cell.topRight() + QPoint(3, 3));
    QCOMPARE(s.became.size(), 1);
    QCOMPARE(s.Current(), 1);
    QVERIFY(s.Selected(1));
  }

  void shapeChangesKeepTheViewInRange() {
    Shown s(1'000'000, 5);
    QCOMPARE(s.view.horizontalScrollBar()->maximum(),
             5 * kColumnWidth - s.view.viewport()->width());
    const int visible = s.view.VisibleRowCount();
    s.view.SelectRow(999'999);
    s.model.Reset(1000);
    QCOMPARE(s.view.verticalScrollBar()->maximum(), 1000 - visible);
    QCOMPARE(s.view.TopRow(), 1000 - visible);
    QVERIFY(!s.view.currentIndex().isValid());
    QTest::keyClick(&s.view, Qt::Key_Down);  // goes on from the rows shown
    QCOMPARE(s.Current(), 1000 - visible);

    s.model.Reset(0);
    QCOMPARE(s.view.TopRow(), 0);
    s.view.viewport()->repaint();
    QTest::keyClick(&s.view, Qt::Key_End);
    QVERIFY(!s.view.currentIndex().isValid());

    s.view.setModel(nullptr);  // and nothing breaks without a model
    s.view.viewport()->repaint();
    QTest::keyClick(&s.view, Qt::Key_Down);
    QTest::mouseClick(s.view.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  }

  void aMillionRowsTakeNoMemoryPerRow() {
#ifdef __GLIBC__
    const size_t before = HeapInUse();
    g_sink = std::memset(std::malloc(8 << 20), 1, 8 << 20);
    const bool counted = HeapInUse() - before >= (8 << 20);
    std::free(g_sink);
    if (!counted) QSKIP("this heap is not counted by mallinfo2 (a sanitizer build?)");
    const auto growth = [](int rows) {
      const size_t start = HeapInUse();
      auto shown = std::make_unique<Shown>(rows, 20);
      shown->view.viewport()->repaint();
      return static_cast<qint64>(HeapInUse()) - static_cast<qint64>(start);
    };
    growth(10);  // fonts, style and caches settle on the first view
    const qint64 few = growth(10);
    const qint64 many = growth(1'000'000);
    // A row of state the size of one pointer would already take 8 MB.
    QVERIFY2(many - few < (1 << 20), qPrintable(QStringLiteral("%1 vs %2").arg(many).arg(few)));
#else
    QSKIP("heap use is measured through glibc");
#endif
  }
};

QTEST_MAIN(DataListViewTest)
#include "data_list_view_test.moc"
