#include "app/main_dlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QEventLoop>
#include <QBoxLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QUrl>

#include "app/about_box.h"
#include "app/app_icon.h"
#include "app/data_list_model.h"
#include "app/data_list_view.h"
#include "app/dialog_units.h"
#include "app/gbk_text.h"
#include "app/help_box.h"
#include "app/ui_thread_call.h"
#include "app/edit_grid_ctrl.h"
#include "app/window_fonts.h"
#include "common/text_encoding.h"
#include "common/user_texts.h"
#include "app/device_download.h"
#include "config/config_file.h"
#include "device/device_watch.h"

namespace tabrelium {
namespace {

// The window as designed, in dialog units: its first size, where the screen
// has room for it.
constexpr int kDialogWidth = 664;
constexpr int kDialogHeight = 396;
// Room left around a first window for the window manager's frame.
constexpr int kFrameAllowanceX = 16;
constexpr int kFrameAllowanceY = 48;

// The grid's column widths were designed in pixels of a font whose average
// character is 6 pixels wide; they scale with the dialog font.
constexpr int kDesignedBaseX = 6;

QLabel* NewLabel(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

QPushButton* NewButton(QWidget* parent, const char* id, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(id));
  // The dialog has no default button: Enter presses nothing.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

// A drop-down list whose open list is `openHeight` units tall, as designed.
QComboBox* NewCombo(QWidget* parent, const DialogUnits& du, const char* id, int openHeight) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(QString::fromLatin1(id));
  combo->setMinimumWidth(du.X(72));
  const int height = combo->sizeHint().height();
  const int itemHeight = combo->fontMetrics().height() + 2;
  combo->setMaxVisibleItems(std::max(1, (du.Y(openHeight) - height) / std::max(1, itemHeight)));
  return combo;
}

QFrame* NewGreyRule(QWidget* parent) {
  auto* rule = new QFrame(parent);
  rule->setFrameShape(QFrame::NoFrame);
  rule->setFixedHeight(1);
  rule->setAutoFillBackground(true);
  QPalette palette = rule->palette();
  palette.setColor(QPalette::Window, palette.color(QPalette::Mid));
  rule->setPalette(palette);
  return rule;
}

// A label whose text may grow (the download's words, the status line): it
// wraps rather than being cut at the window's edge.
void LetWrap(QLabel* label) {
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
}

// Where the window keeps its size and place: Qt's settings in the user's
// configuration folder, read afresh each time (tests move that folder).
QString WindowSettingsPath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/tabrelium/window.conf");
}

constexpr QLatin1String kGeometryKey("window/geometry");

QString Utf8(std::string_view text) { return FromUtf8(text); }

}  // namespace

CMainDlg::CMainDlg(std::unique_ptr<CFileChooser> chooser, std::unique_ptr<CMessageSink> messageSink,
                   QWidget* parent)
    : QDialog(parent),
      m_fileChooser(chooser ? std::move(chooser) : std::make_unique<CQtFileChooser>()),
      m_messageSink(messageSink ? std::move(messageSink) : std::make_unique<CQtMessageSink>()) {
  m_uiCall = new CUiThreadCall(this);
  CreateControls();
  OnInitDialog();
  RestoreWindowGeometry();
  StartDeviceWatch();
}

CMainDlg::~CMainDlg() {
  m_watch.reset();
  // The download threads call back into the dialog: they must be gone first.
  if (IsDownloadThreadRunning()) {
    m_bClosing = true;
    StopAllDownloads();
    QEventLoop loop;
    connect(this, &CMainDlg::DownloadThreadEnded, &loop, &QEventLoop::quit);
    if (IsDownloadThreadRunning()) loop.exec();
  }
}

