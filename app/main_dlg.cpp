#include "app/main_dlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "app/data_list_model.h"
#include "app/data_list_view.h"
#include "app/dialog_units.h"
#include "app/gbk_text.h"
#include "app/ui_thread_call.h"
#include "app/edit_grid_ctrl.h"
#include "app/window_fonts.h"
#include "common/user_texts.h"
#include "config/config_file.h"
#include "device/hid_link.h"

namespace tabrelium {
namespace {

// The dialog as designed, in dialog units.
constexpr int kDialogWidth = 664;
constexpr int kDialogHeight = 396;

// The grid's column widths were designed in pixels of a font whose average
// character is 6 pixels wide; they scale with the dialog font.
constexpr int kDesignedBaseX = 6;

QLabel* AddLabel(QWidget* parent, const DialogUnits& du, const QString& text, QRect units) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(du.ToPixels(units.x(), units.y(), units.width(), units.height()));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QPushButton* AddButton(QWidget* parent, const DialogUnits& du, const char* id, const QString& text,
                       QRect units) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(id));
  button->setGeometry(du.ToPixels(units.x(), units.y(), units.width(), units.height()));
  // The dialog has no default button: Enter presses nothing.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

// A drop-down list; the designed height is that of the open list.
QComboBox* AddCombo(QWidget* parent, const DialogUnits& du, const char* id, QRect units) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QString::fromLatin1(id));
  const QRect open = du.ToPixels(units.x(), units.y(), units.width(), units.height());
  const int height = combo->sizeHint().height();
  combo->setGeometry(open.x(), open.y(), open.width(), height);
  const int itemHeight = combo->fontMetrics().height() + 2;
  combo->setMaxVisibleItems(std::max(1, (open.height() - height) / std::max(1, itemHeight)));
  return combo;
}

void AddGreyRule(QWidget* parent, const DialogUnits& du, int x, int y, int width) {
  auto* rule = new QFrame(parent);
  QRect r = du.ToPixels(x, y, width, 1);
  r.setHeight(std::max(1, r.height()));
  rule->setGeometry(r);
  rule->setFrameShape(QFrame::NoFrame);
  rule->setAutoFillBackground(true);
  QPalette palette = rule->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Mid));
  rule->setPalette(palette);
}

QString Utf8(std::string_view text) { return FromUtf8(text); }

}  // namespace

CMainDlg::CMainDlg(std::unique_ptr<CFileChooser> chooser, std::unique_ptr<CMessageSink> messageSink,
                   QWidget* parent)
    : QDialog(parent),
      m_fileChooser(chooser ? std::move(chooser) : std::make_unique<CQtFileChooser>()),
      m_messageSink(messageSink ? std::move(messageSink) : std::make_unique<CQtMessageSink>()) {
  m_uiCall = new CUiThreadCall(this);
  // The device speaks every few milliseconds; after this long the worker
  // is told it is not answering (the download goes on, Stop stays open).
  m_silenceNotice = std::chrono::seconds(5);
  CreateControls();
  OnInitDialog();
}

CMainDlg::~CMainDlg() {
  // The download thread calls back into the dialog: it must be gone first.
  if (IsDownloadThreadRunning()) {
    m_bClosing = true;
    m_hStopEvent.Set();
    QEventLoop loop;
    connect(this, &CMainDlg::DownloadThreadEnded, &loop, &QEventLoop::quit);
    if (IsDownloadThreadRunning()) loop.exec();
  }
}

