// The main dialog's download side: the Startup/Stop button, one download
// per connected device, each with its own link and thread, and what the
// window shows of them: the slowest device's progress in the label and the
// bar, each device's in the device list.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTime>
#include <algorithm>
#include <span>
#include <system_error>

#include "app/device_download.h"
#include "app/gbk_text.h"
#include "app/main_dlg.h"
#include "app/ui_thread_call.h"
#include "common/user_texts.h"
#include "data/download_log_entry.h"
#include "device/device_watch.h"
#include "device/download_log.h"

namespace tabrelium {

void CMainDlg::OnStartDownload() {
  // Stop is always taken: the grid's state does not matter to a download
  // already sending the table built before.
  if (m_bDownloading == 1) {
    // The threads leave download mode on their own time; until they have,
    // the button stays pressed so that one press stops one download.
    StopAllDownloads();
    m_bStopPressed = true;
    UpdateDownloadButton();
    return;
  }
  if (IsDownloadThreadRunning()) return;  // still connecting: the button is disabled
  if (!PrepareFieldsForUse()) return;

  if (Status built = m_session.BuildImageForDownload(); !built.ok()) {
    Message(FromUtf8(built.message()));
    return;
  }
  const TableImage& image = m_session.Image();
  if (image.droppedRows > 0)
    Message(FromUtf8(texts::ImageRowsDroppedText(image.droppedRows)), QString(),
            MessageIcon::kWarning);
  m_session.BuildPackage();
  m_labelSize->setText(
      QString::asprintf("%ld KB", (static_cast<long>(image.imageSize) + 1023) / 1024));
  StartDownloadThreads();
}

bool CMainDlg::IsDownloadThreadRunning() const {
  return std::any_of(m_downloads.begin(), m_downloads.end(),
                     [](const auto& d) { return d->ThreadRunning(); });
}

void CMainDlg::StartDownloadThreads() {
  m_bStopPressed = false;
  m_downloads.clear();
  // Every device the watch has listed; when it has listed none (yet), the
  // first the library finds, which also tells why there is none.
  std::vector<DeviceInfo> devices = m_devices;
  if (devices.empty()) devices.emplace_back();
  for (DeviceInfo& device : devices)
    m_downloads.push_back(std::make_unique<CDeviceDownload>(*this, *m_uiCall, std::move(device)));
  bool failed = false;
  for (auto& download : m_downloads) {
    // After one that could not start, the rest never will.
    if (failed) {
      download->m_returned = true;
      continue;
    }
    try {
      download->Start(m_session.Package());
    } catch (const std::system_error& error) {
      // The ones started run on.
      download->m_returned = failed = true;
      Message(FromUtf8(texts::ThreadStartFailedText(error.code().value())),
              FromUtf8(texts::kErrorCaption));
    }
  }
  std::erase_if(m_downloads, [](const auto& d) { return d->m_returned; });
  UpdateDeviceList();
  // Until the threads have connected or given up, another press would
  // start a second download.
  UpdateDownloadButton();
}

void CMainDlg::StopAllDownloads() {
  for (auto& download : m_downloads) download->RequestStop();
}

void CMainDlg::OnDeviceThreadReturned(CDeviceDownload& device) {
  LogDownload(device);
  UpdateDeviceList();
  if (IsDownloadThreadRunning()) {
    ShowSlowestProgress();
    return;
  }
  m_labelTimeLeft->hide();
  // The label tells how the whole download ended: one device's ending as it
  // is, several as how many completed.
  size_t completed = 0;
  for (const auto& d : m_downloads) completed += d->m_result.outcome == DownloadOutcome::kCompleted;
  if (m_downloads.size() > 1 && completed < m_downloads.size()) {
    const QString ending = FromUtf8(texts::DevicesCompletedText(completed, m_downloads.size()));
    m_labelProgress->setText(ending);
    m_progressBar->setVisible(true);
    emit ProgressShown(ending);
  } else {
    ShowDownloadEnding(m_downloads.size() > 1 ? DownloadResult{DownloadOutcome::kCompleted}
                                              : device.m_result);
  }
  UpdateDownloadButton();
  if (m_watch) m_watch->Refresh();
  emit DownloadThreadEnded();
}

void CMainDlg::ShowDownloadEnding(const DownloadResult& result) {
  QString ending;
  if (result.outcome == DownloadOutcome::kCompleted) {
    const TableImage& image = m_session.Image();
    const std::span<const uint8_t> bytes(image.bytes.data(), static_cast<size_t>(image.imageSize));
    const QTime now = QTime::currentTime();
    ending = FromUtf8(texts::DownloadCompletedText(GetRecordCount(bytes),
                                                   (int64_t{image.imageSize} + 1023) / 1024,
                                                   now.hour(), now.minute()));
    m_progressBar->setValue(m_progressBar->maximum());
  } else {
    ending = FromUtf8(texts::DownloadEndingLabelText(result.outcome));
  }
  // The label and the bar (where the download got to) stay until the next
  // download or the next file.
  m_labelProgress->setText(ending);
  m_progressBar->setVisible(result.outcome != DownloadOutcome::kConnectionFailed);
  emit ProgressShown(ending);
}

void CMainDlg::UpdateDownloadButton() {
  bool enabled;
  if (m_bClosing)
    enabled = false;
  else if (m_bDownloading == 1)
    enabled = !m_bStopPressed;
  else
    enabled = !IsDownloadThreadRunning();
  m_btnDownload->setEnabled(enabled);
}

void CMainDlg::ShowSlowestProgress() {
  // The device furthest behind among those still at it; one that has
  // reported completion is done, whatever its thread still does.
  const CDeviceDownload* slowest = nullptr;
  int64_t secondsLeft = -1;
  for (const auto& d : m_downloads) {
    if (!d->m_connected || d->m_returned) continue;
    const bool behind = !slowest || (slowest->m_completed && !d->m_completed) ||
                        (slowest->m_completed == d->m_completed &&
                         d->m_eta.PerMille() < slowest->m_eta.PerMille());
    if (behind) slowest = d.get();
    if (!d->m_completed) secondsLeft = std::max(secondsLeft, d->m_eta.SecondsLeft());
  }
  if (!slowest) return;
  const QString text =
      slowest->m_silent ? FromUtf8(texts::DeviceNotAnsweringText()) : slowest->m_label;
  m_labelProgress->setText(text);
  const bool allCompleted = slowest->m_completed;
  m_progressBar->setValue(allCompleted ? m_progressBar->maximum() : slowest->m_eta.PerMille());
  if (allCompleted) secondsLeft = 0;
  if (secondsLeft >= 0 && m_bDownloading == 1) {
    m_labelTimeLeft->setText(FromUtf8(texts::TimeLeftText(secondsLeft)));
    m_labelTimeLeft->show();
  }
  emit ProgressShown(text);
}

void CMainDlg::OnDeviceProgress(CDeviceDownload& device) {
  (void)device;
  ShowSlowestProgress();
  UpdateDeviceList();
}

void CMainDlg::OnDeviceModeChanged(CDeviceDownload& device) {
  // The window is in download mode while any device is.
  const bool any = std::any_of(m_downloads.begin(), m_downloads.end(),
                               [](const auto& d) { return d->m_inDownloadMode; });
  if (device.m_inDownloadMode && m_bClosing) device.m_hStopEvent.Set();
  if (any == (m_bDownloading == 1)) return;
  m_bDownloading = any ? 1 : 0;
  if (any) {
    m_btnDownload->setText(FromUtf8(texts::kStopDownload));
    m_btnBrowse->setEnabled(false);
    m_progressBar->setValue(0);
    m_progressBar->show();
    // A press of Stop while the others were still connecting stops this one too.
    if (m_bStopPressed) device.RequestStop();
  } else {
    m_btnDownload->setText(FromUtf8(texts::kStartDownload));
    m_btnBrowse->setEnabled(!m_bClosing);
    m_bStopPressed = false;
    m_labelTimeLeft->hide();
  }
  UpdateDownloadButton();
  emit DownloadModeChanged(any);
}

void CMainDlg::OnDeviceTrouble(CDeviceDownload& device, const QString& text, bool connecting) {
  device.m_trouble = text;
  UpdateDeviceList();
  // Several devices tell their troubles in the list; a box for each would
  // stop the shop at every one.
  if (m_downloads.size() > 1) return;
  if (connecting)
    Message(text, FromUtf8(texts::kErrorCaption));
  else
    Message(text, FromUtf8(texts::kErrorCaption), MessageIcon::kWarning);
}

void CMainDlg::LogDownload(const CDeviceDownload& device) {
  if (device.m_device.path.empty()) return;  // no device was there to serve
  const DownloadLogEntry entry =
      MakeDownloadLogEntry(m_session, m_strDataFile.toStdString(), device.m_device,
                           device.m_result.outcome, device.m_seconds);
  const Status logged = AppendDownloadLog(entry, DownloadLogPath());
  if (logged.ok())
    m_lastEndings[entry.devicePath] = FromUtf8(texts::LastEndingText(entry.outcome, entry.time));
  else
    m_labelStatus->setText(FromUtf8(texts::DownloadLogNotWrittenText(logged.message())));
}

}  // namespace tabrelium
