#include "device/report_mailbox.h"

#include <algorithm>

namespace tabrelium {

void ReportMailbox::Put(std::span<const uint8_t, kReportBytes> report) {
  {
    std::lock_guard lock(mutex_);
    std::copy(report.begin(), report.end(), data_.begin());
    full_ = true;
  }
  stored_.notify_one();
}

bool ReportMailbox::Take(std::span<uint8_t, kReportBytes> report,
                         std::chrono::microseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!stored_.wait_for(lock, timeout, [this] { return full_ || closed_; }) || !full_) return false;
  std::copy(data_.begin(), data_.end(), report.begin());
  full_ = false;
  return true;
}

bool ReportMailbox::TakeWithinTries(std::span<uint8_t, kReportBytes> report, int tries) {
  // The download's tries were looks at the mailbox 2 ms apart; a stored
  // report now wakes the taker at once instead.
  constexpr std::chrono::microseconds kTryInterval{2000};
  if (tries <= 1) return false;
  return Take(report, (tries - 1) * kTryInterval);
}

void ReportMailbox::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  stored_.notify_all();
}

void ReportMailbox::Reopen() {
  std::lock_guard lock(mutex_);
  closed_ = false;
}

}  // namespace tabrelium
