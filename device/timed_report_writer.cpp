#include "device/timed_report_writer.h"

#include <algorithm>

namespace tabrelium {

TimedReportWriter::TimedReportWriter(WriteFunction write, std::chrono::milliseconds limit)
    : write_(std::move(write)), limit_(limit), thread_([this] { Run(); }) {}

TimedReportWriter::~TimedReportWriter() { Close(); }

int TimedReportWriter::Write(std::span<const uint8_t, kReportBytes> report) {
  const auto deadline = std::chrono::steady_clock::now() + limit_;
  std::unique_lock lock(mutex_);
  // The buffer is the thread's until the previous write has finished.
  if (!changed_.wait_until(lock, deadline, [this] { return !busy_ || closed_; })) return 0;
  if (closed_) return -1;
  std::copy(report.begin(), report.end(), buffer_.begin());
  busy_ = true;
  const uint64_t ticket = ++submitted_;
  changed_.notify_all();
  if (!changed_.wait_until(lock, deadline, [&] { return finished_ >= ticket || closed_; }))
    return 0;
  if (finished_ >= ticket) return result_;
  return busy_ ? 0 : -1;  // closed: still running, or dropped before it started
}

void TimedReportWriter::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
  std::lock_guard joinLock(joinMutex_);
  if (thread_.joinable()) thread_.join();
}

void TimedReportWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || closed_; });
    if (closed_) {
      busy_ = false;  // a write not yet started is dropped
      changed_.notify_all();
      return;
    }
    lock.unlock();
    const int result = write_(buffer_);
    lock.lock();
    result_ = result;
    finished_ = submitted_;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace tabrelium
