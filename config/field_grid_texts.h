// The texts of the window's configuration grid, without the widget: the
// window fills its 32 rows from these and reads them back through
// ReadFieldsFromGridTexts, and the CLI runs the same round trip so that it
// previews and builds exactly what the window would.
//
// Thread-safety: plain functions on caller-owned values.
#pragma once

#include <array>
#include <string>

#include "config/field_table.h"

namespace tabrelium {

// One grid row's editable texts (GBK bytes): columns 1, 2 and 3.
struct FieldGridRow {
  std::string displayName;
  std::string extractColn;
  std::string displayRows;
};

using FieldGridTexts = std::array<FieldGridRow, kMaxFields>;

// Row i holds field i's name, "%d" of its column and "%d" of its rows for
// i < fieldCount; the other rows are empty.
FieldGridTexts FillGridFromFields(const FieldTable& table);

// The read-back: each text cut to 10 bytes (never inside a two-byte
// character) and trimmed of white space; a row with an empty name is
// dropped and later rows move up; an empty column text counts as 0 and an
// empty rows text as 1; numbers by atoi, low 8 bits. Sets fieldCount and
// the used slots.
void ReadFieldsFromGridTexts(const FieldGridTexts& rows, FieldTable& table);

// The round trip the window makes before every preview and download.
void RoundTripThroughGrid(FieldTable& table);

}  // namespace tabrelium
