#include "cli/download_progress.h"

#include <algorithm>
#include <cstdio>

#include "common/messages.h"

namespace tabrelium::cli {
namespace {

std::string FormatDuration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

CliDownloadOwner::CliDownloadOwner(uint32_t dataLength, bool liveBar)
    : dataLength_(dataLength), liveBar_(liveBar) {}

void CliDownloadOwner::DrawBar() {
  constexpr int kWidth = 30;
  const double done = dataLength_ ? static_cast<double>(bytesAsked_) / dataLength_ : 0;
  const int filled = static_cast<int>(done * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, '.');
  const auto now = completedAt_ != std::chrono::steady_clock::time_point{}
                       ? completedAt_
                       : std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(now - firstBlock_).count();
  const double rate = elapsed > 0 ? static_cast<double>(bytesAsked_) / elapsed : 0;
  std::string eta = "--:--";
  if (rate > 0) eta = FormatDuration((dataLength_ - bytesAsked_) / rate);
  std::fprintf(stderr, "\r[%s] %-28s %llu/%u bytes  %.1f kB/s  %s left \x1b[K", bar.c_str(),
               label_.c_str(), static_cast<unsigned long long>(bytesAsked_), dataLength_,
               rate / 1000.0, eta.c_str());
  std::fflush(stderr);
  barDrawn_ = true;
}

void CliDownloadOwner::ShowProgress(std::string_view text) {
  std::lock_guard lock(mutex_);
  label_ = std::string(text);
  if (text == "100%" && completedAt_ == std::chrono::steady_clock::time_point{}) {
    completedAt_ = std::chrono::steady_clock::now();
    bytesAsked_ = dataLength_;
  }
  if (liveBar_)
    DrawBar();
  else
    std::fprintf(stderr, "progress: %s\n", label_.c_str());
}

void CliDownloadOwner::EnterDownloadMode() {
  std::lock_guard lock(mutex_);
  downloading_ = true;
  // A Ctrl+C that came while connecting is honoured now.
  if (stopRequested_) m_hStopEvent.Set();
}

void CliDownloadOwner::LeaveDownloadMode() {
  std::lock_guard lock(mutex_);
  downloading_ = false;
  if (barDrawn_) std::fputc('\n', stderr);
  barDrawn_ = false;
}

void CliDownloadOwner::ShowConnectionFailed(const OpenResult& why) {
  std::fprintf(stderr, "tabrelium-cli: %s\n%s\n", std::string(messages::kConnectionFailed).c_str(),
               DescribeOpenFailure(why).c_str());
}

void CliDownloadOwner::ShowDeviceDisconnected() {
  std::lock_guard lock(mutex_);
  if (barDrawn_) std::fputc('\n', stderr);
  barDrawn_ = false;
  std::fprintf(stderr, "tabrelium-cli: the device was disconnected during the download\n");
}

void CliDownloadOwner::ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) {
  std::lock_guard lock(mutex_);
  if (barDrawn_) std::fputc('\n', stderr);
  barDrawn_ = false;
  std::fprintf(stderr,
               "tabrelium-cli: the device has room for %u bytes, too little for a table of %u "
               "bytes\n",
               capacity, needed);
}

void CliDownloadOwner::OnBlockRequested(uint32_t block, uint32_t blockCount) {
  (void)blockCount;
  std::lock_guard lock(mutex_);
  if (bytesAsked_ == 0 && block == 0) firstBlock_ = std::chrono::steady_clock::now();
  bytesAsked_ = std::min<uint64_t>(uint64_t{block} * BLOCK_SIZE, dataLength_);
  if (liveBar_) DrawBar();
}

void CliDownloadOwner::RequestStop() {
  std::lock_guard lock(mutex_);
  stopRequested_ = true;
  if (downloading_) m_hStopEvent.Set();
}

std::string DescribeOpenFailure(const OpenResult& why) {
  switch (why.failure) {
    case OpenFailure::kNoDevice:
      return "No device with vendor id 2018 and product id 0101 is connected.";
    case OpenFailure::kAccessDenied:
      return "The device " + why.devicePath +
             " is connected, but this user may not open it. Install the udev rule "
             "70-tabrelium.rules (see the README), then unplug the device and plug it in again.";
    case OpenFailure::kBusy:
      return "The device " + why.devicePath +
             " is connected, but could not be opened; another program may be using it.";
    case OpenFailure::kLibrary:
      return "The HID library could not start.";
    case OpenFailure::kNone:
      break;
  }
  return {};
}

}  // namespace tabrelium::cli
