// The link to the download device over USB HID, through HIDAPI: opens the
// first HID interface with DEVICE_VID/DEVICE_PID (or the one chosen by its
// path, for serving several devices at once, each through its own link), writes 65-byte output
// reports (report ID 0x00 first) with a 30 ms limit, and runs a reader
// thread that leaves the newest input report in a one-slot mailbox.
//
// Thread-safety: Open, SendReport, WaitReport and Stop are called by one
// thread (the download thread). The reader and writer threads are the
// link's own; only the reader closes the device.
#pragma once

#include <memory>
#include <string>

#include "device/report_link.h"

namespace tabrelium {

class HidLink final : public ReportLink {
 public:
  HidLink();
  // A link to the device at `devicePath` (DeviceInfo::path) only; Open fails
  // with kNoDevice when it is no longer listed.
  explicit HidLink(std::string devicePath);
  ~HidLink() override;  // stops the link if it is open
  HidLink(const HidLink&) = delete;
  HidLink& operator=(const HidLink&) = delete;

  OpenResult Open() override;
  int SendReport(std::span<const uint8_t, kFrameBytes> frame) override;
  bool WaitReport(std::span<uint8_t, kReportBytes> report, int tries) override;
  void Stop() override;
  bool IsDisconnected() const override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tabrelium
