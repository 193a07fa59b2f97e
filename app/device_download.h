// One device's download as the window runs it: its own link, thread and
// progress, reporting to the dialog on the UI thread. The dialog runs one
// per connected device at once and shows the slowest.
//
// Thread-safety: the DownloadOwner callbacks run on the download thread and
// carry their work to the UI thread (waiting until it is done, as the
// single download always did); everything else is UI-thread only.
#pragma once

#include <QString>
#include <chrono>
#include <memory>
#include <thread>

#include "device/device_list.h"
#include "device/download_eta.h"
#include "device/download_thread.h"
#include "device/hid_link.h"

namespace tabrelium {

class CMainDlg;
class CUiThreadCall;

class CDeviceDownload final : public DownloadOwner {
 public:
  // `device.path` empty: the first device the library lists.
  CDeviceDownload(CMainDlg& dialog, CUiThreadCall& ui, DeviceInfo device);
  ~CDeviceDownload() override;  // REQUIRES: the thread has returned (Join)

  // Starts the thread; throws std::system_error when it cannot.
  void Start(const DownloadPackage& package);
  // As Stop download: at once when connected, else as soon as it connects.
  void RequestStop();
  void Join();
  bool ThreadRunning() const { return m_thread.joinable() && !m_returned; }

  // DownloadOwner.
  void ShowConnected() override;
  void ShowProgress(uint32_t tenths) override;
  void ShowDeviceReport(DownloadOutcome reported) override;
  void ShowDeviceSilent(bool silent) override;
  void EnterDownloadMode() override;
  void LeaveDownloadMode() override;
  void ShowConnectionFailed(const OpenResult& why) override;
  void ShowDeviceDisconnected() override;
  void ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) override;
  void OnBlockRequested(uint32_t block, uint32_t blockCount) override;

  // What the dialog shows of it (UI thread).
  const DeviceInfo m_device;
  QString m_label;          // its progress label's text; empty before it connects
  bool m_connected = false;
  bool m_inDownloadMode = false;
  bool m_completed = false;  // the device reported the download complete
  bool m_silent = false;
  bool m_returned = false;   // the thread has returned
  bool m_stopRequested = false;
  QString m_trouble;         // what went wrong, in the users' words
  DownloadResult m_result;   // written by the thread before it returns
  double m_seconds = 0;
  DownloadEta m_eta;         // fed on the download thread, read on the UI thread

 private:
  CMainDlg& m_dialog;
  CUiThreadCall& m_ui;
  std::unique_ptr<HidLink> m_link;
  std::thread m_thread;
};

}  // namespace tabrelium
