// The download devices connected now: every HID interface with DEVICE_VID
// and DEVICE_PID, as the HID library lists them, with whether this user may
// open each (the udev rule gives the node to the user at the seat).
//
// Thread-safety: ListDevices may be called from any thread, also while
// links are open; the HID library's calls that are not tied to one device
// are made one at a time inside the device layer.
#pragma once

#include <string>
#include <vector>

#include "common/download_facts.h"

namespace tabrelium {

struct DeviceInfo {
  std::string path;          // the node, e.g. /dev/hidraw3; names the device to open
  std::string serial;        // UTF-8; empty when the device gives none
  std::string manufacturer;  // UTF-8
  std::string product;       // UTF-8
  // kNone when this user may open it; kAccessDenied when the node is the
  // administrator's (the udev rule is missing).
  OpenFailure access = OpenFailure::kNone;
};

// In the HID library's order; empty when none is connected or the library
// did not start.
std::vector<DeviceInfo> ListDevices();

}  // namespace tabrelium
