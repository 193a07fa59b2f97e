#include "cli/download_progress.h"

#include <algorithm>
#include <cstdio>

#include "common/user_texts.h"

namespace tabrelium::cli {

CliDownloadOwner::CliDownloadOwner(uint32_t dataLength, bool liveBar)
    : dataLength_(dataLength), liveBar_(liveBar) {
  eta_.Start();
}

CliDownloadOwner::CliDownloadOwner(uint32_t dataLength, std::string device, ProgressBoard* board,
                                   size_t boardLine)
    : dataLength_(dataLength),
      liveBar_(board != nullptr),
      device_(std::move(device)),
      board_(board),
      boardLine_(boardLine) {
  eta_.Start();
}

void CliDownloadOwner::Tell(const std::string& text) {
  const std::string line = "tabrelium-cli: " + (device_.empty() ? "" : device_ + ": ") + text + "\n";
  if (board_) {
    board_->Print(line);
    return;
  }
  EndBarLine();
  std::fputs(line.c_str(), stderr);
}

uint64_t CliDownloadOwner::BytesServed() {
  std::lock_guard lock(mutex_);
  return bytesAsked_;
}

void CliDownloadOwner::DrawBar() {
  constexpr int kWidth = 30;
  const bool completed = completedAt_ != std::chrono::steady_clock::time_point{};
  const double done = dataLength_ ? static_cast<double>(bytesAsked_) / dataLength_ : 0;
  const int filled = static_cast<int>(done * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, '.');
  const auto now = completed ? completedAt_ : std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(now - firstBlock_).count();
  const double rate = elapsed > 0 ? static_cast<double>(bytesAsked_) / elapsed : 0;
  const int64_t secondsLeft = completed ? 0 : eta_.SecondsLeft();
  const std::string left = secondsLeft >= 0 ? texts::TimeLeftText(secondsLeft) : std::string();
  char line[512];
  std::snprintf(line, sizeof line, "[%s] %-28s %llu/%u bytes  %.1f kB/s  %s", bar.c_str(),
                label_.c_str(), static_cast<unsigned long long>(bytesAsked_), dataLength_,
                rate / 1000.0, left.c_str());
  if (board_) {
    board_->SetLine(boardLine_, device_ + " " + line);
    return;
  }
  std::fprintf(stderr, "\r%s\x1b[K", line);
  std::fflush(stderr);
  barDrawn_ = true;
}

void CliDownloadOwner::EndBarLine() {
  if (barDrawn_) std::fputc('\n', stderr);
  barDrawn_ = false;
}

void CliDownloadOwner::ShowLabel(std::string label) {
  label_ = std::move(label);
  if (liveBar_)
    DrawBar();
  else
    std::fprintf(stderr, "progress: %s%s\n", device_.empty() ? "" : (device_ + " ").c_str(),
                 label_.c_str());
}

void CliDownloadOwner::ShowConnected() {
  std::lock_guard lock(mutex_);
  ShowLabel(std::string(texts::kProgressAtStart));
}

void CliDownloadOwner::ShowProgress(uint32_t tenths) {
  std::lock_guard lock(mutex_);
  ShowLabel(texts::ProgressText(tenths));
}

void CliDownloadOwner::ShowDeviceReport(DownloadOutcome reported) {
  std::lock_guard lock(mutex_);
  if (reported == DownloadOutcome::kCompleted &&
      completedAt_ == std::chrono::steady_clock::time_point{}) {
    completedAt_ = std::chrono::steady_clock::now();
    bytesAsked_ = dataLength_;
  }
  ShowLabel(std::string(texts::DeviceReportText(reported)));
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
  EndBarLine();
}

void CliDownloadOwner::ShowConnectionFailed(const OpenResult& why) {
  std::lock_guard lock(mutex_);
  Tell(std::string(texts::kConnectionFailed) + "\n" +
       texts::OpenFailureText(why.failure, why.devicePath));
}

void CliDownloadOwner::ShowDeviceDisconnected() {
  std::lock_guard lock(mutex_);
  Tell(texts::DeviceDisconnectedText());
}

void CliDownloadOwner::ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) {
  std::lock_guard lock(mutex_);
  Tell(texts::CapacityTooSmallText(capacity, needed));
}

void CliDownloadOwner::OnBlockRequested(uint32_t block, uint32_t blockCount) {
  eta_.Update(block, blockCount);
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

}  // namespace tabrelium::cli
