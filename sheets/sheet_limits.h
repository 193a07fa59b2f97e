// How much of a worksheet reaches the device. The loader keeps the first
// 100,000 rows and 32 columns of the used range (the bounding box of the
// cells that hold a value), each value cut to 60 bytes, and tells the user
// when it cut more. The readers deliver one row and one column beyond those
// limits, enough for the loader to know that it cut, and read no further, so
// the memory of a huge or hostile file stays bounded.
//
// Thread-safety: constants only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tabrelium {

inline constexpr uint32_t kMaxSheetColumns = 32;
inline constexpr uint32_t kMaxSheetRows = 100'000;
// GBK bytes of one value, after trimming.
inline constexpr size_t kMaxSheetValueBytes = 60;

// Characters of a value a reader keeps: one more than the bytes the loader
// keeps, so that it still sees that it cut.
inline constexpr size_t kKeptValueCharacters = kMaxSheetValueBytes + 1;

// Rows of the used range delivered, counted from its first row.
inline constexpr uint32_t kSheetReadRows = kMaxSheetRows + 1;
// Columns of the used range delivered, counted from its first column.
inline constexpr uint32_t kSheetReadColumns = kMaxSheetColumns + 1;

}  // namespace tabrelium
