// The download device's side of the exchange. It asks for the package
// header, telling its capacity; refuses a package larger than that; then
// asks for each block, naming the slices it still lacks, until the block is
// whole and its CRC-16 holds; checks all the data against the package CRC;
// and ends with CMD_COMPLETE or CMD_FAILED. The exchange is described in
// docs/download-protocol.md; this device's own timing is in README.md.
//
// Thread-safety: Run is the body of the device thread, started by hid_open
// and joined by hid_close; nothing else touches an EmuDevice.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/hidemu/emu_bus.h"
#include "tools/hidemu/emu_record.h"

namespace hidemu {

// Asks for the header again when the host has not answered in this time.
inline constexpr std::chrono::milliseconds kHeaderRetry{100};
// Asks for a block again when the host has sent none of its slices for
// this long (plus the write stall, which slows every slice).
inline constexpr std::chrono::milliseconds kAnswerTimeout{50};
// The closing frame is sent this many times, this far apart, since the host
// acknowledges nothing and the cable may lose one.
inline constexpr int kTerminalRepeats = 3;
inline constexpr std::chrono::milliseconds kTerminalSpacing{50};
// After this many refusals in a row the host's idea of the sequence has
// moved elsewhere: start over from the header.
inline constexpr int kMaxRefusals = 5;

struct DeviceSettings {
  uint32_t capacity = 0;                  // bytes
  std::optional<uint32_t> unplugAtBlock;  // vanish on reaching this block
  std::string outPath;                    // where verified data is written
  std::chrono::milliseconds stall{0};
  bool mute = false;  // a hung device: it sends nothing until closed
  std::chrono::milliseconds pauseBeforeEnd{0};  // silent this long before its closing frames
  bool loseEnding = false;  // its closing frames never reach the host
  std::atomic<bool>* unplugged = nullptr;  // set when it vanishes: no longer listed
};

class EmuDevice {
 public:
  EmuDevice(const DeviceSettings& settings, EmuBus& bus, EmuRecord& record);
  EmuDevice(const EmuDevice&) = delete;
  EmuDevice& operator=(const EmuDevice&) = delete;

  void Run();

 private:
  enum class Outcome { kWhole, kStartOver, kGone };

  bool AskHeader();
  Outcome ReceiveAllBlocks();
  Outcome ReceiveBlock(uint32_t block);
  void Finish();
  void SendTerminal(uint8_t command);
  bool ListenUntil(Clock::time_point until);
  void WriteOut() const;

  const DeviceSettings settings_;
  EmuBus& bus_;
  EmuRecord& record_;

  uint32_t dataLength_ = 0;  // N from the host's header
  uint32_t packageCrc_ = 0;
  std::vector<uint8_t> data_;
  // When the device heard what it answers next: its frames leave from then.
  Clock::time_point reactAt_;
};

}  // namespace hidemu
