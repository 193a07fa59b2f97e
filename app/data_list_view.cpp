#include "app/data_list_view.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <limits>

namespace tabrelium {

namespace {

// Space above and below the text of a row.
constexpr int kRowMargin = 2;

}  // namespace

CDataListView::CDataListView(QWidget* parent)
    : QAbstractItemView(parent), m_header(new QHeaderView(Qt::Horizontal, this)) {
  setSelectionMode(SingleSelection);
  setSelectionBehavior(SelectRows);
  setEditTriggers(NoEditTriggers);
  setHorizontalScrollMode(ScrollPerPixel);
  setVerticalScrollMode(ScrollPerItem);

  m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_header->setSectionResizeMode(QHeaderView::Interactive);
  m_header->setStretchLastSection(false);
  m_header->setSectionsClickable(false);
  m_header->setSectionsMovable(false);
  m_header->setHighlightSections(false);

  const auto relayout = [this] {
    updateGeometries();
    viewport()->update();
  };
  connect(m_header, &QHeaderView::sectionResized, this, relayout);
  connect(m_header, &QHeaderView::sectionCountChanged, this, relayout);
  connect(m_header, &QHeaderView::geometriesChanged, this, relayout);
}

CDataListView::~CDataListView() {
  // The header outlives this part of the view while QWidget's destructor
  // hides the children; its signals must no longer reach the view then.
  disconnect(m_header, nullptr, this, nullptr);
}

void CDataListView::SetColumnWidth(int column, int width) {
  m_header->resizeSection(column, width);
}

int CDataListView::RowHeight() const { return fontMetrics().height() + 2 * kRowMargin; }

void CDataListView::SelectRow(int row) {
  if (selectionModel() == nullptr || row < 0 || row >= RowCount()) return;
  const QModelIndex index = model()->index(row, FirstColumn(), rootIndex());
  if (!index.isValid()) return;
  selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
}

int CDataListView::TopRow() const { return verticalScrollBar()->value(); }

int CDataListView::VisibleRowCount() const {
  return std::max(1, viewport()->height() / RowHeight());
}

void CDataListView::setModel(QAbstractItemModel* model) {
  if (model == this->model()) return;
  for (const QMetaObject::Connection& connection : m_modelConnections) disconnect(connection);
  m_modelConnections.clear();
  QAbstractItemView::setModel(model);
  m_header->setModel(model);
  if (model != nullptr) {
    // Connected after the base view, the header and the selection model, so
    // the ranges are measured once they all know the new shape.
    const auto changed = [this] { OnModelShapeChanged(); };
    m_modelConnections = {
        connect(model, &QAbstractItemModel::modelReset, this, changed),
        connect(model, &QAbstractItemModel::rowsInserted, this, changed),
        connect(model, &QAbstractItemModel::rowsRemoved, this, changed),
        connect(model, &QAbstractItemModel::columnsInserted, this, changed),
        connect(model, &QAbstractItemModel::columnsRemoved, this, changed),
        connect(model, &QAbstractItemModel::layoutChanged, this, changed),
        connect(model, &QAbstractItemModel::headerDataChanged, this, changed),
    };
  }
  OnModelShapeChanged();
}

void CDataListView::OnModelShapeChanged() {
  updateGeometries();
  viewport()->update();
}

int CDataListView::RowCount() const {
  return model() == nullptr ? 0 : model()->rowCount(rootIndex());
}

qint64 CDataListView::RowAtY(int y) const {
  const int height = RowHeight();
  // Rounds down for points above the viewport too.
  const qint64 band = y >= 0 ? y / height : -((-static_cast<qint64>(y) + height - 1) / height);
  return TopRow() + band;
}

int CDataListView::RowTop(int row) const {
  const qint64 limit = viewport()->height() + 2LL * RowHeight();
  const qint64 top = (static_cast<qint64>(row) - TopRow()) * RowHeight();
  return static_cast<int>(std::clamp<qint64>(top, -limit, limit));
}

QRect CDataListView::RowRect(int row) const {
  return {-horizontalOffset(), RowTop(row), m_header->length(), RowHeight()};
}

int CDataListView::FirstColumn() const {
  for (int visual = 0; visual < m_header->count(); ++visual) {
    const int logical = m_header->logicalIndex(visual);
    if (!m_header->isSectionHidden(logical)) return logical;
  }
  return 0;
}

QRect CDataListView::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() ||
      isIndexHidden(index))
    return {};
  return {m_header->sectionViewportPosition(index.column()), RowTop(index.row()),
          m_header->sectionSize(index.column()), RowHeight()};
}

