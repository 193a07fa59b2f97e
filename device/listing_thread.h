// What both device watches share: a thread that lists the devices when told
// to (or when its wait ends), tells its owner about each listing that
// differs from the last, and ends when destroyed.
//
// Thread-safety: Wake may be called from any thread; `changed` and `list`
// run on the thread only.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "device/device_watch.h"

namespace tabrelium {

class ListingThread {
 public:
  // Lists at once, then after each Wake, and at the latest `interval`
  // after the last listing.
  ListingThread(DeviceWatch::Changed changed, DeviceWatch::Lister list,
                std::chrono::milliseconds interval);
  ~ListingThread();
  ListingThread(const ListingThread&) = delete;
  ListingThread& operator=(const ListingThread&) = delete;

  void Wake();

 private:
  void Run();

  const DeviceWatch::Changed changed_;
  const DeviceWatch::Lister list_;
  const std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool woken_ = false;
  bool ending_ = false;
  std::thread thread_;  // last: it starts once everything else exists
};

bool SameDevices(const std::vector<DeviceInfo>& a, const std::vector<DeviceInfo>& b);

}  // namespace tabrelium
