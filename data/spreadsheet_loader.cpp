#include "data/spreadsheet_loader.h"

#include <algorithm>
#include <numeric>

#include "common/gbk.h"
#include "common/user_texts.h"
#include "data/text_loader.h"
#include "sheets/sheet_limits.h"
#include "sheets/sheet_value_text.h"

namespace tabrelium {
namespace {

bool RowMajorBefore(const SheetCell& a, const SheetCell& b) {
  return a.row != b.row ? a.row < b.row : a.column < b.column;
}

// The cells in row-major order. The readers deliver them so already; only
// an unusual file needs the sort (and the memory for it).
class RowMajorCells {
 public:
  explicit RowMajorCells(std::span<const SheetCell> cells) : cells_(cells) {
    if (std::is_sorted(cells.begin(), cells.end(), RowMajorBefore)) return;
    order_.resize(cells.size());
    std::iota(order_.begin(), order_.end(), 0u);
    std::stable_sort(order_.begin(), order_.end(),
                     [&](uint32_t a, uint32_t b) { return RowMajorBefore(cells[a], cells[b]); });
  }
  size_t size() const { return cells_.size(); }
  const SheetCell& operator[](size_t i) const { return order_.empty() ? cells_[i] : cells_[order_[i]]; }

 private:
  std::span<const SheetCell> cells_;
  std::vector<uint32_t> order_;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Trailing white space first, then leading; then at most 60 bytes, never
// ending inside a two-byte character.
std::string_view TrimAndCut(std::string_view value) {
  while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  return CutGbk(value, kMaxSheetValueBytes);
}

}  // namespace

Status LoadSheetText(const SheetData& sheet, TextBuffer& buffer, CellTable& cells,
                     SpreadsheetReport& report) {
  const std::span<const SheetCell> all = sheet.cells();
  if (all.empty()) return Status::Failed("the first worksheet holds no values");
  const SheetExtent range = sheet.extent();
  const uint64_t rows = uint64_t{range.lastRow} - range.firstRow + 1;
  const uint64_t columns = uint64_t{range.lastColumn} - range.firstColumn + 1;
  if (rows <= 1) return Status::Failed("the first worksheet has only one row");
  const uint32_t rowsRead = static_cast<uint32_t>(std::min<uint64_t>(rows, kMaxSheetRows));
  const uint32_t columnsRead = static_cast<uint32_t>(std::min<uint64_t>(columns, kMaxSheetColumns));
  report.droppedRows = static_cast<uint32_t>(rows - rowsRead);
  report.droppedColumns = static_cast<uint32_t>(columns - columnsRead);

  // From here on a failure leaves no data loaded: the cells of the data
  // before are gone, and half a worksheet must not pass for a whole one.
  ClearCellTable(cells);
  buffer.textLength = 0;
  auto fail = [&](Status why) {
    buffer.text.assign(1, 0);
    buffer.textEnd = 0;
    return why;
  };

  const RowMajorCells order(all);
  BulkVector<uint8_t> text;
  std::string value;
  size_t next = 0;  // into `order`
  for (uint32_t r = 0; r < rowsRead; ++r) {
    const uint32_t row = range.firstRow + r;
    const size_t rowStart = text.size();
    size_t total = 0;
    for (uint32_t k = 0; k < columnsRead; ++k) {
      const uint32_t column = range.firstColumn + k;
      // The last of several values given for one cell wins.
      const SheetCell* cell = nullptr;
      while (next < order.size() && (order[next].row < row ||
                                     (order[next].row == row && order[next].column <= column))) {
        const SheetCell& c = order[next++];
        if (c.row == row && c.column == column) cell = &c;
      }
      if (cell != nullptr) {
        if (cell->kind == SheetValueKind::kError)
          return fail(Status::ErrorValue(
              texts::ErrorValueText(SheetCellName(row, column), sheet.TextOf(*cell)),
              SheetCellPlace(row, column)));
        value.clear();
        AppendSheetValueText(sheet, *cell, value, report.unmappable);
        // Texts come trimmed from the sheet, and one the sheet bounded may
        // end in white space that is not the value's end: only cut it.
        const std::string_view kept = cell->kind == SheetValueKind::kText
                                          ? CutGbk(value, kMaxSheetValueBytes)
                                          : TrimAndCut(value);
        total += kept.size();
        if (!report.nulCell && kept.find('\0') != std::string_view::npos)
          report.nulCell = SheetCellPlace(row, column);
        text.insert(text.end(), kept.begin(), kept.end());
      }
      if (k + 1 < columnsRead) text.push_back('\t');
    }
    // Cells right of the columns read belong to no line.
    while (next < order.size() && order[next].row == row) ++next;

    if (total == 0) {
      text.resize(rowStart);  // an empty row leaves no trace
      continue;
    }
    // A row that would not fit in the buffer is not written.
    if (static_cast<int64_t>(text.size()) + 2 > kMaxTextBytes) {
      text.resize(rowStart);
      report.stoppedAtTextLimit = true;
      break;
    }
    text.push_back('\r');
    text.push_back('\n');
    if (static_cast<int64_t>(text.size()) + kSheetTextReserve >= kMaxTextBytes) {
      report.stoppedAtTextLimit = r + 1 < rowsRead;
      break;
    }
  }
  if (text.empty()) return fail(Status::Failed("every row of the first worksheet is empty"));
  AdoptTextBytes(std::move(text), buffer, cells);
  return {};
}

Status LoadSpreadsheet(SheetFormat format, const std::string& path, TextBuffer& buffer,
                       CellTable& cells, SpreadsheetReport& report) {
  SheetData sheet;
  if (Status read = ReadSheet(format, path, sheet); !read.ok()) return read;
  return LoadSheetText(sheet, buffer, cells, report);
}

}  // namespace tabrelium
