// The download package: the device's CRC-32 (known values, and the fast form
// against the bit-by-bit definition) and the package's layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "device/download_package.h"

namespace tabrelium {
namespace {

using Bytes = std::vector<uint8_t>;

// The definition the device uses, one bit at a time.
uint32_t BitwiseCrc(std::span<const uint8_t> data) {
  uint32_t reg = 0xEDB88320;
  for (uint8_t byte : data)
    for (int bit = 0; bit < 8; ++bit, byte >>= 1)
      reg = ((reg ^ byte) & 1) ? (reg >> 1) ^ 0x4C11DB70 : reg >> 1;
  return reg;
}

TEST(PackageCrc32, KnownValuesAndTheBitwiseDefinition) {
  const Bytes abc = {'a', 'b', 'c'}, digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(PackageCrc32(abc), 0x1DE91711u);
  EXPECT_EQ(PackageCrc32(digits), 0x5FEB4A67u);
  EXPECT_EQ(PackageCrc32({}), 0xEDB88320u);  // the start value, no final XOR

  std::mt19937 rng(1);
  Bytes data(4096);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  const std::span<const uint8_t> all(data);
  for (size_t start = 0; start < 8; ++start)  // every alignment and tail length
    for (size_t length = 0; length <= 40; ++length)
      ASSERT_EQ(PackageCrc32(all.subspan(start, length)), BitwiseCrc(all.subspan(start, length)));
  EXPECT_EQ(PackageCrc32(all), BitwiseCrc(all));
}

TEST(DownloadPackage, LengthCrcThenTheImage) {
  Bytes image(17);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(0xF0 + i);
  DownloadPackage package;
  ASSERT_TRUE(BuildDownloadPackage(image, package));
  const uint32_t crc = BitwiseCrc(image);
  Bytes expected = {17, 0, 0, 0, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8),
                    static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 24)};
  expected.resize(8 + image.size());
  std::copy(image.begin(), image.end(), expected.begin() + 8);
  EXPECT_EQ(package.bytes, expected);
  EXPECT_EQ(package.DataLength(), 17u);
  EXPECT_EQ(package.Crc(), crc);

  // 16 bytes or fewer are no table: the previous package stays.
  EXPECT_FALSE(BuildDownloadPackage(Bytes(16, 2), package));
  EXPECT_EQ(package.bytes, expected);
}

}  // namespace
}  // namespace tabrelium