void CMainDlg::CreateControls() {
  setWindowTitle(QStringLiteral("Tabrelium(泰布林)V1.33"));
  // Resizable and maximisable: shop screens from 1024 × 640 up.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(AppIcon());
  setFont(DialogFont());
  setAcceptDrops(true);
  setSizeGripEnabled(true);
  const DialogUnits du(font());

  // Created in the designed tab order; the layouts below place them.
  auto* dataFileLabel = NewLabel(this, QStringLiteral("DataFile(数据文件)"));
  m_editDataFile = new QLineEdit(this);
  m_editDataFile->setObjectName(QStringLiteral("1000"));
  m_editDataFile->setReadOnly(true);
  m_btnBrowse = NewButton(this, "1001", QStringLiteral("Browse..(浏览..)"));
  m_btnBrowse->setMinimumWidth(du.X(80));

  auto* configLabel = NewLabel(this, QStringLiteral("Config(配置)"));
  m_gridConfig = new CEditGridCtrl(this);
  m_gridConfig->setObjectName(QStringLiteral("1004"));
  m_gridConfig->setMinimumSize(du.X(260), du.Y(48));

  auto* separatorLabel = NewLabel(this, QStringLiteral("Separator(分隔符号):"));
  m_comboSeparator = NewCombo(this, du, "1005", 127);
  auto* startLineLabel = NewLabel(this, QStringLiteral("StartLine(起始行号):"));
  m_comboStartLine = NewCombo(this, du, "1006", 127);
  for (int i = 1; i <= 9; ++i) m_comboStartLine->addItem(QString::number(i));

  m_dataModel = new CDataListModel(this);
  m_listData = new CDataListView(this);
  m_listData->setObjectName(QStringLiteral("1007"));
  m_listData->setModel(m_dataModel);
  m_listData->setMinimumSize(du.X(200), du.Y(56));

  m_btnDownload = NewButton(this, "1011", Utf8(texts::kStartDownload));
  m_btnDownload->setMinimumHeight(du.Y(20));
  CreateDeviceControls();
  auto* aboutButton = NewButton(this, "1013", QStringLiteral("About(关于)"));
  auto* helpButton = NewButton(this, "1014", QStringLiteral("Help(帮助)"));

  m_lcdFont = LcdFont();
  m_listLcd = new QTreeWidget(this);
  m_listLcd->setObjectName(QStringLiteral("1010"));
  m_listLcd->setRootIsDecorated(false);
  m_listLcd->setUniformRowHeights(true);
  m_listLcd->setSelectionMode(QAbstractItemView::SingleSelection);
  m_listLcd->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_listLcd->setEditTriggers(QAbstractItemView::NoEditTriggers);
  {
    // The rows column, the device's 20 columns whole, the list's frame and
    // margins.
    const QFontMetrics lcd(m_lcdFont);
    const int rowsColumn =
        fontMetrics().horizontalAdvance(QStringLiteral("Rows(行数)")) + du.X(10);
    m_listLcd->setMinimumSize(rowsColumn + lcd.horizontalAdvance(QString(kLcdColumns, '0')) +
                                  du.X(16),
                              du.Y(56));
  }

  auto* refreshButton = NewButton(this, "1016", QStringLiteral("Refresh display(刷新显示)"));
  auto* sizeLabel = NewLabel(this, QStringLiteral("Size(大小):"));
  auto* progLabel = NewLabel(this, QStringLiteral("Prog(进度):"));
  m_labelSize = NewLabel(this, QStringLiteral(" 0 B"));
  m_labelSize->setObjectName(QStringLiteral("1017"));
  m_labelProgress = NewLabel(this, Utf8(texts::kProgressAtStart));
  m_labelProgress->setObjectName(QStringLiteral("1018"));
  // "Downdload failed(下载失败)" and the download's longer words wrap
  // within the column instead of being cut.
  LetWrap(m_labelProgress);

  // While a download runs: a thin bar under the progress label, and the
  // time left under Help.
  m_progressBar = new QProgressBar(this);
  m_progressBar->setObjectName(QStringLiteral("downloadProgressBar"));
  m_progressBar->setFixedHeight(std::max(3, du.Y(3)));
  m_progressBar->setRange(0, 1000);
  m_progressBar->setTextVisible(false);
  m_progressBar->hide();
  m_labelTimeLeft = NewLabel(this, QString());
  m_labelTimeLeft->setObjectName(QStringLiteral("downloadTimeLeft"));
  LetWrap(m_labelTimeLeft);
  m_labelTimeLeft->hide();

  m_labelStatus = NewLabel(this, QString());
  m_labelStatus->setObjectName(QStringLiteral("statusLine"));
  LetWrap(m_labelStatus);

  // The file row.
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(dataFileLabel);
  fileRow->addWidget(m_editDataFile, 1);
  fileRow->addSpacing(du.X(8));
  fileRow->addWidget(m_btnBrowse);

  // The grid, and beside it the download column.
  auto* gridColumn = new QVBoxLayout;
  gridColumn->addWidget(configLabel);
  gridColumn->addWidget(m_gridConfig, 1);
  auto* figures = new QGridLayout;
  figures->setColumnStretch(1, 1);
  figures->addWidget(sizeLabel, 0, 0, Qt::AlignTop);
  figures->addWidget(m_labelSize, 0, 1, Qt::AlignTop);
  figures->addWidget(progLabel, 1, 0, Qt::AlignTop);
  figures->addWidget(m_labelProgress, 1, 1);
  figures->addWidget(m_progressBar, 2, 0, 1, 2);
  auto* downloadColumn = new QVBoxLayout;
  downloadColumn->addWidget(m_btnDownload);
  downloadColumn->addWidget(m_labelDevices);
  downloadColumn->addLayout(figures);
  downloadColumn->addWidget(aboutButton);
  downloadColumn->addWidget(helpButton);
  downloadColumn->addWidget(m_labelTimeLeft);
  downloadColumn->addStretch(1);
  auto* gridRow = new QHBoxLayout;
  gridRow->addLayout(gridColumn, 1);
  gridRow->addSpacing(du.X(8));
  gridRow->addLayout(downloadColumn, 0);
  // The column is as wide as designed, wider only for longer words.
  const int columnWidth = du.X(120);
  for (QWidget* widget : {static_cast<QWidget*>(m_btnDownload), static_cast<QWidget*>(aboutButton),
                          static_cast<QWidget*>(helpButton)})
    widget->setMinimumWidth(columnWidth);

  // The cutting choices, and Refresh above the preview.
  auto* choiceRow = new QHBoxLayout;
  choiceRow->addWidget(separatorLabel);
  choiceRow->addWidget(m_comboSeparator);
  choiceRow->addSpacing(du.X(24));
  choiceRow->addWidget(startLineLabel);
  choiceRow->addWidget(m_comboStartLine);
  choiceRow->addStretch(1);
  choiceRow->addWidget(refreshButton);

  // The two lists share the extra width, the data list the most.
  auto* dataColumn = new QVBoxLayout;
  dataColumn->addWidget(m_listData, 1);
  dataColumn->addWidget(m_labelStatus);
  auto* listRow = new QHBoxLayout;
  listRow->addLayout(dataColumn, 5);
  // Under the preview, each device's progress and last ending.
  auto* previewColumn = new QVBoxLayout;
  previewColumn->addWidget(m_listLcd, 3);
  previewColumn->addWidget(m_listDevices, 1);
  listRow->addLayout(previewColumn, 2);

  // The grid and the lists take the extra height, as their designed
  // heights share it.
  auto* window = new QVBoxLayout(this);
  window->setContentsMargins(du.X(7), du.Y(6), du.X(7), du.Y(6));
  window->addLayout(fileRow);
  window->addWidget(NewGreyRule(this));
  window->addLayout(gridRow, 118);
  window->addWidget(NewGreyRule(this));
  window->addLayout(choiceRow);
  window->addWidget(NewGreyRule(this));
  window->addLayout(listRow, 164);

  connect(m_btnBrowse, &QPushButton::clicked, this, &CMainDlg::OnBrowse);
  connect(m_comboSeparator, &QComboBox::activated, this, &CMainDlg::OnSelchangeSeparator);
  connect(m_comboStartLine, &QComboBox::activated, this, &CMainDlg::OnSelchangeStartLine);
  connect(m_btnDownload, &QPushButton::clicked, this, &CMainDlg::OnStartDownload);
  connect(aboutButton, &QPushButton::clicked, this, &CMainDlg::ShowAboutBox);
  connect(helpButton, &QPushButton::clicked, this, &CMainDlg::ShowHelpBox);
  connect(refreshButton, &QPushButton::clicked, this, &CMainDlg::OnRefreshDisplay);
  connect(m_listData->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { OnItemchangedDataList(current.row()); });
  // Every rebuild of the list (a load, a recut, a table a failed load
  // emptied) goes through the model's reset.
  connect(m_dataModel, &QAbstractItemModel::modelReset, this, &CMainDlg::UpdateStatusLine);
}

