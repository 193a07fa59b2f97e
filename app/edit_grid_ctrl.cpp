#include "app/edit_grid_ctrl.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

#include "app/display_name_rule.h"
#include "app/in_place_edit.h"

namespace tabrelium {
namespace {

constexpr int kNameColumn = 1;
constexpr int kNameLimitBytes = 10;    // a display name: 10 bytes, 5 Chinese characters
constexpr int kNumberLimitBytes = 2;   // source column and display lines: two digits

int LimitBytesOf(int column) {
  if (column == kNameColumn) return kNameLimitBytes;
  if (column == 2 || column == 3) return kNumberLimitBytes;
  return 0;
}

}  // namespace

CEditGridCtrl::CEditGridCtrl(QWidget* parent) : QTableWidget(parent) {
  verticalHeader()->hide();
  horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  horizontalHeader()->setSectionsClickable(false);
  setSelectionBehavior(SelectRows);
  setSelectionMode(SingleSelection);
  setEditTriggers(NoEditTriggers);  // cells are edited in the in-place box only
  setShowGrid(true);
  setTabKeyNavigation(false);       // Tab leaves the grid, as in any dialog
  setHorizontalScrollMode(ScrollPerPixel);
  // Qt would give the focus on any press before the grid sees it; a press
  // on no cell must leave the focus where it is.
  setFocusPolicy(Qt::TabFocus);

  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
    connect(bar, &QAbstractSlider::actionTriggered, this, [this](int) { OnScrollBarAction(); });
    connect(bar, &QAbstractSlider::valueChanged, this, [this](int) { EndOwnEdit(); });
  }
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { EndOwnEdit(); });
}

CEditGridCtrl::~CEditGridCtrl() {
  // Qt's teardown of rows and bars must not reach back for the editor.
  horizontalScrollBar()->disconnect(this);
  verticalScrollBar()->disconnect(this);
  horizontalHeader()->disconnect(this);
  CInPlaceEdit::ReleaseInstance();
}

void CEditGridCtrl::InsertColumn(int column, const QString& heading, int width) {
  EndOwnEdit();
  const int at = std::clamp(column, 0, columnCount());
  insertColumn(at);
  auto* header = new QTableWidgetItem(heading);
  header->setTextAlignment(Qt::AlignCenter);
  setHorizontalHeaderItem(at, header);
  setColumnWidth(at, width);
}

void CEditGridCtrl::SetColumnChars(const QString& chars, int column) {
  if (column == -1) {
    m_columnChars.fill(chars);
  } else if (column >= 0 && column < GRID_MAX_COLUMNS) {
    m_columnChars[static_cast<size_t>(column)] = chars;
  }
}

void CEditGridCtrl::SetReadOnlyColumn(int column, bool readOnly) {
  const auto it = std::find(m_readOnlyColumns.begin(), m_readOnlyColumns.end(), column);
  if (readOnly && it == m_readOnlyColumns.end()) m_readOnlyColumns.push_back(column);
  if (!readOnly && it != m_readOnlyColumns.end()) m_readOnlyColumns.erase(it);
}

void CEditGridCtrl::ClearReadOnlyColumns() { m_readOnlyColumns.clear(); }

bool CEditGridCtrl::IsReadOnlyColumn(int column) const {
  return std::find(m_readOnlyColumns.begin(), m_readOnlyColumns.end(), column) !=
         m_readOnlyColumns.end();
}

void CEditGridCtrl::DeleteAllItems() {
  EndOwnEdit();
  setRowCount(0);
}

int CEditGridCtrl::InsertItem(int row, const QString& text) {
  EndOwnEdit();  // rows after it move down under an open box
  const int at = std::clamp(row, 0, rowCount());
  insertRow(at);
  SetItemText(at, 0, text);
  return at;
}

void CEditGridCtrl::SetItemText(int row, int column, const QString& text) {
  if (!IsCell(row, column)) return;
  QTableWidgetItem* cell = item(row, column);
  if (!cell) {
    cell = new QTableWidgetItem;
    cell->setTextAlignment(Qt::AlignCenter);
    setItem(row, column, cell);
  }
  cell->setText(text);
}

QString CEditGridCtrl::GetItemText(int row, int column) const {
  const QTableWidgetItem* cell = IsCell(row, column) ? item(row, column) : nullptr;
  return cell ? cell->text() : QString();
}

bool CEditGridCtrl::HitTestCell(QPoint p, int& row, int& column) const {
  const int hitRow = rowAt(p.y());
  const int columns = columnCount();
  if (hitRow < 0 || columns == 0) return false;
  const QRect bounds = RowRect(hitRow);
  if (!bounds.contains(p)) return false;
  int x0 = bounds.left();
  for (int c = 0; c < columns; ++c) {
    const int w = columnWidth(c);
    // A point on the line between two columns belongs to the left one.
    if (x0 <= p.x() && p.x() <= x0 + w) {
      row = hitRow;
      column = c;
      return true;
    }
    x0 += w;
  }
  return false;
}

