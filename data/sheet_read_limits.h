// How much of a worksheet the XLS and DBF readers deliver. LoadSpreadsheet
// keeps the first 100,000 rows and 32 columns of the used range and tells
// the user when it cut more; one row and one column beyond those limits are
// enough for it to know that it cut. Reading no further keeps the memory of
// a huge or hostile file bounded.
//
// Thread-safety: constants only.
#pragma once

#include <cstdint>

namespace tabrelium {

// Rows of the used range delivered, counted from its first row.
inline constexpr uint32_t kSheetReadRows = 100'000 + 1;
// Columns of the used range delivered, counted from its first column.
inline constexpr uint32_t kSheetReadColumns = 32 + 1;

}  // namespace tabrelium
