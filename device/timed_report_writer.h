// Writes output reports on a thread of its own, so that the download thread
// waits a bounded time for each write: a HID write blocks until the device
// has taken the report, and a device that takes none must not stall the
// download. The writer owns the buffer a write works on, so a write that has
// not finished in time keeps running safely after Write has returned 0, and
// the next Write waits for it (within its own time limit) before it reuses
// the buffer: two writes never overlap.
//
// Thread-safety: Write is called by one thread at a time (the download
// thread); Close may be called from any thread. The write function runs on
// the writer's own thread only, one call at a time.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>

#include "device/device_frame.h"

namespace tabrelium {

class TimedReportWriter {
 public:
  // Gives the bytes written or -1, like the HID library's write.
  using WriteFunction = std::function<int(std::span<const uint8_t, kReportBytes> report)>;

  // Starts the writer's thread. `limit` is the longest a Write may take.
  TimedReportWriter(WriteFunction write, std::chrono::milliseconds limit);
  ~TimedReportWriter();  // Close()
  TimedReportWriter(const TimedReportWriter&) = delete;
  TimedReportWriter& operator=(const TimedReportWriter&) = delete;

  // Writes a copy of `report`. Returns the write function's result; 0 when
  // that had not finished within the limit, or when the previous write was
  // still running at the limit and this one was not started; -1 after Close.
  int Write(std::span<const uint8_t, kReportBytes> report);

  // Lets a write in progress finish, drops one not yet started, and ends the
  // thread. Every later Write returns -1 without writing.
  void Close();

 private:
  void Run();

  const WriteFunction write_;
  const std::chrono::milliseconds limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::array<uint8_t, kReportBytes> buffer_{};  // the writer thread's while busy_
  bool busy_ = false;                           // a write is waiting or running
  bool closed_ = false;
  uint64_t submitted_ = 0;  // writes handed to the thread
  uint64_t finished_ = 0;   // the last of them that has finished
  int result_ = 0;          // that write's result
  std::mutex joinMutex_;
  std::thread thread_;
};

}  // namespace tabrelium
