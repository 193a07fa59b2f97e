// The data list's model: the loaded CellTable as rows of records, column 0
// the 1-based record number and column c the table's column c. It stores no
// texts; each visible cell is produced on request, so a table of any size is
// shown without copying it.
//
// Thread-safety: UI thread only; the cell table and the text it points into
// must not change between Rebuild() calls.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

namespace tabrelium {

struct CellTable;

class CDataListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit CDataListModel(QObject* parent = nullptr);

  // The list as the window opens: twelve columns, no rows.
  void ShowInitialColumns();
  // The columns and rows of `cells` (kept by reference until the next call).
  void Rebuild(const CellTable& cells);
  // The headings as the window's columns show them (padded to each
  // column's longest cell, the number column to the last record number).
  const QStringList& Headings() const { return m_headings; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  const CellTable* m_cells = nullptr;
  int m_rowCount = 0;
  QStringList m_headings;
};

}  // namespace tabrelium
