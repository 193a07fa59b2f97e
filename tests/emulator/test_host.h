// A minimal host for the emulator's tests: answers the device's header and
// block requests through HIDAPI's calls, with hooks to drop or spoil
// answers, and logs every device frame. It builds and checks frames with
// its own small code rather than the product's, so the emulator is checked
// against the protocol, not against the code it shares.
//
// Thread-safety: one Serve per device handle at a time; the rest are pure.
#pragma once

#include <hidapi/hidapi.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace hidemu_test {

using Clock = std::chrono::steady_clock;
using Frame = std::array<uint8_t, 64>;

inline constexpr uint8_t kHeader = 0xA1;
inline constexpr uint8_t kBlock = 0xA2;
inline constexpr uint8_t kOutOfSequence = 0xA3;
inline constexpr uint8_t kFailed = 0xA4;
inline constexpr uint8_t kComplete = 0xA5;
inline constexpr uint32_t kBlockBytes = 1758;
inline constexpr uint32_t kSliceBytes = 55;

Frame MakeHostFrame(uint8_t command, std::span<const uint8_t> payload);
bool IsSound(const Frame& frame);  // sync byte and checksum hold
uint16_t Crc16(std::span<const uint8_t> data);
uint32_t PackageCrc(std::span<const uint8_t> data);
uint32_t Le32(const uint8_t* p);

// Writes `frame` as a 65-byte report; returns hid_write's result.
int WriteFrame(hid_device* dev, const Frame& frame);

// A device frame as the host read it.
struct Heard {
  Frame frame;
  Clock::time_point at;          // when the host read it
  Clock::time_point answeredAt;  // when the host had written its answer
};

struct HostScript {
  std::vector<uint8_t> data;
  std::optional<uint32_t> crc;  // the package CRC announced; default: the right one
  // Called for each slice about to be sent; `ask` counts this block's
  // requests from 0. Returning false drops the slice.
  std::function<bool(uint32_t block, uint32_t slice, int ask)> sendSlice;
  // May change a slice frame's bytes; its checksum is made right afterwards.
  std::function<void(uint32_t block, int ask, Frame& frame)> spoilSlice;
  // Answering a block request: return false to answer nothing at all.
  std::function<bool(uint32_t block, int ask)> answerBlock;
  // Answering a block request with CMD_OUT_OF_SEQUENCE instead.
  std::function<bool(uint32_t block, int ask)> refuseBlock;
  // Answering a header request: return false to stay silent.
  std::function<bool(int ask)> answerHeader;
};

struct HostLog {
  std::vector<Heard> heard;  // every sound device frame, in order
  int unsound = 0;           // device frames that failed the checksum
  int readFailure = 0;       // hid_read_timeout returned -1
  uint8_t terminal = 0;      // CMD_FAILED or CMD_COMPLETE, once seen

  std::vector<Heard> Requests(uint8_t command) const;
  std::vector<Heard> BlockRequests(uint32_t block) const;
};

// Serves the device until its first closing frame, a failed read, or `limit`.
HostLog Serve(hid_device* dev, const HostScript& script, std::chrono::milliseconds limit);

}  // namespace hidemu_test