QModelIndex CDataListView::indexAt(const QPoint& point) const {
  const qint64 row = RowAtY(point.y());
  const int column = m_header->logicalIndexAt(point.x());
  if (row < 0 || row >= RowCount() || column < 0) return {};
  return model()->index(static_cast<int>(row), column, rootIndex());
}

void CDataListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid() || index.model() != model() || index.parent() != rootIndex()) return;
  // Only rows scroll: moving up and down a row must not jump sideways.
  const int row = index.row();
  const int visible = VisibleRowCount();
  int top = TopRow();
  switch (hint) {
    case EnsureVisible:
      if (row < top) {
        top = row;
      } else if (row > top + visible - 1) {
        top = row - visible + 1;
      }
      break;
    case PositionAtTop:
      top = row;
      break;
    case PositionAtBottom:
      top = row - visible + 1;
      break;
    case PositionAtCenter:
      top = row - visible / 2;
      break;
  }
  verticalScrollBar()->setValue(top);  // the scroll bar clamps to its range
}

QModelIndex CDataListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
  const int rows = RowCount();
  if (rows == 0 || m_header->count() == 0) return {};
  const QModelIndex current = currentIndex();
  const int top = TopRow();
  const int visible = VisibleRowCount();
  const int bottom = top + visible - 1;
  const int page = std::max(1, visible - 1);
  // Without a current row, a move starts at the top row shown.
  const int from = current.isValid() ? current.row() : std::min(top, rows - 1);
  int row = from;
  switch (cursorAction) {
    case MoveUp:
      if (current.isValid()) row = from - 1;
      break;
    case MoveDown:
      if (current.isValid()) row = from + 1;
      break;
    // Page keys first go to the edge of the rows shown, then a page on.
    case MovePageUp:
      row = (from > top && from <= bottom) ? top : from - page;
      break;
    case MovePageDown:
      row = (from >= top && from < bottom) ? bottom : from + page;
      break;
    case MoveHome:
      row = 0;
      break;
    case MoveEnd:
      row = rows - 1;
      break;
    case MoveLeft:
    case MoveRight:
    case MoveNext:
    case MovePrevious:
      return current;
  }
  row = std::clamp(row, 0, rows - 1);
  return model()->index(row, current.isValid() ? current.column() : FirstColumn(), rootIndex());
}

int CDataListView::horizontalOffset() const { return horizontalScrollBar()->value(); }

int CDataListView::verticalOffset() const {
  const qint64 offset = static_cast<qint64>(TopRow()) * RowHeight();
  return static_cast<int>(std::min<qint64>(offset, std::numeric_limits<int>::max()));
}

bool CDataListView::isIndexHidden(const QModelIndex& index) const {
  return m_header->isSectionHidden(index.column());
}

void CDataListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  const int rows = RowCount();
  const int columns = m_header->count();
  if (selectionModel() == nullptr || rows == 0 || columns == 0) return;
  const QRect area = rect.normalized();
  qint64 first = RowAtY(area.top());
  const qint64 last = RowAtY(area.bottom());
  if (last < 0 || first >= rows) return;  // no row under the rect
  // One row at most: the one under the rect's far corner, where a drag is.
  if (selectionMode() == SingleSelection) first = last;
  const int firstRow = static_cast<int>(std::max<qint64>(first, 0));
  const int lastRow = static_cast<int>(std::min<qint64>(last, rows - 1));
  const QItemSelection selection(model()->index(firstRow, 0, rootIndex()),
                                 model()->index(lastRow, columns - 1, rootIndex()));
  selectionModel()->select(selection, command);
}

