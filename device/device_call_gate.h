// Lets the HID reader and writer threads call the HID library on one device
// at the same time only while that is safe. The Linux HID library (hidraw
// backend, 0.13) keeps one error text per device, and every read and write
// frees and replaces it. While no call has failed, the text is empty and a
// read may run beside a write; once a call has failed, two calls at once
// could free the same text twice. So after a failure, calls run one at a
// time until one that ran alone succeeds and has emptied the text again.
// It starts one at a time, as nothing is known of a newly opened device.
//
// One at a time, a waiting write goes before the next read: the reader
// re-enters the gate as soon as each 10 ms read ends, and a writer that had
// to wait for a free moment would pass its 30 ms limit and the device's
// answers would be skipped.
//
// Thread-safety: Run may be called from any thread.
#pragma once

#include <condition_variable>
#include <mutex>

namespace tabrelium {

class DeviceCallGate {
 public:
  enum Kind { kRead, kWrite };

  // Runs `call` (which gives a count, or a negative value on failure) when
  // the gate allows, and returns its result.
  template <class Call>
  int Run(Kind kind, Call&& call) {
    std::unique_lock lock(mutex_);
    if (kind == kWrite) ++writesWaiting_;
    idle_.wait(lock, [&] {
      if (!oneAtATime_) return true;
      return inFlight_ == 0 && (kind == kWrite || writesWaiting_ == 0);
    });
    if (kind == kWrite) --writesWaiting_;
    const bool alone = oneAtATime_;
    ++inFlight_;
    lock.unlock();
    const int result = call();
    lock.lock();
    --inFlight_;
    // A success beside another call may have run before that call's failure
    // was recorded, so only a success that ran alone proves the text empty.
    if (result < 0)
      oneAtATime_ = true;
    else if (alone)
      oneAtATime_ = false;
    idle_.notify_all();
    return result;
  }

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  int inFlight_ = 0;
  int writesWaiting_ = 0;
  bool oneAtATime_ = true;
};

}  // namespace tabrelium
