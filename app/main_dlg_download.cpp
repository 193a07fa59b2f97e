// The main dialog's download side: the Startup/Stop button, the download
// thread with the dialog as its owner, and the callbacks through which the
// thread changes the dialog's controls on the UI thread.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <system_error>

#include "app/gbk_text.h"
#include "app/main_dlg.h"
#include "app/ui_thread_call.h"
#include "app/window_texts.h"
#include "common/messages.h"
#include "device/hid_link.h"

namespace tabrelium {

void CMainDlg::OnStartDownload() {
  if (!PrepareFieldsForUse()) return;
  if (m_bDownloading == 1) {
    // The thread leaves download mode on its own time; until it has, the
    // button stays pressed so that one press stops one download.
    m_hStopEvent.Set();
    m_bStopPressed = true;
    UpdateDownloadButton();
    return;
  }
  if (IsDownloadThreadRunning()) return;  // still connecting: the button is disabled

  BuildTableImage(m_cells, m_fields, m_image);
  const int32_t size = m_image.imageSize;
  if (size > kMaxDownloadBytes) {
    Message(FromUtf8(messages::kImageTooLarge));
    return;
  }
  if (m_image.droppedRows > 0)
    Message(DescribeDroppedImageRows(m_image.droppedRows), QString(), MessageIcon::kWarning);
  BuildDownloadPackage(std::span(m_image.bytes.data(), static_cast<size_t>(size)), m_package);
  m_labelSize->setText(QString::asprintf("%ld KB", (static_cast<long>(size) + 1023) / 1024));
  StartDownloadThread();
}

void CMainDlg::StartDownloadThread() {
  m_eta.Start();
  m_bStopPressed = false;
  try {
    m_link = std::make_unique<HidLink>();
    m_downloadThread = std::thread([this] {
      DownloadThread(*this, *m_link, m_package);
      m_uiCall->Post([this] { OnDownloadThreadReturned(); });
    });
  } catch (const std::system_error& error) {
    m_link.reset();
    Message(QString::asprintf(
                "Create a download thread failure, error number(创建下载线程失败,错误号) %d ",
                error.code().value()),
            FromUtf8(messages::kErrorCaption));
    return;
  }
  // Until the thread has connected or given up, another press would start
  // a second download.
  UpdateDownloadButton();
}

void CMainDlg::OnDownloadThreadReturned() {
  if (m_downloadThread.joinable()) m_downloadThread.join();
  m_link.reset();
  m_progressBar->hide();
  m_labelTimeLeft->hide();
  UpdateDownloadButton();
  emit DownloadThreadEnded();
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

void CMainDlg::ShowProgress(std::string_view text) {
  const QString label = FromUtf8(text);
  m_uiCall->CallAndWait([&] {
    m_labelProgress->setText(label);
    const bool done = label == QStringLiteral("100%");
    m_progressBar->setValue(done ? m_progressBar->maximum() : m_eta.PerMille());
    const int64_t secondsLeft = done ? 0 : m_eta.SecondsLeft();
    if (secondsLeft >= 0 && m_bDownloading == 1) {
      m_labelTimeLeft->setText(DescribeTimeLeft(secondsLeft));
      m_labelTimeLeft->show();
    }
    emit ProgressShown(label);
  });
}

void CMainDlg::EnterDownloadMode() {
  m_uiCall->CallAndWait([this] {
    m_bDownloading = 1;
    m_btnDownload->setText(FromUtf8(messages::kStopDownload));
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
    m_btnDownload->setText(FromUtf8(messages::kStartDownload));
    m_btnBrowse->setEnabled(!m_bClosing);
    m_bStopPressed = false;
    m_labelTimeLeft->hide();
    UpdateDownloadButton();
    emit DownloadModeChanged(false);
  });
}

void CMainDlg::ShowConnectionFailed(const OpenResult& why) {
  const QString text = FromUtf8(messages::kConnectionFailed) + QStringLiteral("\n") +
                       DescribeOpenFailure(why);
  m_uiCall->CallAndWait(
      [&] { Message(text, FromUtf8(messages::kErrorCaption)); });
}

// The two endings below are told without holding up the thread, which
// still has its link to close.

void CMainDlg::ShowDeviceDisconnected() {
  m_uiCall->Post([this] {
    Message(DescribeDeviceDisconnected(), FromUtf8(messages::kErrorCaption), MessageIcon::kWarning);
  });
}

void CMainDlg::ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) {
  m_uiCall->Post([this, capacity, needed] {
    Message(DescribeCapacityTooSmall(capacity, needed), FromUtf8(messages::kErrorCaption),
            MessageIcon::kWarning);
  });
}

void CMainDlg::OnBlockRequested(uint32_t block, uint32_t blockCount) {
  m_eta.Update(block, blockCount);
}

}  // namespace tabrelium
