// The 64-byte frame of the download protocol, carried in every HID report
// both ways: sync byte 0xAA, command, checksum (command plus payload bytes,
// modulo 256), 61 payload bytes. The device asks, the host answers; the
// exchange is described in docs/download-protocol.md.
//
// Thread-safety: pure functions and constants.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tabrelium {

inline constexpr uint16_t DEVICE_VID = 0x2018;
inline constexpr uint16_t DEVICE_PID = 0x0101;

inline constexpr uint8_t FRAME_SYNC = 0xAA;
inline constexpr uint8_t CMD_HEADER = 0xA1;           // device: capacity; host: N and CRC
inline constexpr uint8_t CMD_BLOCK = 0xA2;            // device: slices wanted; host: one slice
inline constexpr uint8_t CMD_OUT_OF_SEQUENCE = 0xA3;  // host: block neither current nor next
inline constexpr uint8_t CMD_FAILED = 0xA4;           // device: the download failed
inline constexpr uint8_t CMD_COMPLETE = 0xA5;         // device: the download is complete
inline constexpr uint8_t CMD_END = 0xA6;              // device: ends without a message

inline constexpr size_t kFrameBytes = 64;
inline constexpr size_t kReportBytes = 65;  // a report-ID byte 0x00, then the frame
inline constexpr size_t kPayloadOffset = 3;
inline constexpr size_t kPayloadBytes = kFrameBytes - kPayloadOffset;

inline constexpr uint32_t BLOCK_SIZE = 1758;  // data bytes per block
inline constexpr uint32_t SLICE_SIZE = 55;    // bytes of block-with-CRC per frame
// A block with its CRC-16 is at most 1760 bytes: 32 slices.
inline constexpr uint32_t kMaxBlockWithCrc = BLOCK_SIZE + 2;
inline constexpr uint32_t kSlicesPerBlock = kMaxBlockWithCrc / SLICE_SIZE;
// Entries of a device block request that fit in its frame (bytes 8..63).
inline constexpr uint32_t kMaxSliceEntries = kFrameBytes - 8;

using DeviceFrame = std::array<uint8_t, kFrameBytes>;

// A frame with `command` and `payload` (at most 61 bytes) at byte 3, the rest
// zero, and the checksum computed last.
DeviceFrame MakeFrame(uint8_t command, std::span<const uint8_t> payload);

// The checksum byte of a frame: its command plus bytes 3..63, modulo 256.
uint8_t FrameChecksum(std::span<const uint8_t, kFrameBytes> frame);

// True when byte 0 is FRAME_SYNC and byte 2 is the checksum.
bool IsValidFrame(std::span<const uint8_t, kFrameBytes> frame);

// CRC-16/XMODEM: polynomial 0x1021, start 0, MSB first, no final XOR.
uint16_t Crc16Xmodem(std::span<const uint8_t> data);

// The number of blocks of a package of `dataLength` bytes.
constexpr uint32_t BlockCount(uint32_t dataLength) {
  return dataLength / BLOCK_SIZE + (dataLength % BLOCK_SIZE != 0 ? 1 : 0);
}

}  // namespace tabrelium
