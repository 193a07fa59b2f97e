#include "app/data_list_model.h"

#include <string>

#include "app/gbk_text.h"
#include "data/cell_table.h"

namespace tabrelium {

CDataListModel::CDataListModel(QObject* parent) : QAbstractTableModel(parent) {
  ShowInitialColumns();
}

void CDataListModel::ShowInitialColumns() {
  beginResetModel();
  m_cells = nullptr;
  m_rowCount = 0;
  m_headings.clear();
  m_headings << QStringLiteral("row(行)\\col(列)");
  for (int i = 1; i <= 11; ++i) m_headings << QStringLiteral("   %1   ").arg(i);
  endResetModel();
}

void CDataListModel::Rebuild(const CellTable& cells) {
  beginResetModel();
  m_cells = &cells;
  m_rowCount = GetRowCount(cells);
  m_headings.clear();
  // The number column is padded like the others, to the digits of the last
  // record number, so that "100000" is not cut to "999…".
  QString numberHeading = QStringLiteral("r\\c");
  const int digits = static_cast<int>(QString::number(m_rowCount).size());
  if (digits >= numberHeading.size()) numberHeading = numberHeading.leftJustified(digits + 1);
  m_headings << numberHeading;
  const int columns = GetColumnCount(cells);
  for (int i = 1; i <= columns; ++i) {
    std::string title = GetColumnTitle(cells, i);
    const size_t width = GetColumnWidth(cells, i);
    // A heading as wide as the column's longest cell leaves room for it.
    if (width >= title.size()) title.resize(width + 1, ' ');
    m_headings << FromGbk(title);
  }
  endResetModel();
}

int CDataListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rowCount;
}

int CDataListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_headings.size());
}

QVariant CDataListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rowCount) return {};
  if (index.column() == 0) return QString::number(index.row() + 1);
  if (m_cells == nullptr) return QString();
  char cell[kCellBufferSize];
  if (!GetCell(*m_cells, index.row() + 1, index.column(), cell)) return QString();
  return FromGbk(cell);
}

QVariant CDataListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= m_headings.size()) return {};
  if (role == Qt::DisplayRole) return m_headings[section];
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  return {};
}

}  // namespace tabrelium
