// The one-slot hand-off of input reports from the HID reader thread to the
// download thread. The newest report wins: one that arrives before the last
// was taken replaces it. A waiting taker wakes as soon as a report is stored,
// or when the link declares that no more will come (the device is gone).
//
// Thread-safety: all members may be called from any thread. Reports are
// copied whole under a mutex held only for the copy, so a taker never sees a
// half-written report nor a mix of two.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>

#include "device/device_frame.h"

namespace tabrelium {

class ReportMailbox {
 public:
  // Stores `report` (kReportBytes bytes), replacing one not yet taken.
  void Put(std::span<const uint8_t, kReportBytes> report);

  // Waits up to `timeout` for a report and moves it into `report`; false when
  // none came in time, or at once when the mailbox is empty and closed.
  bool Take(std::span<uint8_t, kReportBytes> report, std::chrono::microseconds timeout);

  // Take as the download looks for the device's next report: for about
  // (tries - 1) × 2 ms, and with tries of 1 or less not at all (false at once,
  // even when a report is stored).
  bool TakeWithinTries(std::span<uint8_t, kReportBytes> report, int tries);

  // No more reports will come until Reopen: wakes every taker. A report
  // already stored can still be taken.
  void Close();
  void Reopen();

 private:
  std::mutex mutex_;
  std::condition_variable stored_;
  std::array<uint8_t, kReportBytes> data_{};
  bool full_ = false;
  bool closed_ = false;
};

}  // namespace tabrelium
