// The main dialog's data side: choosing and loading a data file, the
// separator and start-line choices, the data list and the LCD preview, and
// the fields' trips between the session and the grid.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QLabel>
#include <QTreeWidget>

#include "app/data_list_model.h"
#include "app/data_list_view.h"
#include "app/edit_grid_ctrl.h"
#include "app/gbk_text.h"
#include "app/in_place_edit.h"
#include "app/main_dlg.h"
#include "common/user_texts.h"

namespace tabrelium {
namespace {

// An item beyond the list (a hand-edited configuration) selects nothing.
void SelectComboItem(QComboBox* combo, int item) {
  combo->setCurrentIndex(item >= 0 && item < combo->count() ? item : -1);
}

}  // namespace

void CMainDlg::OnBrowse() {
  const QString path = m_fileChooser->ChooseDataFile(this, m_lastFolder);
  if (path.isEmpty()) return;
  OpenDataFile(path);
}

bool CMainDlg::OpenDataFile(const QString& chosenPath) {
  // The path label and the file dialog's next folder need the full path,
  // also for a name given relative on the command line.
  const QString path = chosenPath.isEmpty() ? chosenPath : QFileInfo(chosenPath).absoluteFilePath();
  const int32_t rowsBefore = GetRowCount(m_session.Cells());
  if (Status loaded = m_session.LoadDataFile(QFile::encodeName(path).toStdString()); !loaded.ok()) {
    // An error value is the file's own fault, told with a stop icon.
    const bool stop = loaded.code() == Status::Code::kErrorValue;
    Message(FromUtf8(loaded.message()), QString(), stop ? MessageIcon::kStop : MessageIcon::kNone);
    // A failed load may have emptied the table (an empty file, a worksheet
    // that broke off): the list must not go on showing rows that are gone.
    if (GetRowCount(m_session.Cells()) != rowsBefore) RebuildDataColumns();
    return false;
  }
  m_editDataFile->setText(QDir::toNativeSeparators(path));
  m_labelSize->setText(QStringLiteral(" 0 B"));
  m_labelProgress->setText(QStringLiteral(" 0 %"));
  m_strDataFile = path;
  m_lastFolder = QFileInfo(path).absolutePath();

  // The list shows the separator the text was just cut with, not the one
  // chosen before the detection.
  SelectComboItem(m_comboSeparator, m_session.Fields().separatorIndex);
  if (m_session.StartLineLowered())
    SelectComboItem(m_comboStartLine, m_session.Fields().startLine);
  m_bDataLoaded = 1;
  RebuildDataColumns();
  ShowLcdPreview(1);
  TellLoadLosses();
  return true;
}

void CMainDlg::TellLoadLosses() {
  QStringList losses;
  for (const std::string& loss : m_session.LossTexts()) losses << FromUtf8(loss);
  if (!losses.isEmpty()) Message(losses.join(QStringLiteral("\n")), QString(), MessageIcon::kWarning);
}

void CMainDlg::OnSelchangeSeparator(int item) {
  if (!m_session.ChooseSeparator(item)) return;
  RebuildDataColumns();
  m_listData->viewport()->update();
}

void CMainDlg::OnSelchangeStartLine(int item) {
  if (!m_session.ChooseStartLine(item)) return;
  if (m_session.StartLineLowered())
    SelectComboItem(m_comboStartLine, m_session.Fields().startLine);
  RebuildDataColumns();
  m_listData->viewport()->update();
}

void CMainDlg::RebuildDataColumns() {
  m_dataModel->Rebuild(m_session.Cells());
  SizeDataColumnsToHeadings();
}

void CMainDlg::SizeDataColumnsToHeadings() {
  // Widths come from the padded headings alone, never from the rows: a
  // heading padded to its column's longest cell leaves room for it. A space
  // is narrower than a digit in most fonts, so each byte counts as a digit.
  const QFontMetrics metrics = m_listData->header()->fontMetrics();
  const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
  const QStringList& headings = m_dataModel->Headings();
  for (int i = 0; i < headings.size(); ++i) {
    const QString& heading = headings[i];
    const int bytes = static_cast<int>(ToGbk(heading).size());
    const int width = std::max(metrics.horizontalAdvance(heading), digit * bytes);
    m_listData->SetColumnWidth(i, width + 2 * metrics.averageCharWidth());
  }
}

void CMainDlg::OnItemchangedDataList(int row) {
  if (m_strDataFile.isEmpty() || row < 0) return;
  // Only a row that became both current and selected is previewed.
  const QModelIndex index = m_dataModel->index(row, 0);
  if (!m_listData->selectionModel()->isSelected(index)) return;
  ShowLcdPreview(row + 1);
}

void CMainDlg::ShowLcdPreview(int32_t record) {
  if (m_bDataLoaded == 0) return;
  if (!CheckFieldsFromGrid()) return;
  if (record < 1 || record > GetRowCount(m_session.Cells())) return;
  m_listLcd->clear();
  for (const LcdLine& line : m_session.DescribeRecord(record)) {
    auto* item = new QTreeWidgetItem(m_listLcd);
    item->setText(0, FromGbk(line.rowsText));
    item->setText(1, FromGbk(line.text));
    item->setFont(1, m_lcdFont);
  }
}

bool CMainDlg::CheckFieldsFromGrid() {
  const Status fit = ReadFieldsFromGrid();
  if (fit.ok()) return true;
  Message(FromUtf8(fit.message()));
  return false;
}

void CMainDlg::FillGridFromFields() {
  const FieldTable& fields = m_session.Fields();
  SelectComboItem(m_comboSeparator, fields.separatorIndex);
  SelectComboItem(m_comboStartLine, fields.startLine == 0 ? 0 : fields.startLine - 1);

  m_gridConfig->ClearReadOnlyColumns();
  m_gridConfig->DeleteAllItems();
  const FieldGridTexts texts = m_session.GridTexts();
  for (int i = 0; i < kMaxFields; ++i) {
    m_gridConfig->InsertItem(i, QStringLiteral("  %1 ").arg(i + 1));
    if (i >= fields.fieldCount) continue;
    m_gridConfig->SetItemText(i, 1, FromGbk(texts[i].displayName));
    m_gridConfig->SetItemText(i, 2, FromGbk(texts[i].extractColn));
    m_gridConfig->SetItemText(i, 3, FromGbk(texts[i].displayRows));
  }
  m_gridConfig->SetReadOnlyColumn(0, true);
}

Status CMainDlg::ReadFieldsFromGrid() {
  // An edit in progress ends here, its text written into the cell first.
  if (CInPlaceEdit* editor = CInPlaceEdit::Instance(); editor != nullptr && editor->HasWindow())
    editor->DestroyWindow();
  FieldGridTexts texts;
  for (int i = 0; i < kMaxFields; ++i) {
    texts[i].displayName = ToGbk(m_gridConfig->GetItemText(i, 1));
    texts[i].extractColn = ToGbk(m_gridConfig->GetItemText(i, 2));
    texts[i].displayRows = ToGbk(m_gridConfig->GetItemText(i, 3));
  }
  return m_session.ApplyGridTexts(texts);
}

bool CMainDlg::PrepareFieldsForUse() {
  if (m_strDataFile.isEmpty()) {
    Message(FromUtf8(texts::kSelectDataFileFirst));
    return false;
  }
  if (!CheckFieldsFromGrid()) return false;
  FillGridFromFields();
  return true;
}

void CMainDlg::OnRefreshDisplay() {
  if (!PrepareFieldsForUse()) return;
  ShowLcdPreview(1);
}

}  // namespace tabrelium