void CMainDlg::CreateControls() {
  setWindowTitle(QStringLiteral("Tabrelium(泰布林)V1.33"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowIcon(AppIcon());
  setFont(DialogFont());
  setAcceptDrops(true);
  const DialogUnits du(font());
  setFixedSize(du.X(kDialogWidth), du.Y(kDialogHeight));

  AddLabel(this, du, QStringLiteral("DataFile(数据文件)"), {12, 22, 76, 11});
  m_editDataFile = new QLineEdit(this);
  m_editDataFile->setObjectName(QStringLiteral("1000"));
  m_editDataFile->setReadOnly(true);
  m_editDataFile->setGeometry(du.ToPixels(90, 22, 451, 12));
  m_btnBrowse = AddButton(this, du, "1001", QStringLiteral("Browse..(浏览..)"), {556, 18, 95, 18});

  AddLabel(this, du, QStringLiteral("Config(配置)"), {11, 51, 53, 10});
  m_gridConfig = new CEditGridCtrl(this);
  m_gridConfig->setObjectName(QStringLiteral("1004"));
  m_gridConfig->setGeometry(du.ToPixels(8, 67, 515, 118));

  AddLabel(this, du, QStringLiteral("Separator(分隔符号):"), {15, 202, 81, 8});
  m_comboSeparator = AddCombo(this, du, "1005", {102, 198, 96, 127});
  AddLabel(this, du, QStringLiteral("StartLine(起始行号):"), {275, 201, 80, 10});
  m_comboStartLine = AddCombo(this, du, "1006", {363, 200, 96, 127});
  for (int i = 1; i <= 9; ++i) m_comboStartLine->addItem(QString::number(i));

  m_dataModel = new CDataListModel(this);
  m_listData = new CDataListView(this);
  m_listData->setObjectName(QStringLiteral("1007"));
  m_listData->setGeometry(du.ToPixels(7, 225, 454, 164));
  m_listData->setModel(m_dataModel);

  m_btnDownload = AddButton(this, du, "1011", Utf8(texts::kStartDownload), {531, 70, 120, 22});
  // About and Help have never done anything when pressed.
  AddButton(this, du, "1013", QStringLiteral("About(关于)"), {533, 135, 120, 18});
  AddButton(this, du, "1014", QStringLiteral("Help(帮助)"), {534, 162, 120, 17});
  AddGreyRule(this, du, 9, 48, 648);
  AddGreyRule(this, du, 7, 192, 650);
  AddGreyRule(this, du, 7, 219, 650);

  m_lcdFont = LcdFont();
  m_listLcd = new QTreeWidget(this);
  m_listLcd->setObjectName(QStringLiteral("1010"));
  m_listLcd->setGeometry(du.ToPixels(466, 225, 191, 164));
  m_listLcd->setRootIsDecorated(false);
  m_listLcd->setUniformRowHeights(true);
  m_listLcd->setSelectionMode(QAbstractItemView::SingleSelection);
  m_listLcd->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_listLcd->setEditTriggers(QAbstractItemView::NoEditTriggers);

  AddButton(this, du, "1016", QStringLiteral("Refresh display(刷新显示)"), {507, 198, 121, 18});
  AddLabel(this, du, QStringLiteral("Size(大小):"), {533, 101, 47, 14});
  AddLabel(this, du, QStringLiteral("Prog(进度):"), {534, 117, 47, 14});
  m_labelSize = AddLabel(this, du, QStringLiteral(" 0 B"), {583, 101, 58, 9});
  m_labelSize->setObjectName(QStringLiteral("1017"));
  m_labelProgress = AddLabel(this, du, Utf8(texts::kProgressAtStart), {583, 121, 58, 9});
  m_labelProgress->setObjectName(QStringLiteral("1018"));

  // While a download runs: a thin bar under the progress label, and the
  // time left in the free space above Refresh.
  m_progressBar = new QProgressBar(this);
  m_progressBar->setObjectName(QStringLiteral("downloadProgressBar"));
  m_progressBar->setGeometry(du.ToPixels(534, 131, 117, 3));
  m_progressBar->setRange(0, 1000);
  m_progressBar->setTextVisible(false);
  m_progressBar->hide();
  m_labelTimeLeft = AddLabel(this, du, QString(), {534, 182, 117, 9});
  m_labelTimeLeft->setObjectName(QStringLiteral("downloadTimeLeft"));
  m_labelTimeLeft->hide();

  connect(m_btnBrowse, &QPushButton::clicked, this, &CMainDlg::OnBrowse);
  connect(m_comboSeparator, &QComboBox::activated, this, &CMainDlg::OnSelchangeSeparator);
  connect(m_comboStartLine, &QComboBox::activated, this, &CMainDlg::OnSelchangeStartLine);
  connect(m_btnDownload, &QPushButton::clicked, this, &CMainDlg::OnStartDownload);
  connect(findChild<QPushButton*>(QStringLiteral("1016")), &QPushButton::clicked, this,
          &CMainDlg::OnRefreshDisplay);
  connect(m_listData->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { OnItemchangedDataList(current.row()); });
}

void CMainDlg::OnInitDialog() {
  m_bDataLoaded = 0;
  m_strConfigPath = QString::fromStdString(DefaultConfigPath());
  m_session.LoadConfiguration(m_strConfigPath.toStdString());
  m_strDataFile.clear();

  const int baseX = DialogUnits(font()).BaseX();
  auto scaled = [&](int pixels) { return (pixels * baseX + kDesignedBaseX / 2) / kDesignedBaseX; };
  m_gridConfig->InsertColumn(0, QStringLiteral("ID(序号)"), scaled(100));
  m_gridConfig->InsertColumn(1, QStringLiteral("DisplayName(显示名称)"), scaled(150));
  m_gridConfig->InsertColumn(2, QStringLiteral("ExtractColn(提取列号)"), scaled(150));
  m_gridConfig->InsertColumn(3, QStringLiteral("DisplayRows(显示行数)"), scaled(150));
  m_gridConfig->SetColumnChars(QStringLiteral("0123456789"), 2);
  m_gridConfig->SetColumnChars(QStringLiteral("0123456789"), 3);

  const FieldTable& fields = m_session.Fields();
  for (int i = 0; i < fields.separatorCount; ++i)
    m_comboSeparator->addItem(FromGbk(fields.separators[i].name));

  FillGridFromFields();

  m_listLcd->clear();
  m_listLcd->setColumnCount(2);
  m_listLcd->setHeaderLabels({QStringLiteral("Rows(行数)"), QStringLiteral("LCD Show(显示内容)")});
  m_listLcd->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  m_listLcd->header()->setStretchLastSection(true);
  m_listLcd->resizeColumnToContents(0);
  m_listLcd->header()->resizeSection(
      0, m_listLcd->header()->fontMetrics().horizontalAdvance(QStringLiteral("Rows(行数)")) + 16);

  m_dataModel->ShowInitialColumns();
  SizeDataColumnsToHeadings();
  m_bDownloading = 0;
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
  // Enter and Esc never close the window.
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void CMainDlg::reject() {
  // Esc (and anything else that would cancel the dialog) does nothing; the
  // window closes only through its close command, which saves first.
}

void CMainDlg::closeEvent(QCloseEvent* event) {
  if (m_bClosing) {
    event->ignore();
    return;
  }
  m_bClosing = true;
  if (IsDownloadThreadRunning()) {
    // The thread calls back into the dialog: stop it, and wait for it while
    // the window keeps answering.
    UpdateDownloadButton();
    m_btnBrowse->setEnabled(false);
    m_hStopEvent.Set();
    QEventLoop loop;
    connect(this, &CMainDlg::DownloadThreadEnded, &loop, &QEventLoop::quit);
    if (IsDownloadThreadRunning()) loop.exec();
  }
  if (!m_strConfigPath.isEmpty()) {
    ReadFieldsFromGrid();  // saved whether or not they fit the data
    // The window closes either way; the worker must know the grid's
    // edits are not kept.
    if (const Status saved = m_session.SaveConfiguration(m_strConfigPath.toStdString()); !saved.ok())
      Message(FromUtf8(texts::ConfigurationNotSavedText(saved.message())),
              FromUtf8(texts::kErrorCaption), MessageIcon::kStop);
  }
  event->accept();
  done(QDialog::Accepted);
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
  // Where the desktop gives the window no system menu of ours, the About
  // entry lives in the window's own context menu.
  QMenu menu(this);
  QAction* about = menu.addAction(QStringLiteral("关于 Tabrelium(&A)..."));
  about->setObjectName(QStringLiteral("aboutAction"));
  connect(about, &QAction::triggered, this, &CMainDlg::ShowAboutBox);
  menu.exec(event->globalPos());
}

void CMainDlg::ShowAboutBox() {
  CAboutDlg about(this);
  about.exec();
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* mime = event->mimeData();
  if (mime->hasUrls() && mime->urls().size() == 1 && mime->urls().front().isLocalFile() &&
      m_btnBrowse->isEnabled())
    event->acceptProposedAction();
}

void CMainDlg::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  // A drop is a Browse: not while a download runs.
  if (urls.size() != 1 || !urls.front().isLocalFile() || !m_btnBrowse->isEnabled()) return;
  event->acceptProposedAction();
  OpenDataFile(urls.front().toLocalFile());
}

void CMainDlg::Message(const QString& text, const QString& caption, MessageIcon icon) {
  m_messageSink->ShowMessage(this, text, caption, icon);
}

}  // namespace tabrelium
