#include "app/device_download.h"

#include "app/gbk_text.h"
#include "app/main_dlg.h"
#include "app/ui_thread_call.h"
#include "common/user_texts.h"

namespace tabrelium {

CDeviceDownload::CDeviceDownload(CMainDlg& dialog, CUiThreadCall& ui, DeviceInfo device)
    : m_device(std::move(device)),
      m_dialog(dialog),
      m_ui(ui),
      m_link(m_device.path.empty() ? std::make_unique<HidLink>()
                                   : std::make_unique<HidLink>(m_device.path)) {
  m_silenceNotice = dialog.m_silenceNotice;
}

CDeviceDownload::~CDeviceDownload() { Join(); }

void CDeviceDownload::Start(const DownloadPackage& package) {
  m_eta.Start();
  m_thread = std::thread([this, &package] {
    const auto start = std::chrono::steady_clock::now();
    // Read on the UI thread after the join.
    m_result = DownloadThread(*this, *m_link, package);
    m_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m_ui.Post([this] {
      Join();
      m_dialog.OnDeviceThreadReturned(*this);
    });
  });
}

void CDeviceDownload::RequestStop() {
  m_stopRequested = true;
  if (m_inDownloadMode) m_hStopEvent.Set();
}

void CDeviceDownload::Join() {
  if (m_thread.joinable()) m_thread.join();
  m_returned = true;
}

// The callbacks below run on the download thread; what they change runs on
// the UI thread while the download thread waits.

void CDeviceDownload::ShowConnected() {
  m_ui.CallAndWait([this] {
    m_connected = true;
    m_label = FromUtf8(texts::kProgressAtStart);
    m_dialog.OnDeviceProgress(*this);
  });
}

void CDeviceDownload::ShowProgress(uint32_t tenths) {
  const QString label = FromUtf8(texts::ProgressText(tenths));
  m_ui.CallAndWait([&] {
    m_label = label;
    m_dialog.OnDeviceProgress(*this);
  });
}

void CDeviceDownload::ShowDeviceReport(DownloadOutcome reported) {
  const QString label = FromUtf8(texts::DeviceReportText(reported));
  m_ui.CallAndWait([&] {
    m_label = label;
    if (reported == DownloadOutcome::kCompleted) m_completed = true;
    m_dialog.OnDeviceProgress(*this);
  });
}

void CDeviceDownload::ShowDeviceSilent(bool silent) {
  m_ui.CallAndWait([&] {
    m_silent = silent;
    m_dialog.OnDeviceProgress(*this);
  });
}

void CDeviceDownload::EnterDownloadMode() {
  m_ui.CallAndWait([this] {
    m_inDownloadMode = true;
    // A stop that came while the thread was connecting is honoured now: the
    // thread has just made its stop event fresh.
    if (m_stopRequested) m_hStopEvent.Set();
    m_dialog.OnDeviceModeChanged(*this);
  });
}

void CDeviceDownload::LeaveDownloadMode() {
  m_ui.CallAndWait([this] {
    m_inDownloadMode = false;
    m_dialog.OnDeviceModeChanged(*this);
  });
}

void CDeviceDownload::ShowConnectionFailed(const OpenResult& why) {
  const QString text = FromUtf8(texts::kConnectionFailed) + QStringLiteral("\n") +
                       FromUtf8(texts::OpenFailureText(why.failure, why.devicePath));
  m_ui.CallAndWait([&] { m_dialog.OnDeviceTrouble(*this, text, true); });
}

// The two endings below are told without holding up the thread, which
// still has its link to close.

void CDeviceDownload::ShowDeviceDisconnected() {
  m_ui.Post([this] { m_dialog.OnDeviceTrouble(*this, FromUtf8(texts::DeviceDisconnectedText()), false); });
}

void CDeviceDownload::ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) {
  m_ui.Post([this, capacity, needed] {
    m_dialog.OnDeviceTrouble(*this, FromUtf8(texts::CapacityTooSmallText(capacity, needed)), false);
  });
}

void CDeviceDownload::OnBlockRequested(uint32_t block, uint32_t blockCount) {
  m_eta.Update(block, blockCount);
}

}  // namespace tabrelium
