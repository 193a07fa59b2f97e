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
#include <QProgressBar>
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
  m_progressBar->hide();  // a new file: the last download's ending is told no more
  m_strDataFile = path;
  m_lastFolder = QFileInfo(path).absolutePath();

  // The list shows the separator the text was just cut with, not the one
  // chosen before the detection.
  SelectComboItem(m_comboSeparator, m_session.Fields().separatorIndex);
  ShowStartLineInForce();
  m_bDataLoaded = 1;
  RebuildDataColumns();
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
  const bool cut = m_session.ChooseStartLine(item);
  // A start line beyond a short file is lowered for it: the list says so.
  ShowStartLineInForce();
  if (!cut) return;
  RebuildDataColumns();
  m_listData->viewport()->update();
}

void CMainDlg::ShowStartLineInForce() {
  SelectComboItem(m_comboStartLine, m_session.StartLineInForce());
}

void CMainDlg::RebuildDataColumns() {
  m_dataModel->Rebuild(m_session.Cells());
  SizeDataColumnsToHeadings();
  // The rebuilt list highlights nothing; its first record is highlighted
  // and previewed, so the preview never shows a record of the text before.
  m_previewedRow = -2;
  m_listData->SelectRow(0);
  ShowHighlightedRecord();
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

void CMainDlg::OnItemchangedDataList(int) {
  // The highlight, not the current row, is what the worker sees chosen.
  ShowHighlightedRecord();
}

void CMainDlg::ShowHighlightedRecord(bool force) {
  const QModelIndexList highlighted = m_listData->selectionModel()->selectedRows();
  const int row = highlighted.isEmpty() ? -1 : highlighted.front().row();
  // A click tells of the new row twice (current and selection): one preview,
  // and one message when the fields do not fit.
  if (row == m_previewedRow && !force) return;
  m_previewedRow = row;
  if (row < 0 || m_strDataFile.isEmpty()) {
    m_listLcd->clear();
    return;
  }
  ShowLcdPreview(row + 1);
}

void CMainDlg::ShowLcdPreview(int32_t record) {
  if (m_bDataLoaded == 0) return;
  if (!CheckFieldsFromGrid()) {
    // No record can be shown with these fields: an old one would mislead.
    m_listLcd->clear();
    return;
  }
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
  ShowStartLineInForce();

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

void CMainDlg::SaveConfiguration() {
  if (m_strConfigPath.isEmpty()) return;
  ReadFieldsFromGrid();  // saved whether or not they fit the data
  // The window may be going away; the worker must know the grid's edits
  // are not kept.
  if (const Status saved = m_session.SaveConfiguration(m_strConfigPath.toStdString()); !saved.ok())
    Message(FromUtf8(texts::ConfigurationNotSavedText(saved.message())),
            FromUtf8(texts::kErrorCaption), MessageIcon::kStop);
}

bool CMainDlg::PrepareFieldsForUse() {
  if (m_strDataFile.isEmpty()) {
    Message(FromUtf8(texts::kSelectDataFileFirst));
    return false;
  }
  if (!CheckFieldsFromGrid()) {
    m_listLcd->clear();
    m_previewedRow = -2;
    return false;
  }
  FillGridFromFields();
  return true;
}

void CMainDlg::OnRefreshDisplay() {
  if (!PrepareFieldsForUse()) return;
  // The highlighted record with the grid's fields; record 1 when none is.
  if (m_listData->selectionModel()->selectedRows().isEmpty()) m_listData->SelectRow(0);
  ShowHighlightedRecord(true);
}

}  // namespace tabrelium
