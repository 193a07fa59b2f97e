// The polling device watch: its first listing is told, a listing like the
// last is not, a change is, and Refresh lists at once instead of waiting.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "device/device_watch.h"

namespace tabrelium {
namespace {

using namespace std::chrono_literals;

class Devices {
 public:
  void Set(std::vector<DeviceInfo> devices) {
    std::lock_guard lock(mutex_);
    devices_ = std::move(devices);
  }
  std::vector<DeviceInfo> List() {
    std::lock_guard lock(mutex_);
    return devices_;
  }
  void Told(const std::vector<DeviceInfo>& devices) {
    std::lock_guard lock(mutex_);
    told_.push_back(devices.size());
    changed_.notify_all();
  }
  // The counts told so far, once there are `n` of them (or after 5 s).
  std::vector<size_t> WaitForTold(size_t n) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 5s, [&] { return told_.size() >= n; });
    return told_;
  }
  // The counts told so far, once the last told is `count` (or after 5 s).
  std::vector<size_t> WaitForLast(size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 5s, [&] { return !told_.empty() && told_.back() == count; });
    return told_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<DeviceInfo> devices_;
  std::vector<size_t> told_;
};

TEST(DeviceWatch, TellsTheFirstListingAndEachChangeOnly) {
  Devices devices;
  devices.Set({{"/dev/hidraw1", "A", "", "", OpenFailure::kNone}});
  // A long interval: only Refresh makes it list again within the test.
  auto watch = StartPollingDeviceWatch([&](const auto& d) { devices.Told(d); },
                                       [&] { return devices.List(); }, 1h);
  EXPECT_EQ(devices.WaitForTold(1), (std::vector<size_t>{1}));
  watch->Refresh();  // the same devices: nothing to tell
  devices.Set({{"/dev/hidraw1", "A", "", "", OpenFailure::kNone},
               {"/dev/hidraw2", "B", "", "", OpenFailure::kAccessDenied}});
  watch->Refresh();
  EXPECT_EQ(devices.WaitForTold(2), (std::vector<size_t>{1, 2}));
  // The same paths, but the second may be opened now (the rule took effect).
  devices.Set({{"/dev/hidraw1", "A", "", "", OpenFailure::kNone},
               {"/dev/hidraw2", "B", "", "", OpenFailure::kNone}});
  watch->Refresh();
  devices.Set({});
  watch->Refresh();
  const std::vector<size_t> told = devices.WaitForLast(0);
  ASSERT_GE(told.size(), 3u);
  EXPECT_EQ(told.back(), 0u);
  watch.reset();  // ends its thread; nothing is told after
}

TEST(DeviceWatch, PollsAtItsInterval) {
  Devices devices;
  auto watch = StartPollingDeviceWatch([&](const auto& d) { devices.Told(d); },
                                       [&] { return devices.List(); }, 20ms);
  devices.WaitForTold(1);
  devices.Set({{"/dev/hidraw1", "A", "", "", OpenFailure::kNone}});
  EXPECT_EQ(devices.WaitForTold(2), (std::vector<size_t>{0, 1}));
}

}  // namespace
}  // namespace tabrelium
