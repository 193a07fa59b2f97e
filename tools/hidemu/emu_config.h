// The emulated device's settings, taken from TABRELIUM_EMU_* environment
// variables: whether the device is there and may be opened, its capacity,
// how bad the cable is, how fast the bus is, and where the received data
// goes. tools/hidemu/README.md lists every variable.
//
// Thread-safety: ReadEmuConfig reads the environment, so call it while no
// other thread changes the environment (the HIDAPI calls that open or list
// devices do). An EmuConfig is a plain value.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace hidemu {

enum class Access {
  kAllowed,
  kDenied,  // listed, but opening fails with EACCES (a root-owned node)
  kBusy,    // listed, but opening fails with EBUSY
};

struct EmuConfig {
  bool present = true;
  Access access = Access::kAllowed;
  uint32_t capacity = 16777216;  // bytes, told in the device's header request
  double loss = 0.0;             // probability that a frame, either way, vanishes
  double corrupt = 0.0;          // probability that a frame, either way, has one byte changed
  std::optional<uint64_t> seed;  // none: a different run each time
  std::chrono::microseconds frameTime{1000};  // bus time of one 64-byte frame, each way
  std::chrono::milliseconds stall{0};         // extra time every host write blocks
  std::string outPath;                        // where verified data goes; empty: nowhere
  std::optional<uint32_t> unplugAtBlock;      // the device vanishes on reaching it
  bool mute = false;                          // the device never says a word
  std::chrono::milliseconds pauseBeforeEnd{0};  // silence before the closing frames
  bool loseEnding = false;                    // every closing frame vanishes
};

// How many devices are connected: TABRELIUM_EMU_COUNT, 1 to kMaxDevices.
inline constexpr int kMaxDevices = 16;
int ReadEmuDeviceCount(bool warn);

// Reads every TABRELIUM_EMU_* variable for device `index` (0-based): a
// variable with the index appended (TABRELIUM_EMU_LOSS_2) stands for that
// device alone, before the one without. With several devices, each writes
// its received table to TABRELIUM_EMU_OUT with its index appended. A value
// that does not parse, or is out of range, keeps the default; with `warn`,
// that is said on stderr.
EmuConfig ReadEmuConfig(bool warn, int index = 0);

}  // namespace hidemu
