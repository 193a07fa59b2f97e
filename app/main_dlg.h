// The main dialog: the program's one working window. It loads the
// configuration when it opens and saves it when it is closed, and turns the
// user's actions on its controls into the engine session's operations:
// loading and cutting a data file, the separator and start-line choices,
// the fields' trips between the session and the grid, the data list and
// the LCD preview, and the download it starts and stops.
//
// Controls that the user works with carry their number as objectName
// ("1000" … "1018"), so tests and accessibility tools find them.
//
// Thread-safety: the dialog lives on the UI thread. Each device's download
// (CDeviceDownload) calls it on the UI thread; the device watch's news
// comes over to the UI thread too; everything else is UI-thread only.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "app/dialog_seams.h"
#include "common/status.h"
#include "data/session.h"
#include "device/device_list.h"
#include "device/download_thread.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace tabrelium {

class CDataListModel;
class CDataListView;
class CEditGridCtrl;
class CDeviceDownload;
class CUiThreadCall;
class DeviceWatch;

class CMainDlg : public QDialog {
  Q_OBJECT

 public:
  // Null seams mean the desktop's own file dialog and message boxes.
  explicit CMainDlg(std::unique_ptr<CFileChooser> chooser = nullptr,
                    std::unique_ptr<CMessageSink> messageSink = nullptr, QWidget* parent = nullptr);
  ~CMainDlg() override;

  // Loads `path` as if it had been chosen with Browse (a dropped file, the
  // command line's file). False when it could not be loaded (already told).
  bool OpenDataFile(const QString& path);

  // Handlers of the controls.
  void OnBrowse();
  void OnSelchangeSeparator(int item);
  void OnSelchangeStartLine(int item);
  void OnStartDownload();
  void OnRefreshDisplay();

  // The grid's texts into the session's fields; fails when they do not
  // fit the loaded data (the fields are taken either way).
  Status ReadFieldsFromGrid();
  void FillGridFromFields();
  void RebuildDataColumns();
  void ShowLcdPreview(int32_t record);
  // The grid's fields into the configuration file, told when that fails:
  // what closing does, and what every other way of quitting does too.
  void SaveConfiguration();
  // What the session manager's request to save keeps: the fields and the
  // window's size and place.
  void SaveForSessionEnd();
  // Whether the window has begun to close (it saved then).
  bool IsClosing() const { return m_bClosing; }

  // A device's download tells of itself (UI thread): its progress label
  // changed; it entered or left download mode; something went wrong
  // (`connecting`: it could not be opened); its thread has returned.
  void OnDeviceProgress(CDeviceDownload& device);
  void OnDeviceModeChanged(CDeviceDownload& device);
  void OnDeviceTrouble(CDeviceDownload& device, const QString& text, bool connecting);
  void OnDeviceThreadReturned(CDeviceDownload& device);

  // The device speaks every few milliseconds; after this long a download is
  // shown as not answering (it goes on, Stop stays open).
  std::chrono::milliseconds m_silenceNotice{std::chrono::seconds(5)};

  // For tests and the benchmark.
  const FieldTable& Fields() const { return m_session.Fields(); }
  const CellTable& Cells() const { return m_session.Cells(); }
  const QString& ConfigPath() const { return m_strConfigPath; }
  bool IsDownloading() const { return m_bDownloading != 0; }
  bool IsDownloadThreadRunning() const;
  CDataListView* DataList() const { return m_listData; }
  QTreeWidget* LcdPreview() const { return m_listLcd; }
  CEditGridCtrl* Grid() const { return m_gridConfig; }

