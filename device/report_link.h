// What the download needs of a device link: open it, write a frame, wait
// for the device's next frame, stop. HidLink is the real one; the tests put
// a scripted device behind the same interface.
//
// Thread-safety: one thread (the download thread) calls Open, SendReport,
// WaitReport and Stop; the link may run threads of its own behind them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/download_facts.h"
#include "device/device_frame.h"

namespace tabrelium {

// Why a link could not be opened (OpenFailure), and which device it was.
struct OpenResult {
  OpenFailure failure = OpenFailure::kNone;
  std::string devicePath;  // the matching device's node, when one was found
  bool ok() const { return failure == OpenFailure::kNone; }
};

class ReportLink {
 public:
  virtual ~ReportLink() = default;

  // Opens the first device with DEVICE_VID and DEVICE_PID and starts
  // collecting its reports.
  virtual OpenResult Open() = 0;

  // Writes `frame` as a 65-byte output report (report ID 0x00 first).
  // Returns the bytes written, 0 when the write had not finished within
  // 30 ms (it may still finish; the next write waits for it), -1 on failure.
  virtual int SendReport(std::span<const uint8_t, kFrameBytes> frame) = 0;

  // Waits for the device's next report, for about (tries - 1) × 2 ms; with
  // tries ≤ 1 returns false at once. On true, `report` holds the frame at
  // bytes 0..63 (byte 64 has no meaning).
  virtual bool WaitReport(std::span<uint8_t, kReportBytes> report, int tries) = 0;

  // Stops collecting and closes the device. Nothing is written after it.
  virtual void Stop() = 0;

  // True once reads have failed because the device is gone (unplugged);
  // a read that merely timed out is no disconnection.
  virtual bool IsDisconnected() const = 0;
};

}  // namespace tabrelium
