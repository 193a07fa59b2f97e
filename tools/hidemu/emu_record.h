// What the emulator keeps across device handles for hidemu_control.h: the
// counters, the latest device's state, and the data it verified.
//
// Thread-safety: every member may be used from any thread. Record() is never
// destroyed, so a device thread still running at process exit may use it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "tools/hidemu/emu_config.h"
#include "tools/hidemu/hidemu_control.h"

namespace hidemu {

struct Counters {
  std::atomic<uint64_t> opens{0};
  std::atomic<uint64_t> closes{0};
  std::atomic<uint64_t> framesFromHost{0};
  std::atomic<uint64_t> framesToHost{0};
  std::atomic<uint64_t> framesLost{0};
  std::atomic<uint64_t> framesCorrupted{0};
  std::atomic<uint64_t> framesRejected{0};
  std::atomic<uint64_t> headerRequests{0};
  std::atomic<uint64_t> blockRequests{0};
  std::atomic<uint64_t> blockRepeats{0};
  std::atomic<uint64_t> blockCrcFailures{0};
  std::atomic<uint64_t> outOfSequence{0};
  std::atomic<uint64_t> blocksDone{0};
  std::atomic<uint32_t> dataLength{0};
};

class EmuRecord {
 public:
  Counters counters;
  // A device that vanished stays away until the reset.
  std::array<std::atomic<bool>, kMaxDevices> unplugged{};

  void SetState(hidemu_state state);
  hidemu_state State() const;
  // Waits until the state is one a device ends in; see hidemu_wait_for_end.
  hidemu_state WaitForEnd(std::chrono::milliseconds timeout, bool forever);

  void StoreReceived(std::span<const uint8_t> data);
  size_t CopyReceived(std::span<uint8_t> buffer) const;

  // How long the host took from reading a request (header or block) to
  // starting its first answer, one sample per answered request (each
  // handle times its own).
  void AddAnswerLatency(std::chrono::steady_clock::duration latency);
  size_t CopyAnswerLatencies(std::span<uint64_t> nanoseconds) const;

  void Reset();

 private:
  mutable std::mutex mutex_;
  std::condition_variable stateChanged_;
  hidemu_state state_ = HIDEMU_IDLE;
  std::vector<uint8_t> received_;
  std::vector<uint64_t> answerLatencies_;
};

EmuRecord& Record();

}  // namespace hidemu
