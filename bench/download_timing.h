// What the download benchmarks share: an owner that notes when the device
// first asked for data and when it said complete, a package of pseudo-random
// bytes, the median, and the process's CPU time.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "device/download_package.h"
#include "device/download_thread.h"

namespace tabrelium::bench {

using Clock = std::chrono::steady_clock;

// One request and 32 answers per 1758-byte block: 33 frame times of 1 ms.
inline constexpr double kCeilingBytesPerSecond = BLOCK_SIZE / 0.033;

class TimingOwner final : public DownloadOwner {
 public:
  void ShowConnected() override {}
  void ShowProgress(uint32_t) override {}
  void ShowDeviceReport(DownloadOutcome reported) override {
    if (reported == DownloadOutcome::kCompleted) completed = Clock::now();
  }
  void EnterDownloadMode() override {}
  void LeaveDownloadMode() override {}
  void ShowConnectionFailed(const OpenResult&) override {}
  void ShowDeviceDisconnected() override {}
  void ShowCapacityTooSmall(uint32_t, uint32_t) override {}
  void OnBlockRequested(uint32_t block, uint32_t) override {
    if (block == 0 && firstBlock == Clock::time_point{}) firstBlock = Clock::now();
  }
  Clock::time_point firstBlock{};
  Clock::time_point completed{};
};

inline DownloadPackage PackageOf(size_t bytes) {
  std::vector<uint8_t> image(bytes);
  uint32_t x = 12345;
  for (uint8_t& b : image) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
  DownloadPackage package;
  BuildDownloadPackage(image, package);
  return package;
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return s(usage.ru_utime) + s(usage.ru_stime);
}

}  // namespace tabrelium::bench
