// The CLI's side of a download: shows what the window's labels would show,
// either as a live progress bar (stderr is a terminal) or as one line per
// label text ("progress: TEXT"), and remembers how the download ended.
//
// Thread-safety: the callbacks run on the download thread; RequestStop may
// be called from the main thread at any time.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "device/download_thread.h"

namespace tabrelium::cli {

class CliDownloadOwner final : public DownloadOwner {
 public:
  CliDownloadOwner(uint32_t dataLength, bool liveBar);

  void ShowProgress(std::string_view text) override;
  void EnterDownloadMode() override;
  void LeaveDownloadMode() override;
  void ShowConnectionFailed(const OpenResult& why) override;
  void ShowDeviceDisconnected() override;
  void ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) override;
  void OnBlockRequested(uint32_t block, uint32_t blockCount) override;

  // As pressing "Stop download(停止下载)": signals the stop event once the
  // download has connected, or as soon as it does.
  void RequestStop();

 private:
  void DrawBar();  // REQUIRES: mutex_ held

  std::mutex mutex_;
  const uint32_t dataLength_;
  const bool liveBar_;
  bool downloading_ = false;
  bool stopRequested_ = false;
  std::string label_ = " 0%";
  uint64_t bytesAsked_ = 0;
  std::chrono::steady_clock::time_point firstBlock_{};
  // When the device reported the end: the rate then stays as it was.
  std::chrono::steady_clock::time_point completedAt_{};
  bool barDrawn_ = false;
};

// The second line after "Connection failed(连接失败)", telling which it was.
std::string DescribeOpenFailure(const OpenResult& why);

}  // namespace tabrelium::cli
