// The XLS (BIFF, Excel 97-2003) reader: the only file that touches FreeXL.
//
// FreeXL delivers a cell's value already typed: numbers, UTF-8 text, and
// dates and times as text, which go back to serials here. FreeXL 1.0.6 does
// not tell booleans and error values apart from numbers: a TRUE cell comes
// out as the number 1, FALSE as 0, and an error cell (#N/A, #DIV/0! ...) as
// the number 1. The reader can only pass on what the library reports.
#include <freexl.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "sheets/sheet_reader.h"
#include "sheets/sheet_dates.h"
#include "sheets/sheet_limits.h"

namespace tabrelium {
namespace {

// FreeXL wants freexl_close even after a failed open.
class XlsWorkbook {
 public:
  XlsWorkbook() = default;
  ~XlsWorkbook() {
    if (handle_ != nullptr) freexl_close(handle_);
  }
  XlsWorkbook(const XlsWorkbook&) = delete;
  XlsWorkbook& operator=(const XlsWorkbook&) = delete;

  int Open(const std::string& path) { return freexl_open(path.c_str(), &handle_); }
  const void* handle() const { return handle_; }

 private:
  const void* handle_ = nullptr;
};

std::string OpenFailure(int code) {
  switch (code) {
    case FREEXL_FILE_NOT_FOUND:
      return "the file cannot be opened";
    case FREEXL_INSUFFICIENT_MEMORY:
      return "not enough memory to read the workbook";
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
      return "not an XLS (Excel 97-2003) workbook";
    case FREEXL_CFBF_READ_ERROR:
    case FREEXL_CFBF_SEEK_ERROR:
      return "the file is cut short, or not an XLS (Excel 97-2003) workbook";
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
      return "the file holds no Excel workbook";
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_UNSUPPORTED_CHARSET:
      return "the workbook's text is in a code page that cannot be read";
    default:
      return "the XLS workbook is damaged (FreeXL error " + std::to_string(code) + ")";
  }
}

bool ParseNumber(std::string_view text, int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// "YYYY-MM-DD", as FreeXL writes dates.
bool ParseDate(std::string_view text, double& serial) {
  int y = 0, m = 0, d = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  if (!ParseNumber(text.substr(0, 4), y) || !ParseNumber(text.substr(5, 2), m) ||
      !ParseNumber(text.substr(8, 2), d))
    return false;
  if (!IsCalendarDate(y, m, d) && !(y == 1900 && m == 2 && d == 29)) return false;
  serial = DateSerial(y, m, d);
  return true;
}

// "HH:MM:SS", as FreeXL writes times.
bool ParseTime(std::string_view text, double& fraction) {
  int h = 0, m = 0, s = 0;
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  if (!ParseNumber(text.substr(0, 2), h) || !ParseNumber(text.substr(3, 2), m) ||
      !ParseNumber(text.substr(6, 2), s))
    return false;
  if (h > 23 || m > 59 || s > 59) return false;
  fraction = TimeFraction(h, m, s);
  return true;
}

bool HoldsValue(const FreeXL_CellValue& value) {
  switch (value.type) {
    case FREEXL_CELL_INT:
    case FREEXL_CELL_DOUBLE:
      return true;
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
      return value.value.text_value != nullptr && value.value.text_value[0] != '\0';
    default:
      return false;
  }
}

void AddCell(uint32_t row, uint32_t column, const FreeXL_CellValue& value, SheetData& sheet) {
  double serial = 0, fraction = 0;
  switch (value.type) {
    case FREEXL_CELL_INT:
      sheet.AddNumber(row, column, value.value.int_value);
      return;
    case FREEXL_CELL_DOUBLE:
      sheet.AddNumber(row, column, value.value.double_value);
      return;
    default:
      break;
  }
  const std::string_view text = value.value.text_value;
  // A date FreeXL wrote in a form not expected here is kept as its text
  // rather than lost.
  switch (value.type) {
    case FREEXL_CELL_DATE:
      if (ParseDate(text, serial)) return sheet.AddDate(row, column, SheetValueKind::kDate, serial);
      break;
    case FREEXL_CELL_DATETIME:
      if (text.size() == 19 && text[10] == ' ' && ParseDate(text.substr(0, 10), serial) &&
          ParseTime(text.substr(11), fraction))
        return sheet.AddDate(row, column, SheetValueKind::kDateTime, serial + fraction);
      break;
    case FREEXL_CELL_TIME:
      if (ParseTime(text, fraction))
        return sheet.AddDate(row, column, SheetValueKind::kTime, fraction);
      break;
    default:
      break;
  }
  sheet.AddText(row, column, text);
}

}  // namespace

Status ReadXlsSheet(const std::string& path, SheetData& sheet) {
  sheet.Clear();
  XlsWorkbook book;
  const int opened = book.Open(path);
  const void* xls = book.handle();
  unsigned int info = 0;
  // An encrypted workbook opens, but its cells cannot be read.
  if (xls != nullptr && freexl_get_info(xls, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
      info == FREEXL_BIFF_OBFUSCATED)
    return Status::Failed("the workbook is password-protected");
  if (opened != FREEXL_OK) return Status::Failed(OpenFailure(opened));

  if (freexl_get_info(xls, FREEXL_BIFF_SHEET_COUNT, &info) != FREEXL_OK || info == 0)
    return Status::Failed("the workbook has no worksheet");
  unsigned int rows = 0;
  unsigned short columns = 0;
  if (freexl_select_active_worksheet(xls, 0) != FREEXL_OK ||
      freexl_worksheet_dimensions(xls, &rows, &columns) != FREEXL_OK)
    return Status::Failed("the first worksheet cannot be read");

  // The used range starts at the first row and column that hold a value;
  // the delivery limits count from there.
  uint32_t firstRow = UINT32_MAX, firstColumn = UINT32_MAX;
  FreeXL_CellValue value;
  for (uint32_t r = 0; r < rows; ++r) {
    for (uint32_t c = 0; c < columns; ++c) {
      if (freexl_get_cell_value(xls, r, static_cast<unsigned short>(c), &value) != FREEXL_OK)
        return Status::Failed(
            "the XLS workbook is damaged: cell " + SheetCellName(r, c) + " cannot be read",
            SheetCellPlace(r, c));
      if (!HoldsValue(value)) continue;
      if (firstRow == UINT32_MAX) firstRow = r;
      if (c < firstColumn) firstColumn = c;
    }
  }
  if (firstRow == UINT32_MAX) return {};

  const uint32_t rowEnd = std::min<uint64_t>(rows, uint64_t{firstRow} + kSheetReadRows);
  const uint32_t columnEnd = std::min<uint64_t>(columns, uint64_t{firstColumn} + kSheetReadColumns);
  for (uint32_t r = firstRow; r < rowEnd; ++r) {
    for (uint32_t c = firstColumn; c < columnEnd; ++c) {
      if (freexl_get_cell_value(xls, r, static_cast<unsigned short>(c), &value) != FREEXL_OK)
        continue;  // every cell read in the first pass
      if (HoldsValue(value)) AddCell(r, c, value, sheet);
    }
  }
  return {};
}

}  // namespace tabrelium
