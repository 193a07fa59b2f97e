// The configuration grid: a 4-column list (ID, display name, source column,
// display lines) with one row per field slot, edited cell by cell through
// the in-place text box (CInPlaceEdit). The grid holds text only; the main
// dialog fills it from the FieldTable and reads it back.
//
// Texts here are Unicode (QString); byte limits count GBK bytes.
//
// A click on a cell selects its row and opens the box there; a press on no
// cell does nothing at all, not even take the focus, so the grid takes the
// focus itself (its focus policy is Tab only, on purpose). Any scroll, and
// any change of rows or columns, ends an open edit with its write-back, so
// the box never floats over the wrong cell.
//
// Thread-safety: UI thread only.
#pragma once

#include <QString>
#include <QTableWidget>
#include <array>
#include <vector>

class QMouseEvent;

namespace tabrelium {

inline constexpr int GRID_MAX_COLUMNS = 100;

class CEditGridCtrl : public QTableWidget {
  Q_OBJECT

 public:
  explicit CEditGridCtrl(QWidget* parent = nullptr);
  ~CEditGridCtrl() override;  // releases the shared editor

  // Adds column `column` with `heading`, centred, `width` pixels wide.
  void InsertColumn(int column, const QString& heading, int width);
  // The characters that may be typed into `column` (-1: every column);
  // empty allows all. Columns above 99 are ignored.
  void SetColumnChars(const QString& chars, int column);
  void SetReadOnlyColumn(int column, bool readOnly);
  void ClearReadOnlyColumns();
  bool IsReadOnlyColumn(int column) const;

  void DeleteAllItems();
  // Appends a row at `row` with `text` in column 0; returns its index.
  int InsertItem(int row, const QString& text);
  void SetItemText(int row, int column, const QString& text);
  QString GetItemText(int row, int column) const;

  // The cell under `p` (viewport coordinates); false on no cell.
  bool HitTestCell(QPoint p, int& row, int& column) const;
  // Scrolls `column` into view and returns the cell's rectangle in
  // viewport coordinates.
  QRect GetCellRect(int column, int row);
  // `rowRect` is the row's whole rectangle in viewport coordinates; on
  // return its left and right are the column's edges after scrolling.
  void ScrollColumnIntoView(int column, QRect& rowRect);
  // Opens the in-place editor over the cell.
  void EditCell(int row, int column, const QString& text);
  // The end of an edit: writes `text` into the cell.
  void OnEndLabelEdit(int row, int column, const QString& text);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  void OnScrollBarAction();
  // Ends the edit open on this grid, if any, with its write-back.
  void EndOwnEdit();
  bool IsEditing() const;
  bool IsCell(int row, int column) const;
  // The row across all columns, in viewport coordinates.
  QRect RowRect(int row) const;
  void EnsureRowVisible(int row);

  std::vector<int> m_readOnlyColumns;
  std::array<QString, GRID_MAX_COLUMNS> m_columnChars;
};

}  // namespace tabrelium
