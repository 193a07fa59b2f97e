#include "sheets/sheet_reader.h"

#include <algorithm>

namespace tabrelium {

namespace {

SheetCell MakeCell(uint32_t row, uint32_t column, SheetValueKind kind, double number = 0) {
  SheetCell cell;
  cell.row = row;
  cell.column = static_cast<uint16_t>(column);
  cell.kind = kind;
  cell.number = number;
  return cell;
}

}  // namespace

void SheetData::AddWithText(SheetCell cell, std::string_view text) {
  cell.textOffset = static_cast<uint32_t>(arena_.size());
  cell.textLength = static_cast<uint32_t>(text.size());
  arena_.append(text);
  cells_.push_back(cell);
}

void SheetData::AddText(uint32_t row, uint32_t column, std::string_view utf8) {
  if (utf8.empty() || column > kMaxSheetColumn) return;
  AddWithText(MakeCell(row, column, SheetValueKind::kText), utf8);
}

void SheetData::AddGbkText(uint32_t row, uint32_t column, std::string_view gbk) {
  if (gbk.empty() || column > kMaxSheetColumn) return;
  SheetCell cell = MakeCell(row, column, SheetValueKind::kText);
  cell.textIsGbk = true;
  AddWithText(cell, gbk);
}

void SheetData::AddNumber(uint32_t row, uint32_t column, double value) {
  if (column <= kMaxSheetColumn) cells_.push_back(MakeCell(row, column, SheetValueKind::kNumber, value));
}

void SheetData::AddBoolean(uint32_t row, uint32_t column, bool value) {
  if (column <= kMaxSheetColumn)
    cells_.push_back(MakeCell(row, column, SheetValueKind::kBoolean, value ? 1.0 : 0.0));
}

void SheetData::AddDate(uint32_t row, uint32_t column, SheetValueKind kind, double serial) {
  if (column <= kMaxSheetColumn) cells_.push_back(MakeCell(row, column, kind, serial));
}

void SheetData::AddError(uint32_t row, uint32_t column, std::string_view text) {
  if (column <= kMaxSheetColumn) AddWithText(MakeCell(row, column, SheetValueKind::kError), text);
}

void SheetData::Clear() {
  cells_.clear();
  arena_.clear();
}

std::optional<SheetFormat> SheetFormatOf(std::string_view lowerExtension) {
  if (lowerExtension == "xlsx") return SheetFormat::kXlsx;
  if (lowerExtension == "xls") return SheetFormat::kXls;
  if (lowerExtension == "dbf") return SheetFormat::kDbf;
  return std::nullopt;
}

Status ReadSheet(SheetFormat format, const std::string& path, SheetData& sheet) {
  switch (format) {
    case SheetFormat::kXlsx: return ReadXlsxSheet(path, sheet);
    case SheetFormat::kXls: return ReadXlsSheet(path, sheet);
    case SheetFormat::kDbf: return ReadDbfSheet(path, sheet);
  }
  return Status::Failed("not a spreadsheet or dBASE file");
}

std::string SheetCellName(uint32_t row, uint32_t column) {
  std::string letters;
  for (uint64_t c = uint64_t{column} + 1; c > 0; c = (c - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters + std::to_string(uint64_t{row} + 1);
}

InputPlace SheetCellPlace(uint32_t row, uint32_t column, std::string part) {
  return {std::move(part), row + 1, column + 1};
}

}  // namespace tabrelium
