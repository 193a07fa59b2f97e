#include "sheets/xls_worksheet.h"

#include <cmath>
#include <cstring>
#include <string>

#include "sheets/xls_records.h"
#include "sheets/xls_text.h"

namespace tabrelium {
namespace {

// An RK value: a number packed into 30 bits, either a whole number or the
// top of a double, possibly to be divided by 100.
double RkNumber(uint32_t rk) {
  double value = 0;
  if ((rk & 0x02) != 0) {
    value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
  } else {
    const uint64_t bits = uint64_t{rk & 0xFFFFFFFCu} << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return (rk & 0x01) != 0 ? value / 100 : value;
}

// The error values as the sheet shows them, by their code.
std::string ErrorText(uint8_t code) {
  switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    case 0x2B: return "#GETTING_DATA";
    default: return "#ERROR " + std::to_string(code);
  }
}

// A formula's cached result that is not a number: its last two bytes are
// FF FF and its first byte says what it is.
enum class FormulaResult : uint8_t { kText = 0, kBoolean = 1, kError = 2, kEmptyText = 3 };

class WorksheetReader {
 public:
  WorksheetReader(std::span<const uint8_t> stream, const XlsWorkbookGlobals& globals,
                  SheetData& sheet)
      : stream_(stream),
        globals_(globals),
        sheet_(sheet),
        codePage_(globals.biff8 ? XlsCodePage() : XlsCodePage(globals.codePage)) {}

  Status Read() {
    BiffRecordReader records(stream_, globals_.firstWorksheet);
    BiffRecord record;
    // Charts embedded in the worksheet are substreams of their own, from
    // their BOF to their EOF.
    uint32_t depth = 0;
    while (records.Next(record)) {
      if (record.id == biff::kBof) {
        ++depth;
        continue;
      }
      if (record.id == biff::kEof) {
        if (depth <= 1) return {};
        --depth;
        continue;
      }
      if (depth != 1) continue;
      if (record.id == biff::kString) {
        if (Status read = ReadFormulaText(record, records); !read.ok()) return read;
        continue;
      }
      if (Status read = ReadRecord(record); !read.ok()) return read;
    }
    if (records.damaged())
      return Status::Failed(
          "the XLS workbook is damaged: a record runs past the end of the workbook stream");
    return Status::Failed("the XLS workbook is cut short: its first worksheet has no end");
  }

 private:
  Status ReadRecord(const BiffRecord& record) {
    ByteCursor cursor(record.data);
    uint16_t row = 0, column = 0, xf = 0;
    switch (record.id) {
      case biff::kDimensions: return Reserve(cursor);
      case biff::kLabelSst:
      case biff::kLabel:
      case biff::kRString:
      case biff::kRk:
      case biff::kNumber:
      case biff::kBoolErr:
      case biff::kFormula:
        break;
      case biff::kMulRk: return ReadMulRk(cursor);
      default: return {};
    }
    // Every cell record begins with its row, column and cell format.
    if (!cursor.U16(row) || !cursor.U16(column) || !cursor.U16(xf))
      return Status::Failed("the XLS workbook is damaged: a cell record is cut short");
    row_ = row;
    column_ = column;
    pendingText_ = false;
    switch (record.id) {
      case biff::kLabelSst: return ReadSharedString(cursor);
      case biff::kLabel:
      case biff::kRString: return ReadLabel(cursor);
      case biff::kRk: {
        uint32_t rk = 0;
        if (!cursor.U32(rk)) return CutShort();
        return AddNumber(RkNumber(rk), xf);
      }
      case biff::kNumber: {
        double number = 0;
        if (!cursor.F64(number)) return CutShort();
        return AddNumber(number, xf);
      }
      case biff::kBoolErr: {
        uint8_t value = 0, isError = 0;
        if (!cursor.U8(value) || !cursor.U8(isError)) return CutShort();
        AddBooleanOrError(value, isError != 0);
        return {};
      }
      default: return ReadFormula(cursor, xf);
    }
  }

  // DIMENSIONS: the used rows and columns, ends exclusive (Excel 97: 32-bit
  // rows). Only a hint: SheetData caps what it reserves.
  Status Reserve(ByteCursor& cursor) {
    uint32_t firstRow = 0, endRow = 0;
    uint16_t firstColumn = 0, endColumn = 0;
    if (globals_.biff8) {
      if (!cursor.U32(firstRow) || !cursor.U32(endRow)) return {};
    } else {
      uint16_t first = 0, end = 0;
      if (!cursor.U16(first) || !cursor.U16(end)) return {};
      firstRow = first;
      endRow = end;
    }
    if (!cursor.U16(firstColumn) || !cursor.U16(endColumn) || endRow <= firstRow ||
        endColumn <= firstColumn)
      return {};
    sheet_.Reserve(static_cast<size_t>(uint64_t{endRow - firstRow} * (endColumn - firstColumn)));
    return {};
  }

  Status ReadSharedString(ByteCursor& cursor) {
    uint32_t index = 0;
    if (!cursor.U32(index)) return CutShortCell();
    if (index >= globals_.strings.size())
      return FailAtCell("cell " + SheetCellName(row_, column_) +
                        " of the XLS worksheet refers to shared string " + std::to_string(index) +
                        ", but the workbook has " + std::to_string(globals_.strings.size()));
    sheet_.AddText(row_, column_, globals_.strings[index]);
    return {};
  }

