// What a hostile or broken zip package (XLSX, OpenDocument) may cost before
// the read gives up.
//
// Thread-safety: a plain value.
#pragma once

#include <cstdint>

namespace tabrelium {

struct PackageLimits {
  uint64_t maxMemberBytes = uint64_t{256} << 20;  // one zip member, unpacked bytes
  uint64_t maxCells = 10'000'000;                 // cells that hold a value
  uint64_t maxSharedStrings = 5'000'000;
  uint32_t maxXmlDepth = 256;                     // nested elements in one part
};

}  // namespace tabrelium
