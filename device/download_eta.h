// The time a download still needs, from the blocks the device has asked for
// so far (DownloadOwner::OnBlockRequested): a full table takes minutes at
// the device's pace, so both front ends show how long is left.
//
// Thread-safety: every member may be called from any thread (Update comes
// from the download thread); all are serialised internally.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace tabrelium {

class DownloadEta {
 public:
  using Clock = std::chrono::steady_clock;

  void Start();
  // Block `block` (0-based) of `blockCount` has been served at `now`.
  void Update(uint32_t block, uint32_t blockCount, Clock::time_point now = Clock::now());
  // Seconds left, or -1 while too little is known (fewer than two blocks,
  // or under a second of measuring).
  int64_t SecondsLeft() const;
  // The share done, 0 to 1000.
  int PerMille() const;

 private:
  mutable std::mutex m_mutex;
  bool m_started = false;
  Clock::time_point m_firstAt{};
  uint32_t m_firstBlock = 0;
  uint32_t m_lastBlock = 0;
  uint32_t m_blockCount = 0;
  Clock::time_point m_lastAt{};
};

}  // namespace tabrelium
