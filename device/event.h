// A manual-reset event: once set it stays set until reset, and every waiter
// wakes. The download and reader threads are stopped through these.
//
// Thread-safety: all members may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tabrelium {

class ManualResetEvent {
 public:
  void Set() {
    {
      std::lock_guard lock(mutex_);
      set_ = true;
    }
    changed_.notify_all();
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
  }

  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
  }

  // Waits up to `timeout` for the event; true when it is set.
  bool WaitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return set_; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool set_ = false;
};

}  // namespace tabrelium