QRegion CDataListView::visualRegionForSelection(const QItemSelection& selection) const {
  // Only the rows on screen: a selection far away has nothing to repaint.
  const int firstShown = TopRow();
  const int lastShown = firstShown + VisibleRowCount();  // with the partial row
  QRegion region;
  for (const QItemSelectionRange& range : selection) {
    if (!range.isValid() || range.parent() != rootIndex()) continue;
    const int top = std::max(range.top(), firstShown);
    const int bottom = std::min(range.bottom(), lastShown);
    if (top > bottom) continue;
    QRect columns;
    for (int column = range.left(); column <= range.right(); ++column) {
      if (m_header->isSectionHidden(column)) continue;
      columns |=
          QRect(m_header->sectionViewportPosition(column), 0, m_header->sectionSize(column), 1);
    }
    if (columns.isEmpty()) continue;
    region += QRect(columns.left(), RowTop(top), columns.width(), (bottom - top + 1) * RowHeight());
  }
  return region;
}

void CDataListView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const int rows = RowCount();
  if (rows == 0 || m_header->count() == 0) return;

  const QRect area = event->rect();
  const int height = RowHeight();
  const int top = TopRow();
  const int firstRow = static_cast<int>(std::max<qint64>(RowAtY(area.top()), 0));
  const int lastRow = static_cast<int>(std::min<qint64>(RowAtY(area.bottom()), rows - 1));

  // The columns that reach into the area, in the order shown.
  QList<int> columns;
  for (int visual = 0; visual < m_header->count(); ++visual) {
    const int logical = m_header->logicalIndex(visual);
    if (m_header->isSectionHidden(logical)) continue;
    const int x = m_header->sectionViewportPosition(logical);
    if (x <= area.right() && x + m_header->sectionSize(logical) > area.left()) columns << logical;
  }
  if (columns.isEmpty()) return;

  const QPalette::ColorGroup group =
      !isEnabled() ? QPalette::Disabled : (hasFocus() ? QPalette::Active : QPalette::Inactive);
  QStyleOption gridOption;
  gridOption.initFrom(this);
  const QColor gridColor = QColor::fromRgba(
      static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &gridOption, this)));
  const int textMargin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  const QFontMetrics metrics = fontMetrics();
  const QModelIndex current = currentIndex();
  QItemSelectionModel* selection = selectionModel();
  const int rowsLeft = -horizontalOffset();
  const int rowsRight = rowsLeft + m_header->length() - 1;

  for (int row = firstRow; row <= lastRow; ++row) {
    const int y = (row - top) * height;
    bool rowSelected = false;
    for (const int column : columns) {
      const QModelIndex index = model()->index(row, column, rootIndex());
      const QRect cell(m_header->sectionViewportPosition(column), y, m_header->sectionSize(column),
                       height);
      const bool selected = selection != nullptr && selection->isSelected(index);
      rowSelected = rowSelected || selected;
      if (selected) painter.fillRect(cell, palette().brush(group, QPalette::Highlight));
      painter.setPen(palette().color(group, selected ? QPalette::HighlightedText : QPalette::Text));
      // The right and bottom pixels belong to the grid lines.
      const QRect textRect = cell.adjusted(textMargin, 0, -textMargin - 1, -1);
      const QString text = model()->data(index, Qt::DisplayRole).toString();
      painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       FitCellText(text, metrics, textRect.width()));
      painter.setPen(gridColor);
      painter.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
    }
    painter.setPen(gridColor);
    painter.drawLine(rowsLeft, y + height - 1, rowsRight, y + height - 1);

    if (hasFocus() && current.isValid() && current.row() == row) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      focus.rect = QRect(QPoint(rowsLeft, y), QPoint(rowsRight, y + height - 1));
      focus.state |= QStyle::State_KeyboardFocusChange;
      focus.backgroundColor =
          palette().color(group, rowSelected ? QPalette::Highlight : QPalette::Base);
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
  }
}

