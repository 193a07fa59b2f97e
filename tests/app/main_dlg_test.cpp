// The main dialog's workflow on Qt's offscreen platform: loading, the
// separator and start-line choices, the preview following the selection,
// the grid's round trip, the messages, and closing.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include "app/data_list_view.h"
#include "app/gbk_text.h"
#include "config/config_file.h"
#include "app/edit_grid_ctrl.h"
#include "app/in_place_edit.h"
#include "tests/app/window_test_support.h"

using namespace tabrelium;
using namespace tabrelium::testing;

namespace {

template <typename T>
T* Control(const CMainDlg& dialog, const char* id) {
  return dialog.findChild<T*>(QString::fromLatin1(id));
}

// Picks `item` of a combo as the user does.
void Choose(QComboBox* combo, int item) {
  combo->setCurrentIndex(item);
  emit combo->activated(item);
}

void LoadThroughBrowse(OpenedDialog& d, const QString& path) {
  d.chooser->answers << path;
  QTest::mouseClick(Control<QPushButton>(*d.dialog, "1001"), Qt::LeftButton);
}

}  // namespace

class MainDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTheDesignedControls() {
    OpenedDialog d;
    const CMainDlg& dlg = *d.dialog;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Tabrelium(泰布林)V1.33"));
    QCOMPARE(Control<QPushButton>(dlg, "1001")->text(), QStringLiteral("Browse..(浏览..)"));
    QCOMPARE(Control<QPushButton>(dlg, "1011")->text(), QStringLiteral("Startup download(启动下载)"));
    QCOMPARE(Control<QPushButton>(dlg, "1016")->text(), QStringLiteral("Refresh display(刷新显示)"));
    QCOMPARE(Control<QLabel>(dlg, "1017")->text(), QStringLiteral(" 0 B"));
    QCOMPARE(Control<QLabel>(dlg, "1018")->text(), QStringLiteral(" 0%"));
    for (const char* id : {"1000", "1004", "1005", "1006", "1007", "1010", "1013", "1014"})
      QVERIFY2(dlg.findChild<QWidget*>(QString::fromLatin1(id)) != nullptr, id);
    QCOMPARE(Control<QComboBox>(dlg, "1006")->count(), 9);
    QCOMPARE(Control<QComboBox>(dlg, "1005")->count(), 7);
    // The data list before any load: twelve columns, no rows.
    QAbstractItemModel* model = dlg.DataList()->model();
    QCOMPARE(model->columnCount(), 12);
    QCOMPARE(model->rowCount(), 0);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("row(行)\\col(列)"));
    QCOMPARE(model->headerData(11, Qt::Horizontal).toString(), QStringLiteral("   11   "));
    // The default fields, in the grid.
    QCOMPARE(dlg.Grid()->rowCount(), 32);
    QCOMPARE(dlg.Grid()->GetItemText(0, 0), QStringLiteral("  1 "));
    QCOMPARE(dlg.Grid()->GetItemText(0, 1), QStringLiteral("条码"));
    QCOMPARE(dlg.Grid()->GetItemText(1, 3), QStringLiteral("2"));
    // The window keeps its designed proportions (664 x 396 dialog units).
    const double ratio = double(dlg.width()) / dlg.height();
    QVERIFY2(ratio > 1.2 && ratio < 2.6, qPrintable(QString::number(ratio)));
  }

  void loadingTheExampleShowsItsRowsAndPreviewsTheFirstRecord() {
    OpenedDialog d;
    LoadThroughBrowse(d, ExampleFile());
    QVERIFY(d.sink->shown.empty());
    QCOMPARE(Control<QLineEdit>(*d.dialog, "1000")->text(), ExampleFile());
    QCOMPARE(Control<QLabel>(*d.dialog, "1018")->text(), QStringLiteral(" 0 %"));
    QCOMPARE(Control<QComboBox>(*d.dialog, "1005")->currentText(), QStringLiteral(","));
    QAbstractItemModel* model = d.dialog->DataList()->model();
    QCOMPARE(model->rowCount(), 40);  // the heading line is skipped
    QCOMPARE(model->columnCount(), 4);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("r\\c"));
    QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("1"));
    QCOMPARE(model->data(model->index(0, 1)).toString(), QStringLiteral("6952601815900"));
    QCOMPARE(model->data(model->index(0, 2)).toString(), QStringLiteral("农夫山泉矿泉水550ml"));
    // Column 1 holds 13-byte barcodes: its heading is "1" and 13 spaces.
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("1") + QString(13, ' '));
    QCOMPARE(PreviewLines(*d.dialog),
             QStringList({QStringLiteral("条码:6952601815900"), QStringLiteral("名称:农夫山泉矿泉水5"),
                          QStringLiteral("50ml")}));
    QCOMPARE(PreviewRowCounts(*d.dialog),
             QStringList({QStringLiteral("  1"), QStringLiteral("  2"), QString()}));
    // The next file dialog opens where this file was.
    d.chooser->answers.clear();
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1001"), Qt::LeftButton);
    QCOMPARE(d.chooser->folders.last(), QFileInfo(ExampleFile()).absolutePath());
  }

  void selectingAndMovingThroughRowsPreviewsEachRecord() {
    OpenedDialog d;
    LoadThroughBrowse(d, ExampleFile());
    CDataListView* list = d.dialog->DataList();
    list->SelectRow(2);
    QCOMPARE(PreviewLines(*d.dialog).first(), QStringLiteral("条码:6991390996032"));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(PreviewLines(*d.dialog).first(), QStringLiteral("条码:6982462819489"));
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(PreviewLines(*d.dialog).first(), QStringLiteral("条码:6930166131864"));
    // A click on a row previews it too.
    const QRect third = list->visualRect(list->model()->index(2, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(PreviewLines(*d.dialog).first(), QStringLiteral("条码:6991390996032"));
  }

  void separatorAndStartLineChoicesCutTheTextAgain() {
    OpenedDialog d;
    LoadThroughBrowse(d, ExampleFile());
    QAbstractItemModel* model = d.dialog->DataList()->model();
    // TAB finds one field per line: a single column holding whole lines.
    Choose(Control<QComboBox>(*d.dialog, "1005"), 0);
    QCOMPARE(model->columnCount(), 2);
    QCOMPARE(model->data(model->index(0, 1)).toString(),
             QStringLiteral("6952601815900,农夫山泉矿泉水550ml,84.63"));
    // The name field's column 2 is gone: no record of the old cut is shown,
    // and the worker is told which row and why.
    QVERIFY(PreviewLines(*d.dialog).isEmpty());
    QVERIFY(d.sink->Texts().last().section(u'\n', 1, 1).startsWith(
        QStringLiteral("row 2: column 2, but the file has 1 column(s); ")));
    // Start line "1": the heading line becomes the first record.
    Choose(Control<QComboBox>(*d.dialog, "1006"), 0);
    QCOMPARE(d.dialog->Fields().startLine, 0);
    QCOMPARE(model->rowCount(), 41);
    QCOMPARE(model->data(model->index(0, 1)).toString(), QStringLiteral("条码,名称,价格"));
  }

  // After every rebuild of the list the preview shows the record that is
  // highlighted, and nothing when none is or the fields do not fit.
  void thePreviewAlwaysShowsTheHighlightedRecord() {
    OpenedDialog d;
    QTemporaryDir dir;
    LoadThroughBrowse(d, ExampleFile());
    CDataListView* list = d.dialog->DataList();
    auto highlighted = [&] { return list->selectionModel()->selectedRows().value(0).row(); };
    auto click = [&](int row) {
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                        list->visualRect(list->model()->index(row, 1)).center());
    };
    QCOMPARE(highlighted(), 0);
    for (int startLine : {0, 2}) {
      Choose(Control<QComboBox>(*d.dialog, "1006"), startLine);
      QCOMPARE(highlighted(), 0);
      QCOMPARE(PreviewLines(*d.dialog).first(),
               QStringLiteral("条码:") + list->model()->index(0, 1).data().toString());
      click(0);  // the first click on the highlighted record keeps showing it
      QCOMPARE(PreviewLines(*d.dialog).first(),
               QStringLiteral("条码:") + list->model()->index(0, 1).data().toString());
      click(3);
      QCOMPARE(PreviewLines(*d.dialog).first(),
               QStringLiteral("条码:") + list->model()->index(3, 1).data().toString());
    }
    // Ctrl+click takes the highlight away: the preview empties.
    click(3);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      list->visualRect(list->model()->index(3, 1)).center());
    if (highlighted() < 0) QVERIFY(PreviewLines(*d.dialog).isEmpty());
    // Refresh shows the highlighted record, not record 1.
    click(5);
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1016"), Qt::LeftButton);
    QCOMPARE(highlighted(), 5);
    QCOMPARE(PreviewLines(*d.dialog).first(),
             QStringLiteral("条码:") + list->model()->index(5, 1).data().toString());
    // A file the fields do not fit shows no product of the file before.
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("one.csv"), "h\r\nx\r\ny\r\n"));
    QVERIFY(d.sink->Texts().last().startsWith(QStringLiteral("Configuration error(请检查配置信息)\n")));
    QVERIFY(PreviewLines(*d.dialog).isEmpty());
  }

  void theStartLineListShowsTheStartLineInForce() {
    OpenedDialog d;
    LoadThroughBrowse(d, ExampleFile());
    QComboBox* startLine = Control<QComboBox>(*d.dialog, "1006");
    QCOMPARE(startLine->currentText(), QStringLiteral("2"));  // one heading line skipped
    Choose(startLine, 0);
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1016"), Qt::LeftButton);
    QCOMPARE(startLine->currentText(), QStringLiteral("1"));  // none skipped
    Choose(startLine, 2);  // "3": two heading lines
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1016"), Qt::LeftButton);
    QCOMPARE(startLine->currentText(), QStringLiteral("3"));
    QAbstractItemModel* model = d.dialog->DataList()->model();
    QCOMPARE(model->data(model->index(0, 1)).toString(), QStringLiteral("6930166131864"));
    Choose(startLine, 2);  // "3" again is the same start line: nothing is cut again
    QCOMPARE(d.dialog->Fields().startLine, 2);
    QCOMPARE(model->rowCount(), 39);
  }

  // A start line beyond a short file is lowered for that file only: the
  // user's start line is kept, saved and used for the next file.
  void aStartLineBeyondAShortFileIsLoweredForThatFileOnly() {
    OpenedDialog d;
    QTemporaryDir dir;
    QComboBox* startLine = Control<QComboBox>(*d.dialog, "1006");
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("one.csv"), "a,b\r\n"));
    QCOMPARE(startLine->currentText(), QStringLiteral("1"));  // the only line is the record
    QCOMPARE(d.dialog->Fields().startLine, 1);
    LoadThroughBrowse(d, ExampleFile());
    QCOMPARE(startLine->currentText(), QStringLiteral("2"));
    QCOMPARE(d.dialog->DataList()->model()->rowCount(), 40);  // the heading is no record

    Choose(startLine, 8);  // "9"
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("short.csv"), "a,b\r\nc,d\r\ne,f\r\n"));
    QCOMPARE(startLine->currentIndex(), 2);
    QCOMPARE(d.dialog->DataList()->model()->rowCount(), 1);
    QVERIFY(d.dialog->close());
    FieldTable saved{};
    QVERIFY(LoadFieldConfig(d.dialog->ConfigPath().toStdString(), saved));
    QCOMPARE(saved.startLine, 8);
  }

  void refreshShowsTheHighlightedRecordWithTheGridsFields() {
    OpenedDialog d;
    LoadThroughBrowse(d, ExampleFile());
    d.dialog->DataList()->SelectRow(5);
    CEditGridCtrl* grid = d.dialog->Grid();
    grid->SetItemText(0, 1, QString());  // the barcode field is emptied ...
    grid->SetItemText(3, 1, QStringLiteral("价格"));
    grid->SetItemText(3, 2, QStringLiteral("3"));
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1016"), Qt::LeftButton);
    // ... and dropped; the row-4 field becomes the second.
    QCOMPARE(d.dialog->Fields().fieldCount, 2);
    QCOMPARE(grid->GetItemText(0, 1), QStringLiteral("名称"));
    QCOMPARE(grid->GetItemText(1, 1), QStringLiteral("价格"));
    QCOMPARE(grid->GetItemText(1, 3), QStringLiteral("1"));  // empty rows text counts as 1
    QCOMPARE(grid->GetItemText(3, 1), QString());
    // The highlighted record, with the grid's fields.
    QCOMPARE(PreviewLines(*d.dialog),
             QStringList({QStringLiteral("名称:伊利纯牛奶250ml"), QString(),
                          QStringLiteral("价格:30.95")}));
  }

  void withoutDataRefreshAndDownloadAskForAFile() {
    OpenedDialog d;
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1016"), Qt::LeftButton);
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1011"), Qt::LeftButton);
    const QString ask = QStringLiteral("Please select the data file first(请先选择数据文件)");
    QCOMPARE(d.sink->Texts(), QStringList({ask, ask}));
    // The preview does nothing before a load, even for a broken grid.
    d.dialog->Grid()->SetItemText(0, 3, QStringLiteral("0"));
    d.dialog->ShowLcdPreview(1);
    QCOMPARE(d.sink->shown.size(), size_t{2});
  }

  void anInvalidConfigurationIsReportedAndNothingIsPreviewed() {
    OpenedDialog d;
    LoadThroughBrowse(d, ExampleFile());
    const QStringList before = PreviewLines(*d.dialog);
    d.dialog->Grid()->SetItemText(0, 2, QStringLiteral("9"));  // the file has 3 columns
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1016"), Qt::LeftButton);
    QCOMPARE(d.sink->Texts().size(), 1);
    QVERIFY(d.sink->Texts()[0].startsWith(
        QStringLiteral("Configuration error(请检查配置信息)\n"
                       "row 1: column 9, but the file has 3 column(s); ")));
    QVERIFY(!before.isEmpty());
    QVERIFY(PreviewLines(*d.dialog).isEmpty());
    QCOMPARE(d.dialog->Grid()->GetItemText(0, 2), QStringLiteral("9"));  // no refill
    // A start press with the same grid is refused the same way.
    QTest::mouseClick(Control<QPushButton>(*d.dialog, "1011"), Qt::LeftButton);
    QCOMPARE(d.sink->shown.size(), size_t{2});
    QVERIFY(!d.dialog->IsDownloadThreadRunning());
  }

  void filesAreReadByTheirExtensionInAnyCase() {
    OpenedDialog d;
    QTemporaryDir dir;
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("data.dat"), "a,b\r\nc,d\r\n"));
    // The types that are read are named.
    QCOMPARE(d.sink->Texts().size(), 1);
    QVERIFY(d.sink->Texts()[0].startsWith(QStringLiteral(
        "Invalid data file(无效数据文件)\nFiles of type .dat are not read; the data file must be "
        "txt, csv, xls, xlsx, ods or dbf(")));
    QVERIFY(Control<QLineEdit>(*d.dialog, "1000")->text().isEmpty());
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("data.TXT"), "h1,h2\r\nc,d\r\ne,f\r\n"));
    QCOMPARE(d.sink->shown.size(), size_t{1});
    QCOMPARE(d.dialog->DataList()->model()->rowCount(), 2);
    // A failed load keeps what was loaded.
    LoadThroughBrowse(d, dir.filePath(QStringLiteral("missing.csv")));
    QCOMPARE(d.sink->shown.size(), size_t{2});
    QCOMPARE(d.dialog->DataList()->model()->rowCount(), 2);
    QVERIFY(Control<QLineEdit>(*d.dialog, "1000")->text().endsWith(QStringLiteral("data.TXT")));
  }

  void anEmptiedFileLeavesNoGhostRows() {
    OpenedDialog d;
    QTemporaryDir dir;
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("a.csv"), "h1,h2\r\nc,d\r\ne,f\r\n"));
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("empty.csv"), ""));
    QCOMPARE(d.sink->Texts(), QStringList({QStringLiteral("Invalid data file(无效数据文件)")}));
    QCOMPARE(d.dialog->DataList()->model()->rowCount(), 0);
  }

  void silentLossesAreTold() {
    OpenedDialog d;
    QTemporaryDir dir;
    const QByteArray longCell(70, 'x');
    LoadThroughBrowse(d, WriteFile(dir, QStringLiteral("long.csv"), "h1,h2\r\n1,x\r\n2," + longCell + "\r\n"));
    QCOMPARE(d.sink->shown.size(), size_t{1});
    QVERIFY(d.sink->shown[0].text.contains(QStringLiteral("longer than 63 bytes were cut")));
    QVERIFY(d.sink->shown[0].text.contains(QStringLiteral("(1个单元格超过63字节已被截断,第一个在第2行第2列)")));
    QCOMPARE(d.sink->shown[0].icon, MessageIcon::kWarning);
  }

  void aDroppedFileLoadsAsBrowseWould() {
    OpenedDialog d;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(ExampleFile())});
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(d.dialog.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(d.dialog.get(), &drop);
    QCOMPARE(d.dialog->DataList()->model()->rowCount(), 40);
  }

  // About and Help open their boxes: tests/app/window_layout_test.cpp.
  void enterAndEscapeDoNothing() {
    OpenedDialog d;
    QTest::keyClick(d.dialog.get(), Qt::Key_Escape);
    QTest::keyClick(d.dialog.get(), Qt::Key_Return);
    QTest::keyClick(d.dialog.get(), Qt::Key_Enter);
    QVERIFY(d.dialog->isVisible());
    QCOMPARE(d.dialog->result(), 0);
    QVERIFY(d.sink->shown.empty());
  }

  void closingSavesTheGridsFields() {
    OpenedDialog d;
    CEditGridCtrl* grid = d.dialog->Grid();
    grid->SetItemText(2, 1, QStringLiteral("单价"));
    grid->SetItemText(2, 2, QStringLiteral("3"));
    grid->SetItemText(2, 3, QStringLiteral("1"));
    QVERIFY(d.dialog->close());
    QVERIFY(!d.dialog->isVisible());
    FieldTable saved{};
    QVERIFY(LoadFieldConfig(d.dialog->ConfigPath().toStdString(), saved));
    QCOMPARE(saved.fieldCount, 3);
    QCOMPARE(FromGbk(saved.fields[2].displayName), QStringLiteral("单价"));
    QCOMPARE(int(saved.fields[2].extractColn), 3);
    // The next window opens with them.
    CMainDlg again(std::make_unique<ScriptedChooser>(), std::make_unique<RecordingSink>());
    QCOMPARE(again.Grid()->GetItemText(2, 1), QStringLiteral("单价"));
  }

  void aFailedSaveOnCloseIsToldNotSilent() {
    OpenedDialog d;
    // A folder where the file should be: no save can replace it.
    QFile::remove(d.dialog->ConfigPath());
    QVERIFY(QDir().mkpath(d.dialog->ConfigPath()));
    QVERIFY(d.dialog->close());
    QCOMPARE(d.sink->Texts().size(), 1);
    QVERIFY(d.sink->Texts().front().startsWith(
        QStringLiteral("The configuration could not be saved(配置无法保存)\n")));
  }

  void textStillBeingTypedIsSavedOnClose() {
    OpenedDialog d;
    CEditGridCtrl* grid = d.dialog->Grid();
    QApplication::setActiveWindow(d.dialog.get());
    const QRect cell = grid->visualRect(grid->model()->index(2, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QLineEdit* box = CInPlaceEdit::Instance()->Window();
    QVERIFY(box != nullptr);
    QInputMethodEvent typed;  // Chinese comes in through the input method
    typed.setCommitString(QStringLiteral("库存"));
    QCoreApplication::sendEvent(box, &typed);
    QCOMPARE(box->text(), QStringLiteral("库存"));
    QVERIFY(d.dialog->close());
    FieldTable saved{};
    QVERIFY(LoadFieldConfig(d.dialog->ConfigPath().toStdString(), saved));
    QCOMPARE(saved.fieldCount, 3);
    QCOMPARE(FromGbk(saved.fields[2].displayName), QStringLiteral("库存"));
    QCOMPARE(int(saved.fields[2].extractColn), 0);  // an empty column text counts as 0
  }
};

QTEST_MAIN(MainDlgTest)
#include "main_dlg_test.moc"
