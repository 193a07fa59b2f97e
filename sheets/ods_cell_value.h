// What an OpenDocument sheet cell holds, from the attributes of its
// table:table-cell: the value type (office:value-type) and the value of
// that type (office:value, office:date-value, office:time-value,
// office:boolean-value, office:string-value). A cell whose text is its
// value (strings, error values) takes its text from the paragraphs.
//
// Thread-safety: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sheets/ods_row_cells.h"

namespace tabrelium {

struct OdsCellContent {
  enum class Source : uint8_t {
    kNone,        // an empty cell
    kValue,       // `value` is the cell's value
    kParagraphs,  // `value` (kText or kError) takes its text from the paragraphs
    kStringValue  // `value` is kText, its text `stringValue`
  };
  Source source = Source::kNone;
  OdsValue value;
  std::string stringValue;
};

// The attributes of a table:table-cell that the reader uses; nullptr for
// those it lacks. Taken in one pass, as a sheet has millions of cells.
struct OdsCellAttributes {
  const char* valueType = nullptr;        // office:value-type
  const char* calcextType = nullptr;      // calcext:value-type ("error" for an error value)
  const char* value = nullptr;            // office:value
  const char* dateValue = nullptr;        // office:date-value
  const char* timeValue = nullptr;        // office:time-value
  const char* booleanValue = nullptr;     // office:boolean-value
  const char* stringValue = nullptr;      // office:string-value
  const char* columnsRepeated = nullptr;  // table:number-columns-repeated
};
OdsCellAttributes FindOdsCellAttributes(const char** attributes);

// Decodes the value attributes of a cell. On failure, the reason as it
// follows "cell B7 of the OpenDocument sheet ", e.g. "holds the number
// \"x\", which cannot be read".
std::optional<std::string> ReadOdsCellContent(const OdsCellAttributes& attributes,
                                              OdsCellContent& content);

// An ISO 8601 duration as time values are written, "PT13H30M15S" (days,
// a sign and a fraction of a second allowed), in days; empty when it is not
// one or names years or months, whose length in days is not fixed.
std::optional<double> ParseOdsDuration(std::string_view text);

// A repeat count (table:number-columns-repeated, table:number-rows-repeated):
// a whole number from 1 on, saturating at the largest uint64_t; empty for
// anything else.
std::optional<uint64_t> ParseOdsRepeat(std::string_view text);

}  // namespace tabrelium