 signals:
  // The progress label's new text, and the button's mode, as the thread
  // changes them (for the window's tests and tools).
  void ProgressShown(const QString& text);
  void DownloadModeChanged(bool downloading);
  // The download thread has returned (after LeaveDownloadMode, or after
  // giving up on the connection).
  void DownloadThreadEnded();
  // The device watch's news has reached the window.
  void DevicesChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void OnInitDialog();
  void CreateControls();
  void OnItemchangedDataList(int row);
  // The preview shows the record highlighted in the data list, or nothing
  // when none is; `force` shows it again even when it was shown last.
  void ShowHighlightedRecord(bool force = false);
  // The start-line list shows the start line the text is cut with.
  void ShowStartLineInForce();
  // The progress label and the bar tell how the download ended.
  void ShowDownloadEnding(const DownloadResult& result);
  void SizeDataColumnsToHeadings();
  void ShowAboutBox();
  void ShowHelpBox();
  // The status line's facts from the session, after every rebuild of the list.
  void UpdateStatusLine();
  // The window's size and place, kept between runs in Qt's own settings
  // (never in the configuration file, which other programs read).
  void RestoreWindowGeometry();
  void SaveWindowGeometry() const;
  void Message(const QString& text, const QString& caption = QString(),
               MessageIcon icon = MessageIcon::kNone);
  void TellLoadLosses();
  // The progress label, the bar and the time left follow the slowest
  // device still downloading.
  void ShowSlowestProgress();
  void StartDownloadThreads();
  void StopAllDownloads();
  // The device count beside Startup download and the device list, from the
  // watch's latest listing, the downloads and the log's last endings.
  void CreateDeviceControls();
  void StartDeviceWatch();
  void ShowDevices(std::vector<DeviceInfo> devices);
  void UpdateDeviceList();
  void ReadLastEndings();
  void LogDownload(const CDeviceDownload& device);
  void UpdateDownloadButton();
  bool CheckFieldsFromGrid();
  // What Refresh and Startup download do first: a data file must be
  // chosen and the grid's fields valid; the grid is then refilled from them.
  bool PrepareFieldsForUse();

  std::unique_ptr<CFileChooser> m_fileChooser;
  std::unique_ptr<CMessageSink> m_messageSink;

  // The data the dialog works on; the download thread reads its package only.
  Session m_session;

  // Controls (owned by the dialog through Qt's parent chain).
  CDataListView* m_listData = nullptr;        // 1007
  CDataListModel* m_dataModel = nullptr;
  CEditGridCtrl* m_gridConfig = nullptr;      // 1004
  QTreeWidget* m_listLcd = nullptr;           // 1010
  QLineEdit* m_editDataFile = nullptr;        // 1000
  QPushButton* m_btnBrowse = nullptr;         // 1001
  QComboBox* m_comboSeparator = nullptr;      // 1005
  QComboBox* m_comboStartLine = nullptr;      // 1006
  QPushButton* m_btnDownload = nullptr;       // 1011
  QLabel* m_labelSize = nullptr;              // 1017
  QLabel* m_labelProgress = nullptr;          // 1018
  QProgressBar* m_progressBar = nullptr;
  QLabel* m_labelTimeLeft = nullptr;
  QLabel* m_labelStatus = nullptr;  // under the data list: what the load made of the file
  QLabel* m_labelDevices = nullptr;      // beside Startup download: how many are connected
  QTreeWidget* m_listDevices = nullptr;  // each device's progress and last ending
  QFont m_lcdFont;  // the preview's lines: Chinese characters two columns wide

  int m_bDataLoaded = 0;
  QString m_strDataFile;
  QString m_strConfigPath;
  QString m_lastFolder;  // where the file dialog opens
  int m_bDownloading = 0;

  // The downloads of the last Startup download, one per device (kept until
  // the next, for the list), and the state of the button between the press
  // and the threads' first word.
  CUiThreadCall* m_uiCall = nullptr;
  std::vector<std::unique_ptr<CDeviceDownload>> m_downloads;
  bool m_bStopPressed = false;
  bool m_bClosing = false;
  // The devices as the watch last listed them, and each one's last ending
  // in the download log (by path).
  std::vector<DeviceInfo> m_devices;
  std::map<std::string, QString> m_lastEndings;
  std::unique_ptr<DeviceWatch> m_watch;  // destroyed first: it posts to m_uiCall
  int m_previewedRow = -2;  // the data list row the preview shows (-1 none, -2 unknown)
};

}  // namespace tabrelium
