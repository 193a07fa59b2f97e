#include "sheets/ods_sheet_parser.h"

#include <algorithm>

#include "sheets/ods_cell_text.h"
#include "sheets/ods_cell_value.h"
#include "sheets/ods_row_cells.h"
#include "sheets/xml_part.h"

namespace tabrelium {
namespace {

// Inside a paragraph, what the sheet does not show as the cell's text: a
// comment, a note, a drawing's text, the reading guide of ruby text.
bool IsHiddenInParagraph(std::string_view name) {
  return name == "annotation" || name == "note" || name == "frame" || name == "custom-shape" ||
         name == "ruby-text";
}

uint32_t ClampToUint32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
}

// <office:spreadsheet><table:table><table:table-row table:number-rows-repeated>
// <table:table-cell office:value-type table:number-columns-repeated>
// <text:p>..<text:s text:c/><text:tab/><text:line-break/><text:span>..</text:p>
// <office:annotation>..</office:annotation></table:table-cell>
// <table:covered-table-cell/></table:table-row></table:table>
class TableHandler : public XmlPartHandler {
 public:
  TableHandler(const std::string& part, const PackageLimits& limits, SheetData& sheet)
      : part_(part), limits_(limits), sheet_(sheet), rowCells_(sheet) {}

  bool sawTable() const { return tableDepth_ != 0; }

  void OnStart(std::string_view name, const char** attributes) override {
    ++depth_;
    if (tableDepth_ == 0) {
      if (name == "spreadsheet")
        inSpreadsheet_ = true;
      else if (name == "table" && inSpreadsheet_)
        tableDepth_ = depth_;
      return;
    }
    if (cellDepth_ != 0) return StartInCell(name, attributes);
    if (name == "table-row") {
      StartRow(attributes);
    } else if (rowDepth_ != 0 && (name == "table-cell" || name == "covered-table-cell")) {
      StartCell(attributes, name == "covered-table-cell");
    }
  }

  void OnEnd(std::string_view name) override {
    const uint32_t depth = depth_--;
    if (tableDepth_ == 0) {
      if (name == "spreadsheet") inSpreadsheet_ = false;
      return;
    }
    if (depth == skipDepth_) skipDepth_ = 0;
    if (depth == paragraphDepth_) paragraphDepth_ = 0;
    if (depth == cellDepth_) {
      EndCell();
    } else if (depth == rowDepth_) {
      EndRow();
    } else if (depth == tableDepth_) {
      Finish();  // the first table alone is the sheet
    }
  }

  void OnText(std::string_view text) override {
    if (paragraphDepth_ != 0 && skipDepth_ == 0 && UsesText()) text_.AppendCharacters(text);
  }

 private:
  std::string CellName() const {
    return SheetCellName(ClampToUint32(row_), ClampToUint32(cellColumn_));
  }
  void FailAtCell(const std::string& why) {
    Fail("cell " + CellName() + " of the OpenDocument sheet " + why,
         SheetCellPlace(ClampToUint32(row_), ClampToUint32(cellColumn_), part_));
  }

  // A repeat attribute's count, 1 when it is absent.
  bool ReadRepeat(const char* text, uint64_t& repeat) {
    repeat = 1;
    if (text == nullptr) return true;
    const auto count = ParseOdsRepeat(text);
    if (!count) {
      Fail("damaged OpenDocument file: the repeat count \"" + std::string(text) + "\" near cell " +
               CellName() + " is not a whole number from 1 up",
           SheetCellPlace(ClampToUint32(row_), ClampToUint32(cellColumn_), part_));
      return false;
    }
    repeat = *count;
    return true;
  }

  void StartRow(const char** attributes) {
    cellColumn_ = 0;
    if (!ReadRepeat(FindAttribute(attributes, "table:number-rows-repeated"), rowRepeat_)) return;
    rowDepth_ = depth_;
    column_ = 0;
  }

