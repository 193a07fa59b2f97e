// The USB link between the host and the emulated device: one pipe each way,
// each carrying one 64-byte frame per frame time, a cable that loses or
// damages frames, the host's input buffer, and the device vanishing.
//
// Timing: each pipe keeps its own schedule. A host write holds its caller
// for one frame time (plus the stall) and then hands the frame to the device;
// a device frame reaches the host's buffer one frame time after the pipe is
// free. Timer wake-ups that come late are not charged to the next frame, so
// a host writing back to back gets the bus's full rate.
//
// Thread-safety: one HostWrite and one HostRead may run at the same time on
// different host threads, as on a hidraw node. The Device* calls belong to
// the device thread. Unplug and Close may come from any thread; Close ends
// every wait and returns once no host call is inside.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <span>

#include "tools/hidemu/emu_record.h"

namespace hidemu {

using Clock = std::chrono::steady_clock;
using Frame = std::array<uint8_t, 64>;

struct BusSettings {
  std::chrono::microseconds frameTime{1000};
  std::chrono::milliseconds stall{0};
  double loss = 0.0;
  double corrupt = 0.0;
  uint64_t seed = 0;
};

// What the device thread's wait ended with.
struct Delivery {
  enum class Kind { kFrame, kTimeout, kGone } kind = Kind::kTimeout;
  Frame frame{};
  Clock::time_point at{};  // when the frame reached the device
};

class EmuBus {
 public:
  EmuBus(const BusSettings& settings, Counters& counters);
  EmuBus(const EmuBus&) = delete;
  EmuBus& operator=(const EmuBus&) = delete;

  // A 65-byte output report: report ID 0x00, then the frame. Returns 65, or
  // -1 for a report of another shape, an unplugged or a closed device.
  int HostWrite(std::span<const uint8_t> report);
  // Up to `out.size()` bytes of the next frame, waiting up to `timeoutMs`
  // (negative: no limit). Returns the bytes delivered, 0 on time-out, -1 when
  // the device is unplugged or closed.
  int HostRead(std::span<uint8_t> out, int timeoutMs);
  // The reason for this device's last failure: a static string.
  const wchar_t* LastError() const;
  void SetLastError(const wchar_t* message);

  // Sends `frame` to the host, starting no earlier than `notBefore` (when the
  // device heard what it reacts to). Returns when it reaches the host.
  Clock::time_point DeviceSend(const Frame& frame, Clock::time_point notBefore);
  // The next frame from the host, waiting until `deadline`.
  Delivery DeviceReceive(Clock::time_point deadline);

  void Unplug();
  void Close();

 private:
  bool GoneLocked() const { return unplugged_ || closed_; }
  // The cable's effect on one frame; false when the frame is lost.
  bool Carry(Frame& frame, std::mt19937_64& rng);

  struct Timed {
    Frame frame;
    Clock::time_point at;
  };

  const BusSettings settings_;
  Counters& counters_;

  mutable std::mutex mutex_;
  std::condition_variable hostWake_;    // frames for the host, Close, Unplug, calls leaving
  std::condition_variable deviceWake_;  // frames for the device, Close, Unplug
  bool unplugged_ = false;
  bool closed_ = false;
  int hostCallsInside_ = 0;
  std::deque<Timed> toHost_;    // in order of arrival
  std::deque<Timed> toDevice_;  // in order of arrival
  Clock::time_point outFreeAt_{};
  Clock::time_point inFreeAt_{};
  Clock::time_point lastWriteReturn_{};
  Clock::duration writeLateness_{};  // how late the last write's wake-up came
  std::mt19937_64 outRng_;
  std::mt19937_64 inRng_;
  std::atomic<const wchar_t*> lastError_;
};

}  // namespace hidemu
