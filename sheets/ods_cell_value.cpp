#include "sheets/ods_cell_value.h"

#include <charconv>
#include <cmath>

#include "sheets/sheet_dates.h"

namespace tabrelium {
namespace {

std::optional<double> ParseNumber(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double number = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() ||
      !std::isfinite(number))
    return std::nullopt;
  return number;
}

std::string Quoted(const char* text) { return "\"" + std::string(text ? text : "") + "\""; }

}  // namespace

std::optional<uint64_t> ParseOdsRepeat(std::string_view text) {
  uint64_t value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) return UINT64_MAX;
  if (ec != std::errc() || value == 0) return std::nullopt;
  return value;
}

std::optional<double> ParseOdsDuration(std::string_view text) {
  double sign = 1;
  if (!text.empty() && text.front() == '-') {
    sign = -1;
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() != 'P') return std::nullopt;
  text.remove_prefix(1);
  double seconds = 0;
  bool inTime = false, any = false;
  // Each unit at most once and in order: D, then after T: H, M, S.
  std::string_view units = "DHMS";
  while (!text.empty()) {
    if (text.front() == 'T' && !inTime) {
      inTime = true;
      text.remove_prefix(1);
      units = units.substr(units.find('H'));
      continue;
    }
    size_t digits = 0;
    while (digits < text.size() &&
           ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.'))
      ++digits;
    if (digits == 0 || digits >= text.size() || digits > 20) return std::nullopt;
    const char unit = text[digits];
    const size_t at = units.find(unit);
    if (at == std::string_view::npos || (unit == 'D') == inTime) return std::nullopt;
    const auto amount = ParseNumber(text.substr(0, digits));
    if (!amount || (unit != 'S' && *amount != std::floor(*amount))) return std::nullopt;
    seconds += *amount * (unit == 'D' ? 86400 : unit == 'H' ? 3600 : unit == 'M' ? 60 : 1);
    units = units.substr(at + 1);
    text.remove_prefix(digits + 1);
    any = true;
  }
  if (!any) return std::nullopt;
  return sign * seconds / 86400;
}

OdsCellAttributes FindOdsCellAttributes(const char** attributes) {
  OdsCellAttributes found;
  for (; *attributes != nullptr; attributes += 2) {
    const std::string_view name(attributes[0]);
    const char* value = attributes[1];
    if (name.starts_with("office:")) {
      const std::string_view local = name.substr(7);
      if (local == "value-type")
        found.valueType = value;
      else if (local == "value")
        found.value = value;
      else if (local == "date-value")
        found.dateValue = value;
      else if (local == "time-value")
        found.timeValue = value;
      else if (local == "boolean-value")
        found.booleanValue = value;
      else if (local == "string-value")
        found.stringValue = value;
    } else if (name == "calcext:value-type") {
      found.calcextType = value;
    } else if (name == "table:number-columns-repeated") {
      found.columnsRepeated = value;
    }
  }
  return found;
}

std::optional<std::string> ReadOdsCellContent(const OdsCellAttributes& attributes,
                                              OdsCellContent& content) {
  content.source = OdsCellContent::Source::kNone;
  content.value = {};
  content.stringValue.clear();
  const char* type = attributes.valueType;
  const char* calcType = attributes.calcextType;
  // LibreOffice marks a formula's error result so, its text what the sheet shows.
  if (calcType != nullptr && std::string_view(calcType) == "error") {
    content.source = OdsCellContent::Source::kParagraphs;
    content.value.kind = OdsValue::Kind::kError;
    return std::nullopt;
  }
  if (type == nullptr) {
    // No type: a cell of text only, as some writers leave it.
    content.source = OdsCellContent::Source::kParagraphs;
    content.value.kind = OdsValue::Kind::kText;
    return std::nullopt;
  }
  const std::string_view kind(type);
  OdsValue& value = content.value;
  content.source = OdsCellContent::Source::kValue;
  if (kind == "float" || kind == "percentage" || kind == "currency") {
    const char* text = attributes.value;
    const auto number = text ? ParseNumber(text) : std::nullopt;
    if (!number) return "holds the number " + Quoted(text) + ", which cannot be read";
    value.kind = OdsValue::Kind::kNumber;
    value.number = *number;
  } else if (kind == "date") {
    const char* text = attributes.dateValue;
    const auto date = text ? ParseIsoDate(text) : std::nullopt;
    if (!date || date->kind == SheetValueKind::kTime)
      return "holds the date " + Quoted(text) + ", which cannot be read";
    value.kind = OdsValue::Kind::kDate;
    value.dateKind = date->kind;
    value.number = date->serial;
  } else if (kind == "time") {
    const char* text = attributes.timeValue;
    const auto days = text ? ParseOdsDuration(text) : std::nullopt;
    if (!days) return "holds the time " + Quoted(text) + ", which cannot be read";
    value.kind = OdsValue::Kind::kTime;
    value.number = *days;
  } else if (kind == "boolean") {
    const char* text = attributes.booleanValue;
    const std::string_view flag = text ? text : "";
    if (flag != "true" && flag != "false" && flag != "1" && flag != "0")
      return "holds the boolean " + Quoted(text) + ", which is neither true nor false";
    value.kind = OdsValue::Kind::kBoolean;
    value.number = flag == "true" || flag == "1" ? 1 : 0;
  } else if (kind == "string") {
    value.kind = OdsValue::Kind::kText;
    if (const char* text = attributes.stringValue) {
      content.source = OdsCellContent::Source::kStringValue;
      content.stringValue = text;
    } else {
      content.source = OdsCellContent::Source::kParagraphs;
    }
  } else if (kind == "void") {
    content.source = OdsCellContent::Source::kNone;
  } else {
    return "has the unknown value type " + Quoted(type);
  }
  return std::nullopt;
}

}  // namespace tabrelium