void CMainDlg::UpdateStatusLine() {
  if (m_bDataLoaded == 0) {
    m_labelStatus->clear();
    return;
  }
  const FieldTable& fields = m_session.Fields();
  const std::string separator =
      fields.separatorIndex < fields.separatorCount
          ? FromGbk(fields.separators[fields.separatorIndex].name).toStdString()
          : std::string();
  texts::DataStatusFacts facts;
  facts.records = GetRowCount(m_session.Cells());
  facts.columns = GetColumnCount(m_session.Cells());
  // The start line this file is cut with (lowered for a short file).
  facts.headingLinesSkipped = m_session.StartLineInForce();
  facts.separatorName = separator;
  facts.encodingName = TextEncodingName(m_session.Text().encoding);
  facts.fromWorksheet = m_session.FromSpreadsheet();
  facts.somethingDropped = !m_session.LossTexts().empty();
  m_labelStatus->setText(FromUtf8(texts::DataStatusText(facts)));
}

void CMainDlg::RestoreWindowGeometry() {
  const QSettings settings(WindowSettingsPath(), QSettings::IniFormat);
  if (restoreGeometry(settings.value(kGeometryKey).toByteArray())) return;
  // The first run: the designed size where the screen has room for it.
  const DialogUnits du(font());
  const QSize designed(du.X(kDialogWidth), du.Y(kDialogHeight));
  const QScreen* where = screen();
  const QRect room = where != nullptr ? where->availableGeometry() : QRect(QPoint(), designed);
  QSize size = designed.boundedTo(room.size() - QSize(kFrameAllowanceX, kFrameAllowanceY));
  // A narrow screen shrinks the height too: never taller for its width than
  // designed.
  size.setHeight(std::min(size.height(), designed.height() * size.width() / designed.width()));
  resize(size.expandedTo(minimumSizeHint()));
  // Centred with its frame, whose top left is the window's position.
  move(room.x() + (room.width() - width() - kFrameAllowanceX) / 2,
       room.y() + (room.height() - height() - kFrameAllowanceY) / 2);
}

void CMainDlg::SaveForSessionEnd() {
  SaveWindowGeometry();
  SaveConfiguration();
}

void CMainDlg::SaveWindowGeometry() const {
  QSettings settings(WindowSettingsPath(), QSettings::IniFormat);
  settings.setValue(kGeometryKey, saveGeometry());
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
  // A wider window gives the grid's extra width to its last column, so the
  // grid never shows an empty strip beside its headings.
  m_gridConfig->horizontalHeader()->setStretchLastSection(true);

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
  // A highlight can change without the current row (Ctrl+click clears it).
  connect(m_listData->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ShowHighlightedRecord(); });
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
    StopAllDownloads();
    QEventLoop loop;
    connect(this, &CMainDlg::DownloadThreadEnded, &loop, &QEventLoop::quit);
    if (IsDownloadThreadRunning()) loop.exec();
  }
  SaveForSessionEnd();
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

void CMainDlg::ShowHelpBox() {
  CHelpDlg help(QDir::toNativeSeparators(m_strConfigPath), this);
  help.exec();
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