  void EndRow() {
    rowDepth_ = 0;
    rowCells_.EndRow(row_, rowRepeat_);
    row_ = rowRepeat_ > UINT64_MAX - row_ ? UINT64_MAX : row_ + rowRepeat_;
    if (sheet_.valuesGiven() > limits_.maxCells)
      Fail("the OpenDocument sheet has more than " + std::to_string(limits_.maxCells) +
               " cells with a value",
           {.part = part_});
  }

  void StartCell(const char** attributes, bool covered) {
    cellColumn_ = column_;
    const OdsCellAttributes found = FindOdsCellAttributes(attributes);
    if (!ReadRepeat(found.columnsRepeated, cellRepeat_)) return;
    column_ = cellRepeat_ > UINT64_MAX - column_ ? UINT64_MAX : column_ + cellRepeat_;
    cellDepth_ = depth_;
    text_.Clear();
    content_.source = OdsCellContent::Source::kNone;
    // A covered cell's place belongs to the merged cell before it.
    if (covered) return;
    if (auto why = ReadOdsCellContent(found, content_)) FailAtCell(*why);
  }

  // Whether the cell's value is the text of its paragraphs.
  bool UsesText() const { return content_.source == OdsCellContent::Source::kParagraphs; }

  void StartInCell(std::string_view name, const char** attributes) {
    if (skipDepth_ != 0 || !UsesText()) return;
    if (paragraphDepth_ == 0) {
      if (depth_ == cellDepth_ + 1 && (name == "p" || name == "h")) {
        paragraphDepth_ = depth_;
        text_.StartParagraph();
      }
      return;  // an annotation or a drawing beside the paragraphs shows no text in the cell
    }
    if (IsHiddenInParagraph(name)) {
      skipDepth_ = depth_;
    } else if (name == "s") {
      const char* count = FindAttribute(attributes, "text:c");
      const auto spaces = count ? ParseOdsRepeat(count) : std::optional<uint64_t>(1);
      text_.AppendSpaces(spaces.value_or(1));
    } else if (name == "tab") {
      text_.AppendLiteral('\t');
    } else if (name == "line-break") {
      text_.AppendLiteral('\n');
    }
  }

  void EndCell() {
    cellDepth_ = skipDepth_ = paragraphDepth_ = 0;
    switch (content_.source) {
      case OdsCellContent::Source::kNone:
        return;
      case OdsCellContent::Source::kValue:
        return rowCells_.Add(cellColumn_, cellRepeat_, content_.value, {});
      case OdsCellContent::Source::kStringValue:
        if (!content_.stringValue.empty())
          rowCells_.Add(cellColumn_, cellRepeat_, content_.value, content_.stringValue);
        return;
      case OdsCellContent::Source::kParagraphs:
        if (!text_.text().empty())
          rowCells_.Add(cellColumn_, cellRepeat_, content_.value, text_.text());
        return;
    }
  }

  const std::string& part_;
  const PackageLimits& limits_;
  SheetData& sheet_;
  OdsRowCells rowCells_;

  uint32_t depth_ = 0;
  bool inSpreadsheet_ = false;
  // Depths of the open table, row, cell, paragraph and hidden part; 0 when none.
  uint32_t tableDepth_ = 0, rowDepth_ = 0, cellDepth_ = 0, paragraphDepth_ = 0, skipDepth_ = 0;

  uint64_t row_ = 0;  // the row being read (0-based)
  uint64_t rowRepeat_ = 1;
  uint64_t column_ = 0;      // where the next cell of the row begins
  uint64_t cellColumn_ = 0;  // the cell being read
  uint64_t cellRepeat_ = 1;
  OdsCellContent content_;
  OdsCellText text_;
};

}  // namespace

Status ReadOdsTable(ZipPackage& zip, const std::string& part, const PackageLimits& limits,
                    SheetData& sheet) {
  TableHandler handler(part, limits, sheet);
  Status read = ParseXmlPart(zip, part, handler, limits);
  if (read.ok() && !handler.sawTable())
    return Status::Failed("the OpenDocument file holds no sheet (it is not a spreadsheet)");
  return read;
}

}  // namespace tabrelium
