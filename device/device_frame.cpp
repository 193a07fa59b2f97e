#include "device/device_frame.h"

#include <algorithm>

namespace tabrelium {
namespace {

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kCrc16Table = MakeCrc16Table();

}  // namespace

uint8_t FrameChecksum(std::span<const uint8_t, kFrameBytes> frame) {
  uint32_t sum = frame[1];
  for (size_t i = kPayloadOffset; i < kFrameBytes; ++i) sum += frame[i];
  return static_cast<uint8_t>(sum);
}

DeviceFrame MakeFrame(uint8_t command, std::span<const uint8_t> payload) {
  DeviceFrame frame{};
  frame[0] = FRAME_SYNC;
  frame[1] = command;
  const size_t n = std::min(payload.size(), kPayloadBytes);
  std::copy_n(payload.begin(), n, frame.begin() + kPayloadOffset);
  frame[2] = FrameChecksum(frame);
  return frame;
}

bool IsValidFrame(std::span<const uint8_t, kFrameBytes> frame) {
  return frame[0] == FRAME_SYNC && frame[2] == FrameChecksum(frame);
}

uint16_t Crc16Xmodem(std::span<const uint8_t> data) {
  uint16_t crc = 0;
  for (uint8_t b : data) crc = static_cast<uint16_t>((crc << 8) ^ kCrc16Table[(crc >> 8) ^ b]);
  return crc;
}

}  // namespace tabrelium
