// The values of one row of an OpenDocument sheet, gathered while the row
// is read and given to the SheetData when it ends, once for each of its
// repetitions (table:number-rows-repeated), a cell once for each of its
// column repetitions (table:number-columns-repeated).
//
// Repeats are bounded by the worksheet limits (sheets/sheet_limits.h): of a
// repeated cell or row only the repetitions inside the window counted from
// the used range's first row and column so far are given, plus the last
// repetition, so that the used range still ends where the sheet's does. A
// repeat of a million costs what the window holds, never its count.
//
// Thread-safety: one sheet read at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/sheet_reader.h"

namespace tabrelium {

// A cell's value as the sheet holds it.
struct OdsValue {
  enum class Kind : uint8_t { kText, kError, kNumber, kBoolean, kDate, kTime };
  Kind kind = Kind::kNumber;
  SheetValueKind dateKind = SheetValueKind::kDate;  // for kDate: kDate or kDateTime
  double number = 0;  // the number, 0/1, the date serial or the time in days
};

class OdsRowCells {
 public:
  explicit OdsRowCells(SheetData& sheet) : sheet_(sheet) {}

  // `value` (with `text` for kText and kError) in the `repeat` columns from
  // `column` (0-based) of the row being read. Cells come left to right.
  void Add(uint64_t column, uint64_t repeat, const OdsValue& value, std::string_view text);

  // Ends the row: its values go to the sheet for the `repeat` rows from
  // `row` (0-based), and the next row starts empty.
  void EndRow(uint64_t row, uint64_t repeat);

 private:
  struct Pending {
    uint32_t column;
    uint32_t count;  // repetitions inside the window
    OdsValue value;
    uint32_t textOffset;
    uint32_t textLength;
  };

  void Give(uint32_t row);

  SheetData& sheet_;
  uint64_t firstRow_ = UINT64_MAX;     // of the used range so far
  uint64_t firstColumn_ = UINT64_MAX;  // of the used range so far
  std::vector<Pending> cells_;         // of the row being read, inside the window
  std::string texts_;
  bool hasBeyond_ = false;     // a value right of the window
  uint32_t beyondColumn_ = 0;  // the rightmost such column
};

}  // namespace tabrelium
