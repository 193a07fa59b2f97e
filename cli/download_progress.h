// The CLI's side of a download: shows what the window's labels would show,
// either as a live progress bar (stderr is a terminal) or as one line per
// label text ("progress: TEXT"), and tells the troubles the window would
// show in a box. Serving several devices, each has its own owner, which
// names its device in every line ("progress: PATH TEXT") and draws its bar
// on a board line of its own.
//
// Thread-safety: the callbacks run on the download thread; RequestStop may
// be called from the main thread at any time.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "cli/progress_board.h"
#include "device/download_eta.h"
#include "device/download_thread.h"

namespace tabrelium::cli {

class CliDownloadOwner final : public DownloadOwner {
 public:
  CliDownloadOwner(uint32_t dataLength, bool liveBar);
  // One of several devices: `device` names it in every line; on a
  // terminal its bar is line `boardLine` of `board`.
  CliDownloadOwner(uint32_t dataLength, std::string device, ProgressBoard* board,
                   size_t boardLine);

  void ShowConnected() override;
  void ShowProgress(uint32_t tenths) override;
  void ShowDeviceReport(DownloadOutcome reported) override;
  void EnterDownloadMode() override;
  void LeaveDownloadMode() override;
  void ShowConnectionFailed(const OpenResult& why) override;
  void ShowDeviceDisconnected() override;
  void ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) override;
  void OnBlockRequested(uint32_t block, uint32_t blockCount) override;

  // As pressing "Stop download(停止下载)": signals the stop event once the
  // download has connected, or as soon as it does.
  void RequestStop();

  // The table's bytes the device has asked for so far (all of them once it
  // reported the download complete).
  uint64_t BytesServed();

 private:
  // "tabrelium-cli: [PATH: ]TEXT" on stderr, above the board if there is one.
  void Tell(const std::string& text);  // REQUIRES: mutex_ held
  void ShowLabel(std::string label);  // REQUIRES: mutex_ held
  void DrawBar();                     // REQUIRES: mutex_ held
  void EndBarLine();                  // REQUIRES: mutex_ held

  std::mutex mutex_;
  const uint32_t dataLength_;
  const bool liveBar_;
  const std::string device_;  // empty when only one device is served
  ProgressBoard* const board_ = nullptr;
  const size_t boardLine_ = 0;
  bool downloading_ = false;
  bool stopRequested_ = false;
  std::string label_;
  uint64_t bytesAsked_ = 0;
  DownloadEta eta_;
  std::chrono::steady_clock::time_point firstBlock_{};
  // When the device reported the download complete: the rate then stays
  // as it was.
  std::chrono::steady_clock::time_point completedAt_{};
  bool barDrawn_ = false;
};

}  // namespace tabrelium::cli
