// The main dialog's download side: the Startup/Stop button, the download
// thread with the dialog as its owner, and the callbacks through which the
// thread changes the dialog's controls on the UI thread.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTime>
#include <span>
#include <system_error>

#include "app/gbk_text.h"
#include "app/main_dlg.h"
#include "app/ui_thread_call.h"
#include "common/user_texts.h"
#include "device/hid_link.h"

namespace tabrelium {

void CMainDlg::OnStartDownload() {
  // Stop is always taken: the grid's state does not matter to a download
  // already sending the table built before.
  if (m_bDownloading == 1) {
    // The thread leaves download mode on its own time; until it has, the
    // button stays pressed so that one press stops one download.
    m_hStopEvent.Set();
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
  StartDownloadThread();
}

void CMainDlg::StartDownloadThread() {
  m_eta.Start();
  m_bStopPressed = false;
  try {
    m_link = std::make_unique<HidLink>();
    m_downloadThread = std::thread([this] {
      // Read on the UI thread after the join.
      m_downloadResult = DownloadThread(*this, *m_link, m_session.Package());
      m_uiCall->Post([this] { OnDownloadThreadReturned(); });
    });
  } catch (const std::system_error& error) {
    m_link.reset();
    Message(FromUtf8(texts::ThreadStartFailedText(error.code().value())),
            FromUtf8(texts::kErrorCaption));
    return;
  }
  // Until the thread has connected or given up, another press would start
  // a second download.
  UpdateDownloadButton();
}

void CMainDlg::OnDownloadThreadReturned() {
  if (m_downloadThread.joinable()) m_downloadThread.join();
  m_link.reset();
  m_labelTimeLeft->hide();
  ShowDownloadEnding(m_downloadResult);
  UpdateDownloadButton();
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

// The callbacks below run on the download thread; what they do to the
// controls runs on the UI thread while the download thread waits.

void CMainDlg::SetProgressLabel(const QString& text, bool complete) {
  m_labelProgress->setText(text);
  m_progressBar->setValue(complete ? m_progressBar->maximum() : m_eta.PerMille());
  const int64_t secondsLeft = complete ? 0 : m_eta.SecondsLeft();
  if (secondsLeft >= 0 && m_bDownloading == 1) {
    m_labelTimeLeft->setText(FromUtf8(texts::TimeLeftText(secondsLeft)));
    m_labelTimeLeft->show();
  }
  emit ProgressShown(text);
}

void CMainDlg::ShowConnected() {
  m_uiCall->CallAndWait([this] { SetProgressLabel(FromUtf8(texts::kProgressAtStart), false); });
}

void CMainDlg::ShowProgress(uint32_t tenths) {
  const QString label = FromUtf8(texts::ProgressText(tenths));
  m_uiCall->CallAndWait([&] { SetProgressLabel(label, false); });
}

void CMainDlg::ShowDeviceReport(DownloadOutcome reported) {
  const QString label = FromUtf8(texts::DeviceReportText(reported));
  m_uiCall->CallAndWait(
      [&] { SetProgressLabel(label, reported == DownloadOutcome::kCompleted); });
}

void CMainDlg::ShowDeviceSilent(bool silent) {
  m_uiCall->CallAndWait([&] {
    if (silent) {
      m_labelBeforeSilence = m_labelProgress->text();
      m_labelProgress->setText(FromUtf8(texts::DeviceNotAnsweringText()));
    } else {
      m_labelProgress->setText(m_labelBeforeSilence);
    }
    emit ProgressShown(m_labelProgress->text());
  });
}

void CMainDlg::EnterDownloadMode() {
  m_uiCall->CallAndWait([this] {
    m_bDownloading = 1;
    m_btnDownload->setText(FromUtf8(texts::kStopDownload));
    m_btnBrowse->setEnabled(false);
    m_progressBar->setValue(0);
    m_progressBar->show();
    // A close that came while the thread was connecting stops it now: the
    // thread has just made its stop event fresh.
    if (m_bClosing) m_hStopEvent.Set();
    UpdateDownloadButton();
    emit DownloadModeChanged(true);
  });
}

void CMainDlg::LeaveDownloadMode() {
  m_uiCall->CallAndWait([this] {
    m_bDownloading = 0;
    m_btnDownload->setText(FromUtf8(texts::kStartDownload));
    m_btnBrowse->setEnabled(!m_bClosing);
    m_bStopPressed = false;
    m_labelTimeLeft->hide();
    UpdateDownloadButton();
    emit DownloadModeChanged(false);
  });
}

void CMainDlg::ShowConnectionFailed(const OpenResult& why) {
  const QString text = FromUtf8(texts::kConnectionFailed) + QStringLiteral("\n") +
                       FromUtf8(texts::OpenFailureText(why.failure, why.devicePath));
  m_uiCall->CallAndWait([&] { Message(text, FromUtf8(texts::kErrorCaption)); });
}

// The two endings below are told without holding up the thread, which
// still has its link to close.

void CMainDlg::ShowDeviceDisconnected() {
  m_uiCall->Post([this] {
    Message(FromUtf8(texts::DeviceDisconnectedText()), FromUtf8(texts::kErrorCaption),
            MessageIcon::kWarning);
  });
}

void CMainDlg::ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) {
  m_uiCall->Post([this, capacity, needed] {
    Message(FromUtf8(texts::CapacityTooSmallText(capacity, needed)),
            FromUtf8(texts::kErrorCaption), MessageIcon::kWarning);
  });
}

void CMainDlg::OnBlockRequested(uint32_t block, uint32_t blockCount) {
  m_eta.Update(block, blockCount);
}

}  // namespace tabrelium
