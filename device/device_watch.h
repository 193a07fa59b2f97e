// Tells its owner which download devices are connected, at the start and
// whenever one comes or goes. On Linux it waits for the kernel's hidraw
// events through udev (udev_device_watch.cpp, the one file that uses
// libudev); where udev cannot be reached, or on a platform without it, it
// lists the devices again every second (polling_device_watch.cpp).
//
// Thread-safety: `changed` is called on the watch's own thread, never two
// at a time, and never after the watch is destroyed. Refresh may be called
// from any thread.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "device/device_list.h"

namespace tabrelium {

class DeviceWatch {
 public:
  using Changed = std::function<void(const std::vector<DeviceInfo>& devices)>;
  using Lister = std::function<std::vector<DeviceInfo>()>;

  virtual ~DeviceWatch() = default;
  // Lists again now: after a download the device may have changed without
  // an event this watch could see (an emulated device, a reset).
  virtual void Refresh() = 0;
};

// Lists at `interval`; `changed` is called with the first listing and with
// every listing that differs from the one before.
std::unique_ptr<DeviceWatch> StartPollingDeviceWatch(DeviceWatch::Changed changed,
                                                     DeviceWatch::Lister list,
                                                     std::chrono::milliseconds interval);

// Waits for udev's hidraw events and lists on each; nothing when udev's
// monitor cannot be set up.
std::unique_ptr<DeviceWatch> StartUdevDeviceWatch(DeviceWatch::Changed changed,
                                                  DeviceWatch::Lister list);

// The udev watch, or, failing that, polling every second; lists with
// ListDevices.
std::unique_ptr<DeviceWatch> StartDeviceWatch(DeviceWatch::Changed changed);

}  // namespace tabrelium
