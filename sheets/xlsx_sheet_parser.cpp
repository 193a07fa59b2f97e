#include "sheets/xlsx_sheet_parser.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "sheets/sheet_dates.h"
#include "sheets/xml_part.h"

namespace tabrelium {
namespace {

// The largest sheet a spreadsheet application writes.
constexpr uint32_t kMaxRows = 1'048'576;
constexpr uint32_t kMaxColumns = 16'384;

enum class CellType : uint8_t { kNumber, kShared, kFormulaText, kInline, kBoolean, kError, kIsoDate };

std::optional<CellType> ParseCellType(const char* t) {
  if (t == nullptr) return CellType::kNumber;
  const std::string_view type(t);
  if (type == "s") return CellType::kShared;
  if (type == "n") return CellType::kNumber;
  if (type == "str") return CellType::kFormulaText;
  if (type == "inlineStr") return CellType::kInline;
  if (type == "b") return CellType::kBoolean;
  if (type == "e") return CellType::kError;
  if (type == "d") return CellType::kIsoDate;
  return std::nullopt;
}

// "B7" -> row 6, column 1. False for anything else, or beyond the largest sheet.
bool ParseCellReference(const char* text, uint32_t& row, uint32_t& column) {
  uint32_t letters = 0, col = 0;
  for (; *text >= 'A' && *text <= 'Z' && letters < 3; ++text, ++letters)
    col = col * 26 + static_cast<uint32_t>(*text - 'A' + 1);
  uint32_t digits = 0, r = 0;
  for (; *text >= '0' && *text <= '9' && digits < 7; ++text, ++digits)
    r = r * 10 + static_cast<uint32_t>(*text - '0');
  if (*text != '\0' || letters == 0 || r == 0 || r > kMaxRows || col > kMaxColumns) return false;
  row = r - 1;
  column = col - 1;
  return true;
}

std::optional<uint32_t> ParseUnsigned(std::string_view text) {
  uint32_t value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// <sheetData><row r="7"><c r="B7" s="3" t="s"><f>..</f><v>..</v>
// <is><t>..</t><r><t>..</t></r><rPh><t>..</t></rPh></is></c></row>
class WorksheetHandler : public XmlPartHandler {
 public:
  WorksheetHandler(const std::string& part, const WorksheetContext& context,
                   const PackageLimits& limits, SheetData& sheet)
      : part_(part), context_(context), limits_(limits), sheet_(sheet) {}

  void OnStart(std::string_view name, const char** attributes) override {
    if (!inSheetData_) {
      if (name == "dimension") ReserveForDimension(attributes);
      inSheetData_ = name == "sheetData";
    } else if (name == "c") {
      StartCell(attributes);
    } else if (!inCell_) {
      if (name == "row") StartRow(attributes);
    } else if (name == "v") {
      collectingValue_ = true;
    } else if (name == "is") {
      inInline_ = hasInline_ = true;
    } else if (name == "t") {
      collectingInline_ = inInline_ && phoneticDepth_ == 0;
    } else if (name == "rPh") {
      ++phoneticDepth_;
    }
  }

  void OnEnd(std::string_view name) override {
    if (!inSheetData_) return;
    if (name == "c") {
      if (inCell_) EndCell();
    } else if (name == "v") {
      collectingValue_ = false;
    } else if (name == "t") {
      collectingInline_ = false;
    } else if (name == "is") {
      inInline_ = false;
    } else if (name == "rPh") {
      if (phoneticDepth_ > 0) --phoneticDepth_;
    } else if (name == "sheetData") {
      inSheetData_ = false;
    }
  }

  void OnText(std::string_view text) override {
    if (collectingValue_) value_.append(text);
    else if (collectingInline_) inline_.append(text);
  }

 private:
  // <dimension ref="A1:AF100001"> says how many cells to expect. Only a
  // hint: a wrong or hostile one costs at most the cell limit's reservation.
  void ReserveForDimension(const char** attributes) {
    for (const char** a = attributes; a[0] != nullptr; a += 2) {
      if (std::string_view(a[0]) != "ref") continue;
      const std::string_view ref = a[1];
      const size_t colon = ref.find(':');
      if (colon == std::string_view::npos) return;
      uint32_t firstRow, firstColumn, lastRow, lastColumn;
      const std::string first(ref.substr(0, colon)), last(ref.substr(colon + 1));
      if (!ParseCellReference(first.c_str(), firstRow, firstColumn) ||
          !ParseCellReference(last.c_str(), lastRow, lastColumn) || lastRow < firstRow ||
          lastColumn < firstColumn)
        return;
      const uint64_t cells = (uint64_t{lastRow} - firstRow + 1) * (uint64_t{lastColumn} - firstColumn + 1);
      sheet_.Reserve(static_cast<size_t>(std::min<uint64_t>(cells, limits_.maxCells)));
    }
  }

  void StartRow(const char** attributes) {
    if (const char* r = FindAttribute(attributes, "r")) {
      const auto number = ParseUnsigned(r);
      if (!number || *number == 0 || *number > kMaxRows) {
        FailInPart("damaged XLSX file: the row number \"" + std::string(r) + "\" in " + part_ +
             " is not valid");
        return;
      }
      row_ = *number - 1;
    } else {
      row_ = seenRow_ ? row_ + 1 : 0;
    }
    seenRow_ = true;
    nextColumn_ = 0;
  }

  void StartCell(const char** attributes) {
    const char* reference = nullptr;
    const char* type = nullptr;
    const char* style = nullptr;
    for (const char** a = attributes; *a != nullptr; a += 2) {
      if (a[0][0] == '\0' || a[0][1] != '\0') continue;
      switch (a[0][0]) {
        case 'r': reference = a[1]; break;
        case 't': type = a[1]; break;
        case 's': style = a[1]; break;
      }
    }
    if (reference != nullptr) {
      if (!ParseCellReference(reference, row_, column_)) {
        FailInPart("damaged XLSX file: the cell reference \"" + std::string(reference) + "\" in " +
             part_ + " is not valid");
        return;
      }
      seenRow_ = true;
    } else {
      column_ = nextColumn_;
      seenRow_ = true;  // a cell before any row element is in row 1
      if (column_ >= kMaxColumns) {
        FailInPart("damaged XLSX file: a row of " + part_ + " has more than " +
             std::to_string(kMaxColumns) + " cells");
        return;
      }
    }
    nextColumn_ = column_ + 1;
    const auto cellType = ParseCellType(type);
    if (!cellType) {
      FailAtCell("cell " + SheetCellName(row_, column_) + " of the XLSX worksheet has the unknown type \"" +
           std::string(type) + "\"");
      return;
    }
    type_ = *cellType;
    dateKind_ = NumberFormatKind::kNone;
    if (style != nullptr) {
      // An index past the cell formats is a broken style; the number stays a number.
      const auto index = ParseUnsigned(style);
      if (index && *index < context_.dateKinds.size()) dateKind_ = context_.dateKinds[*index];
    }
    inCell_ = true;
    hasInline_ = false;
    value_.clear();
    inline_.clear();
  }

  void EndCell() {
    inCell_ = collectingValue_ = collectingInline_ = inInline_ = false;
    phoneticDepth_ = 0;
    AddValue();
    if (sheet_.valuesGiven() > limits_.maxCells)
      FailInPart("the XLSX worksheet has more than " + std::to_string(limits_.maxCells) +
           " cells with a value");
  }

  std::string CellName() const { return SheetCellName(row_, column_); }
  void FailInPart(std::string why) { Fail(std::move(why), {.part = part_}); }
  void FailAtCell(std::string why) { Fail(std::move(why), SheetCellPlace(row_, column_, part_)); }

  void AddValue() {
    switch (type_) {
      case CellType::kShared: return AddSharedString();
      case CellType::kFormulaText:
        DecodeXmlTextEscapes(value_);
        return sheet_.AddText(row_, column_, value_);
      case CellType::kInline: {
        std::string& text = hasInline_ ? inline_ : value_;
        DecodeXmlTextEscapes(text);
        return sheet_.AddText(row_, column_, text);
      }
      case CellType::kError:
        return sheet_.AddError(row_, column_, TrimSpaces(value_));
      case CellType::kBoolean: return AddBoolean();
      case CellType::kIsoDate: return AddIsoDate();
      case CellType::kNumber: return AddNumber();
    }
  }

  void AddSharedString() {
    const std::string_view text = TrimSpaces(value_);
    if (text.empty()) return;
    const auto index = ParseUnsigned(text);
    if (!index || *index >= context_.strings.size()) {
      FailAtCell("cell " + CellName() + " of the XLSX worksheet refers to shared string \"" +
           std::string(text) + "\", but the workbook has " +
           std::to_string(context_.strings.size()));
      return;
    }
    sheet_.AddText(row_, column_, context_.strings[*index]);
  }

  void AddBoolean() {
    const std::string_view text = TrimSpaces(value_);
    if (text.empty()) return;
    if (text == "1" || text == "true") return sheet_.AddBoolean(row_, column_, true);
    if (text == "0" || text == "false") return sheet_.AddBoolean(row_, column_, false);
    FailAtCell("cell " + CellName() + " of the XLSX worksheet holds the boolean \"" +
         std::string(text) + "\", which is neither 0 nor 1");
  }

  void AddIsoDate() {
    const std::string_view text = TrimSpaces(value_);
    if (text.empty()) return;
    const auto date = ParseIsoDate(text);
    if (!date) {
      FailAtCell("cell " + CellName() + " of the XLSX worksheet holds the date \"" + std::string(text) +
           "\", which cannot be read");
      return;
    }
    // The cell's format decides how the sheet shows it; without a date
    // format, what the text gives.
    AddDateValue(sheet_, row_, column_,
                 dateKind_ != NumberFormatKind::kNone ? DateValueKind(dateKind_) : date->kind,
                 date->serial);
  }

  void AddNumber() {
    const std::string_view text = TrimSpaces(value_);
    if (text.empty()) return;
    double number = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(number)) {
      FailAtCell("cell " + CellName() + " of the XLSX worksheet holds the number \"" +
           std::string(text) + "\", which cannot be read");
      return;
    }
    AddFormattedNumber(sheet_, row_, column_, number, dateKind_, context_.date1904);
  }

  const std::string& part_;
  const WorksheetContext& context_;
  const PackageLimits& limits_;
  SheetData& sheet_;

  bool inSheetData_ = false;
  bool seenRow_ = false;
  uint32_t row_ = 0;
  uint32_t nextColumn_ = 0;

  // The cell being read.
  bool inCell_ = false;
  uint32_t column_ = 0;
  CellType type_ = CellType::kNumber;
  NumberFormatKind dateKind_ = NumberFormatKind::kNone;
  bool collectingValue_ = false;
  bool collectingInline_ = false;
  bool inInline_ = false;
  bool hasInline_ = false;
  uint32_t phoneticDepth_ = 0;
  std::string value_;   // text of <v>
  std::string inline_;  // text of <is>, phonetic guide left out
};

}  // namespace

Status ReadWorksheetCells(ZipPackage& zip, const std::string& part, const WorksheetContext& context,
                          const PackageLimits& limits, SheetData& sheet) {
  WorksheetHandler handler(part, context, limits, sheet);
  return ParseXmlPart(zip, part, handler, limits);
}

}  // namespace tabrelium
