// Numbers stored in byte buffers. The table image, the dBASE header, the
// download package and the device's frames all keep their multi-byte
// numbers little-endian, whatever the host's own order; the sort keys are
// compared as big-endian words.
//
// Thread-safety: pure functions.
#pragma once

#include <cstdint>

namespace tabrelium {

inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t GetLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The first byte most significant, so that comparing the words compares
// the bytes as unsigned.
inline uint64_t GetBe64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
  return v;
}

}  // namespace tabrelium
