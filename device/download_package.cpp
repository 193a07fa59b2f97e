#include "device/download_package.h"

#include <array>
#include <cstring>
#include <limits>

#include "common/byte_order.h"

namespace tabrelium {
namespace {

constexpr uint32_t kCrcStart = 0xEDB88320;
constexpr uint32_t kCrcConstant = 0x4C11DB70;
constexpr size_t kHeaderBytes = 8;
// An image of this many bytes or fewer cannot even hold a table header.
constexpr size_t kMinImageBytes = 16;

// Slicing-by-8: table k advances the register over a byte followed by k zero
// bytes, so eight bytes are folded in with eight look-ups. Gives the same
// register as the bit-by-bit definition.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t reg = i;
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ kCrcConstant : reg >> 1;
    t[0][i] = reg;
  }
  for (size_t k = 1; k < 8; ++k)
    for (size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

}  // namespace

uint32_t PackageCrc32(std::span<const uint8_t> data) {
  const auto& t = kCrcTables;
  uint32_t reg = kCrcStart;
  const uint8_t* p = data.data();
  size_t n = data.size();
  for (; n >= 8; n -= 8, p += 8) {
    const uint32_t lo = reg ^ GetLe32(p);
    const uint32_t hi = GetLe32(p + 4);
    reg = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
  }
  for (; n > 0; --n, ++p) reg = (reg >> 8) ^ t[0][(reg ^ *p) & 0xFF];
  return reg;
}

uint32_t DownloadPackage::DataLength() const {
  return bytes.size() >= kHeaderBytes ? GetLe32(bytes.data()) : 0;
}

uint32_t DownloadPackage::Crc() const {
  return bytes.size() >= kHeaderBytes ? GetLe32(bytes.data() + 4) : 0;
}

std::span<const uint8_t> DownloadPackage::Data() const {
  if (bytes.size() < kHeaderBytes) return {};
  return std::span<const uint8_t>(bytes).subspan(kHeaderBytes);
}

bool BuildDownloadPackage(std::span<const uint8_t> image, DownloadPackage& package) {
  // N travels as 32 bits; a longer image could only be announced wrongly.
  if (image.size() <= kMinImageBytes || image.size() > std::numeric_limits<uint32_t>::max())
    return false;
  std::vector<uint8_t> bytes(kHeaderBytes + image.size());
  PutLe32(bytes.data(), static_cast<uint32_t>(image.size()));
  PutLe32(bytes.data() + 4, PackageCrc32(image));
  std::memcpy(bytes.data() + kHeaderBytes, image.data(), image.size());
  package.bytes = std::move(bytes);
  return true;
}

}  // namespace tabrelium