QString CDataListView::FitCellText(const QString& text, const QFontMetrics& metrics,
                                  int room) const {
  int width = 0;
  for (const QChar ch : text) {
    auto known = m_charWidths.constFind(ch.unicode());
    if (known == m_charWidths.constEnd())
      known = m_charWidths.insert(ch.unicode(), metrics.horizontalAdvance(ch));
    width += *known;
    if (width > room) return metrics.elidedText(text, Qt::ElideRight, room);
  }
  return text;
}

void CDataListView::updateGeometries() {
  // Moving the viewport below the header resizes it, which lands here again.
  if (m_inGeometryUpdate) return;
  m_inGeometryUpdate = true;
  int headerHeight = 0;
  if (!m_header->isHidden()) {
    headerHeight = std::clamp(m_header->sizeHint().height(), m_header->minimumHeight(),
                              m_header->maximumHeight());
  }
  setViewportMargins(0, headerHeight, 0, 0);
  const QRect port = viewport()->geometry();
  m_header->setGeometry(port.left(), port.top() - headerHeight, port.width(), headerHeight);

  const int visible = VisibleRowCount();
  QScrollBar* vertical = verticalScrollBar();
  vertical->setSingleStep(1);
  vertical->setPageStep(visible);
  vertical->setRange(0, std::max(0, RowCount() - visible));

  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setSingleStep(std::max(1, 2 * fontMetrics().averageCharWidth()));
  horizontal->setPageStep(std::max(1, port.width()));
  horizontal->setRange(0, std::max(0, m_header->length() - port.width()));
  m_header->setOffset(horizontal->value());
  m_inGeometryUpdate = false;
  QAbstractItemView::updateGeometries();
}

void CDataListView::scrollContentsBy(int dx, int) {
  if (dx != 0) m_header->setOffset(horizontalScrollBar()->value());
  viewport()->update();
}

void CDataListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QAbstractItemView::currentChanged(current, previous);
  // The focus frame spans the row, not just the current cell.
  if (previous.isValid()) viewport()->update(RowRect(previous.row()));
  if (current.isValid()) viewport()->update(RowRect(current.row()));
}

void CDataListView::mousePressEvent(QMouseEvent* event) {
  // Qt makes the pressed row current before selecting it. Selecting first
  // means whoever follows currentRowChanged finds the row already selected.
  const QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid()) {
    // Qt would clear the selection; a press beside the rows changes nothing.
    event->accept();
    return;
  }
  if (selectionModel() != nullptr) {
    const QItemSelectionModel::SelectionFlags command = selectionCommand(index, event);
    if (command.testFlag(QItemSelectionModel::Select) &&
        !command.testFlag(QItemSelectionModel::Current) &&
        !command.testFlag(QItemSelectionModel::Toggle))
      selectionModel()->select(index, command);
  }
  QAbstractItemView::mousePressEvent(event);
}

void CDataListView::keyPressEvent(QKeyEvent* event) {
  // Left and Right scroll the columns, as in any report list.
  if (event->modifiers() == Qt::NoModifier &&
      (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)) {
    horizontalScrollBar()->triggerAction(event->key() == Qt::Key_Left
                                             ? QAbstractSlider::SliderSingleStepSub
                                             : QAbstractSlider::SliderSingleStepAdd);
    event->accept();
    return;
  }
  QAbstractItemView::keyPressEvent(event);
}

void CDataListView::keyboardSearch(const QString&) {
  // Qt's type-ahead reads every row when nothing matches: a pause on each
  // stray key over a big table, for a jump the list has no use for.
}

void CDataListView::changeEvent(QEvent* event) {
  QAbstractItemView::changeEvent(event);
  // The row height follows the font.
  if (event->type() == QEvent::FontChange) {
    m_charWidths.clear();
    OnModelShapeChanged();
  }
}

}  // namespace tabrelium
