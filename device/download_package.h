// The download package: N (the table image's size), its PackageCrc32, then
// the image bytes, all numbers little-endian. The device checks the data
// against the CRC once it has received every block.
//
// Thread-safety: built on the window's thread while no download runs, then
// only read by the download thread.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tabrelium {

// The device's CRC-32: reflected, bit by bit, register starting at
// 0xEDB88320, constant 0x4C11DB70, no final XOR. "abc" gives 0x1DE91711.
uint32_t PackageCrc32(std::span<const uint8_t> data);

struct DownloadPackage {
  std::vector<uint8_t> bytes;  // 8 + N bytes

  uint32_t DataLength() const;
  uint32_t Crc() const;
  std::span<const uint8_t> Data() const;
};

// Replaces `package` with one for `image` and returns true; an image of 16
// bytes or fewer is no table, and one of 4 GiB or more cannot be announced
// in 32 bits: both leave `package` as it was (false).
bool BuildDownloadPackage(std::span<const uint8_t> image, DownloadPackage& package);

}  // namespace tabrelium