QRect CEditGridCtrl::GetCellRect(int column, int row) {
  if (!IsCell(row, column)) return {};
  QRect rect = RowRect(row);
  ScrollColumnIntoView(column, rect);
  return QRect(rect.left(), rect.top(), columnWidth(column), rect.height());
}

void CEditGridCtrl::ScrollColumnIntoView(int column, QRect& rowRect) {
  if (column < 0 || column >= columnCount()) return;
  const int w = columnWidth(column);
  int offset = 0;
  for (int c = 0; c < column; ++c) offset += columnWidth(c);
  const int x = rowRect.left() + offset;
  const int clientLeft = 0;
  const int clientRight = viewport()->width();  // one past the last visible pixel
  int dx = 0;
  if (x < clientLeft || x > clientRight) {
    dx = x;
  } else if (x + w > clientRight) {
    dx = x + w - clientRight;
  }
  // The bar stops at its ends; the column is where the bar really went.
  QScrollBar* bar = horizontalScrollBar();
  const int before = bar->value();
  if (dx != 0) bar->setValue(before + dx);
  const int moved = bar->value() - before;
  rowRect.moveLeft(x - moved);
  rowRect.setWidth(w);
}

void CEditGridCtrl::EditCell(int row, int column, const QString& text) {
  if (!IsCell(row, column)) return;
  CInPlaceEdit* editor = CInPlaceEdit::Instance();
  // One click per cell: an open box is written back before the next opens.
  editor->DestroyWindow();
  const QRect rect = GetCellRect(column, row);
  const QString chars =
      column < GRID_MAX_COLUMNS ? m_columnChars[static_cast<size_t>(column)] : QString();
  if (!editor->BeginEdit(rect, this, row, column, chars, text)) return;
  editor->SetLimitBytes(LimitBytesOf(column));
  // A name the configuration file would not give back is never typed.
  if (column == kNameColumn) editor->SetTextRule(&SurvivesSaveAndLoad);
}

void CEditGridCtrl::OnEndLabelEdit(int row, int column, const QString& text) {
  SetItemText(row, column, text);
}

void CEditGridCtrl::mousePressEvent(QMouseEvent* event) {
  int row = -1;
  int column = -1;
  if (!HitTestCell(event->position().toPoint(), row, column)) {
    event->accept();
    return;
  }
  setFocus(Qt::MouseFocusReason);  // ends an open edit with its write-back
  EndOwnEdit();                    // even when the window has no focus to move
  // Qt scrolls a pressed row into view a moment later, which would move a
  // box opened now; the row is brought into view here instead.
  const bool autoScroll = hasAutoScroll();
  setAutoScroll(false);
  QTableWidget::mousePressEvent(event);
  setAutoScroll(autoScroll);
  if (autoScroll) EnsureRowVisible(row);

  if (event->button() != Qt::LeftButton) return;
  if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) return;
  const QString text = GetItemText(row, column);
  if (row == currentRow() && !IsReadOnlyColumn(column)) EditCell(row, column, text);
}

void CEditGridCtrl::mouseMoveEvent(QMouseEvent* event) {
  // The press that opened a box keeps the row; a drag does not carry the
  // selection away from the cell being edited.
  if (IsEditing()) {
    event->accept();
    return;
  }
  QTableWidget::mouseMoveEvent(event);
}

bool CEditGridCtrl::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (index.isValid() && IsReadOnlyColumn(index.column())) return false;
  // A program's request to edit gets the same box, set and limit as a click.
  if (index.isValid() && trigger == AllEditTriggers) {
    EditCell(index.row(), index.column(), GetItemText(index.row(), index.column()));
    return IsEditing();
  }
  return QTableWidget::edit(index, trigger, event);
}

void CEditGridCtrl::OnScrollBarAction() {
  if (!hasFocus()) setFocus(Qt::OtherFocusReason);
  EndOwnEdit();
}

void CEditGridCtrl::EndOwnEdit() {
  if (IsEditing()) CInPlaceEdit::Instance()->DestroyWindow();
}

bool CEditGridCtrl::IsEditing() const { return CInPlaceEdit::Instance()->Grid() == this; }

bool CEditGridCtrl::IsCell(int row, int column) const {
  return row >= 0 && row < rowCount() && column >= 0 && column < columnCount();
}

QRect CEditGridCtrl::RowRect(int row) const {
  return QRect(-horizontalOffset(), rowViewportPosition(row), horizontalHeader()->length(),
               rowHeight(row));
}

void CEditGridCtrl::EnsureRowVisible(int row) {
  // Only vertically: a column comes into view when it is edited, not on a click.
  QScrollBar* bar = horizontalScrollBar();
  const int x = bar->value();
  scrollTo(model()->index(row, 0));
  bar->setValue(x);
}

}  // namespace tabrelium