  // LABEL and RSTRING: the text right in the record (a rich label's runs
  // follow it and are not needed).
  Status ReadLabel(ByteCursor& cursor) {
    if (globals_.biff8) {
      bytes_.Reset(cursor.Rest());
      if (!ReadBiff8String(bytes_, text_)) return CutShortCell();
      sheet_.AddText(row_, column_, text_);
      return {};
    }
    uint16_t length = 0;
    std::span<const uint8_t> text;
    if (!cursor.U16(length) || !cursor.Bytes(length, text)) return CutShortCell();
    AddCodePageText(text);
    return {};
  }

  // MULRK: a row, the first column, then a cell format and an RK value per
  // column, then the last column.
  Status ReadMulRk(ByteCursor& cursor) {
    uint16_t row = 0, first = 0;
    if (!cursor.U16(row) || !cursor.U16(first) || cursor.left() < 2)
      return Status::Failed("the XLS workbook is damaged: a row of numbers is cut short");
    pendingText_ = false;
    const size_t count = (cursor.left() - 2) / 6;
    row_ = row;
    for (size_t i = 0; i < count; ++i) {
      uint16_t xf = 0;
      uint32_t rk = 0;
      cursor.U16(xf);
      cursor.U32(rk);
      column_ = first + static_cast<uint32_t>(i);
      if (Status added = AddNumber(RkNumber(rk), xf); !added.ok()) return added;
    }
    return {};
  }

  // FORMULA: the cached result (8 bytes), then flags and the formula
  // itself, which is not needed.
  Status ReadFormula(ByteCursor& cursor, uint16_t xf) {
    std::span<const uint8_t> result;
    if (!cursor.Bytes(8, result)) return CutShort();
    if (result[6] != 0xFF || result[7] != 0xFF) {
      double number = 0;
      std::memcpy(&number, result.data(), sizeof number);
      return AddNumber(number, xf);
    }
    switch (static_cast<FormulaResult>(result[0])) {
      case FormulaResult::kText: pendingText_ = true; break;
      case FormulaResult::kBoolean: AddBooleanOrError(result[2], false); break;
      case FormulaResult::kError: AddBooleanOrError(result[2], true); break;
      case FormulaResult::kEmptyText: break;
      default:
        return FailAtCell("cell " + SheetCellName(row_, column_) +
                          " of the XLS worksheet holds a formula whose result cannot be read");
    }
    return {};
  }

  // STRING: the text result of the formula just before it (a shared or
  // array formula's records may come between); it may run on into
  // CONTINUE records.
  Status ReadFormulaText(const BiffRecord& record, BiffRecordReader& records) {
    bytes_.Reset(record.data);
    while (records.PeekId() == biff::kContinue) {
      BiffRecord next;
      if (!records.Next(next)) break;
      bytes_.Append(next.data);
    }
    if (!pendingText_) return {};
    pendingText_ = false;
    if (globals_.biff8) {
      if (!ReadBiff8String(bytes_, text_)) return CutShortCell();
      sheet_.AddText(row_, column_, text_);
      return {};
    }
    ByteCursor cursor(record.data);
    uint16_t length = 0;
    std::span<const uint8_t> text;
    if (!cursor.U16(length) || !cursor.Bytes(length, text)) return CutShortCell();
    AddCodePageText(text);
    return {};
  }

  Status AddNumber(double number, uint16_t xf) {
    if (!std::isfinite(number))
      return FailAtCell("cell " + SheetCellName(row_, column_) +
                        " of the XLS worksheet holds a number that cannot be read");
    const NumberFormatKind kind =
        xf < globals_.dateKinds.size() ? globals_.dateKinds[xf] : NumberFormatKind::kNone;
    AddFormattedNumber(sheet_, row_, column_, number, kind, globals_.date1904);
    return {};
  }

  void AddBooleanOrError(uint8_t value, bool isError) {
    if (isError) sheet_.AddError(row_, column_, ErrorText(value));
    else sheet_.AddBoolean(row_, column_, value != 0);
  }

  void AddCodePageText(std::span<const uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (codePage_.gbk()) sheet_.AddGbkText(row_, column_, text);
    else sheet_.AddText(row_, column_, codePage_.ToUtf8(text));
  }

  Status FailAtCell(std::string why) const {
    return Status::Failed(std::move(why), SheetCellPlace(row_, column_));
  }
  Status CutShortCell() const {
    return FailAtCell("the XLS workbook is damaged: the text of cell " +
                      SheetCellName(row_, column_) + " is cut short");
  }
  Status CutShort() const {
    return FailAtCell("the XLS workbook is damaged: cell " + SheetCellName(row_, column_) +
                      " is cut short");
  }

  std::span<const uint8_t> stream_;
  const XlsWorkbookGlobals& globals_;
  SheetData& sheet_;
  XlsCodePage codePage_;
  XlsContinuedBytes bytes_;
  std::string text_;
  uint32_t row_ = 0;
  uint32_t column_ = 0;
  bool pendingText_ = false;  // the last formula's text is in the next STRING record
};

}  // namespace

Status ReadXlsWorksheetCells(std::span<const uint8_t> stream, const XlsWorkbookGlobals& globals,
                             SheetData& sheet) {
  return WorksheetReader(stream, globals, sheet).Read();
}

}  // namespace tabrelium
