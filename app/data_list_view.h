// A virtual report list: the data list of the main dialog. It keeps no
// per-row state at all; each paint asks the model for the cells of the
// visible rows only, so a table of a million rows opens and scrolls at once.
// Columns come from a horizontal header; every row has the same height.
// Single selection of whole rows, grid lines, keyboard moves (arrows, Page
// Up/Down, Home/End) and clicks change the current, selected row.
//
// The vertical scroll bar counts rows (its value is the top row), the
// horizontal one counts pixels across the columns. A row that becomes
// current through the keyboard, a click or SelectRow() is already selected
// when the selection model's currentRowChanged fires.
//
// Thread-safety: UI thread only.
#pragma once

#include <QAbstractItemView>
#include <QHash>
#include <QList>
#include <QMetaObject>

class QHeaderView;

namespace tabrelium {

class CDataListView : public QAbstractItemView {
  Q_OBJECT

 public:
  explicit CDataListView(QWidget* parent = nullptr);
  ~CDataListView() override;

  QHeaderView* header() const { return m_header; }
  void SetColumnWidth(int column, int width);
  int RowHeight() const;
  // Selects and focuses `row` (0-based) as a click would, and shows it.
  // A row outside the model changes nothing.
  void SelectRow(int row);
  // The row shown at the top (the vertical scroll bar's value).
  int TopRow() const;
  // Rows that fit whole in the viewport; at least one.
  int VisibleRowCount() const;

  // QAbstractItemView
  void setModel(QAbstractItemModel* model) override;
  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;

 protected:
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex& index) const override;
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void paintEvent(QPaintEvent* event) override;
  void updateGeometries() override;
  void scrollContentsBy(int dx, int dy) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyboardSearch(const QString& search) override;

 private:
  int RowCount() const;
  // The row whose band holds viewport y; may lie outside the model.
  qint64 RowAtY(int y) const;
  // Viewport y of the top of `row`, kept within a few rows of the viewport
  // so that rows far off screen cannot overflow a coordinate.
  int RowTop(int row) const;
  // The band of `row` across all columns, in viewport coordinates.
  QRect RowRect(int row) const;
  // The leftmost column shown, for rows that have no current column yet.
  int FirstColumn() const;
  void OnModelShapeChanged();
  // `text` as a cell shows it in `room` pixels: whole when it fits, else
  // cut with an ellipsis. Fitting is decided from cached character widths,
  // because laying the text out to measure it costs as much as drawing it.
  QString FitCellText(const QString& text, const QFontMetrics& metrics, int room) const;

  QHeaderView* m_header;
  // Advance of each character drawn so far, for the font in use.
  mutable QHash<char16_t, int> m_charWidths;
  QList<QMetaObject::Connection> m_modelConnections;
  bool m_inGeometryUpdate = false;
};

}  // namespace tabrelium
