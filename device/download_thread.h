// Serving the download package to the device: the device asks for the
// header, then for each block's slices, and reports the end; the host only
// answers, shows progress, and ends after a short countdown or when its
// owner signals the stop event. The exchange is described in
// docs/download-protocol.md.
//
// What the owner is told are values (tenths of a percent, DownloadOutcome,
// OpenResult); each front end puts them into its own words.
//
// Thread-safety: DownloadThread runs on its own thread; it calls the
// owner's callbacks on that thread. The owner may Set() the stop event from
// any thread. The package must not change while the download runs.
#pragma once

#include <chrono>
#include <cstdint>

#include "common/download_facts.h"
#include "device/download_package.h"
#include "device/event.h"
#include "device/report_link.h"

namespace tabrelium {

// The window's side of a download (the CLI plays it too).
class DownloadOwner {
 public:
  virtual ~DownloadOwner() = default;

  // Connected: the device has asked for nothing yet; the progress starts.
  virtual void ShowConnected() = 0;
  // The share of the package's blocks the device has asked for, in tenths
  // of a percent (0 to 999), each time it changes. Blocks never make 100%:
  // only the device's report of completion does.
  virtual void ShowProgress(uint32_t tenths) = 0;
  // The device reported how the download went: kCompleted or kFailed. It
  // may still speak again before the download ends.
  virtual void ShowDeviceReport(DownloadOutcome reported) = 0;
  // Connected: the button now stops the download; Browse is disabled.
  virtual void EnterDownloadMode() = 0;
  // The download has ended, however it ended.
  virtual void LeaveDownloadMode() = 0;
  // "Connection failed(连接失败)", caption "Error(错误)", and why.
  virtual void ShowConnectionFailed(const OpenResult& why) = 0;
  // The device vanished mid-download; the download ends as if stopped.
  virtual void ShowDeviceDisconnected() = 0;
  // The device said it holds `capacity` bytes, fewer than the table's `needed`.
  virtual void ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) = 0;
  // Block `block` of the package's `blockCount` was asked for and served
  // (for byte counts and rates): called after its slices were sent, for
  // every accepted request of a block within the data, repeats included.
  virtual void OnBlockRequested(uint32_t block, uint32_t blockCount) {
    (void)block;
    (void)blockCount;
  }
  // The device has said nothing for m_silenceNotice (true), or speaks
  // again after such a silence (false). The download goes on either way.
  virtual void ShowDeviceSilent(bool silent) { (void)silent; }

  // A device speaks every few milliseconds while it drives the exchange; a
  // silence this long is told to the owner (0: never).
  std::chrono::milliseconds m_silenceNotice{0};
  // A silence this long ends the download as a stop would, with
  // kDeviceSilent (0: the download waits for the device however long).
  std::chrono::milliseconds m_silenceLimit{0};

  // Signalled by the owner to stop, and by the download's own countdown.
  // The download resets it when it connects.
  ManualResetEvent m_hStopEvent;
};

struct DownloadResult {
  DownloadOutcome outcome = DownloadOutcome::kStopped;
  uint32_t capacity = 0;  // as the device last reported it
  // The device asked for the last block of the table: it may hold it all.
  bool everyBlockServed = false;
};

// Runs one download over `link` to its end. Opens and stops the link.
DownloadResult DownloadThread(DownloadOwner& owner, ReportLink& link,
                              const DownloadPackage& package);

}  // namespace tabrelium
