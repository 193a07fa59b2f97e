#include "sheets/sheet_reader.h"

#include <algorithm>
#include <cstdint>

#include "sheets/sheet_limits.h"

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

bool IsValueSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The bytes of the character at `at`: a UTF-8 sequence is its lead byte and
// the continuation bytes the lead announces (a stray byte is one
// character), as the GBK conversion steps over them; a GBK character is a
// lead byte and its trail byte.
size_t CharacterLength(std::string_view text, size_t at, bool gbk) {
  const auto lead = static_cast<uint8_t>(text[at]);
  if (gbk) return lead >= 0x81 && lead <= 0xFE && at + 1 < text.size() ? 2 : 1;
  const size_t announced = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  size_t length = 1;
  while (length < announced && at + length < text.size() &&
         (static_cast<uint8_t>(text[at + length]) & 0xC0) == 0x80)
    ++length;
  return length;
}

}  // namespace

std::string_view KeptSheetText(std::string_view text, bool gbk) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsValueSpace(text[begin])) ++begin;
  while (end > begin && IsValueSpace(text[end - 1])) --end;
  text = text.substr(begin, end - begin);
  size_t at = 0;
  for (size_t characters = 0; at < text.size() && characters < kKeptValueCharacters; ++characters)
    at += CharacterLength(text, at, gbk);
  return text.substr(0, at);
}

bool SheetData::Admit(uint32_t row, uint32_t column) {
  if (column > kMaxSheetColumn) return false;
  ++valuesGiven_;
  if (row < firstRow_ || column < firstColumn_) {
    firstRow_ = std::min(firstRow_, row);
    firstColumn_ = std::min(firstColumn_, column);
    windowMoved_ = true;
  }
  extent_.lastRow = std::max(extent_.lastRow, row);
  extent_.lastColumn = std::max(extent_.lastColumn, column);
  return InWindow(row, column);
}

bool SheetData::InWindow(uint32_t row, uint32_t column) const {
  return uint64_t{row} - firstRow_ < kSheetReadRows &&
         uint64_t{column} - firstColumn_ < kSheetReadColumns;
}

void SheetData::Keep(SheetCell cell, std::string_view text) {
  cell.textOffset = static_cast<uint32_t>(arena_.size());
  cell.textLength = static_cast<uint32_t>(text.size());
  arena_.append(text);
  cells_.push_back(cell);
  if (cells_.size() >= compactAt_) Compact();
}

// Cells kept under an earlier window that a lower first row or column has
// since pushed out go, with their texts; the limit then doubles, so a file
// whose corner keeps moving costs amortised linear time.
void SheetData::Compact() {
  if (windowMoved_) {
    std::string arena;
    size_t kept = 0;
    for (const SheetCell& cell : cells_) {
      if (!InWindow(cell.row, cell.column)) continue;
      SheetCell moved = cell;
      moved.textOffset = static_cast<uint32_t>(arena.size());
      arena.append(arena_, cell.textOffset, cell.textLength);
      cells_[kept++] = moved;
    }
    cells_.resize(kept);
    arena_ = std::move(arena);
    windowMoved_ = false;
  }
  compactAt_ = std::max(compactAt_, 2 * cells_.size());
}

SheetExtent SheetData::extent() const {
  if (firstRow_ == UINT32_MAX) return {};
  return {firstRow_, extent_.lastRow, firstColumn_, extent_.lastColumn};
}

void SheetData::Reserve(size_t cells) {
  cells_.reserve(std::min<size_t>(cells, kWindowCells));
}

void SheetData::AddText(uint32_t row, uint32_t column, std::string_view utf8) {
  if (utf8.empty() || !Admit(row, column)) return;
  Keep(MakeCell(row, column, SheetValueKind::kText), KeptSheetText(utf8));
}

void SheetData::AddGbkText(uint32_t row, uint32_t column, std::string_view gbk) {
  if (gbk.empty() || !Admit(row, column)) return;
  SheetCell cell = MakeCell(row, column, SheetValueKind::kText);
  cell.textIsGbk = true;
  Keep(cell, KeptSheetText(gbk, true));
}

void SheetData::AddNumber(uint32_t row, uint32_t column, double value) {
  if (Admit(row, column)) Keep(MakeCell(row, column, SheetValueKind::kNumber, value), {});
}

void SheetData::AddBoolean(uint32_t row, uint32_t column, bool value) {
  if (Admit(row, column)) Keep(MakeCell(row, column, SheetValueKind::kBoolean, value ? 1.0 : 0.0), {});
}

void SheetData::AddDate(uint32_t row, uint32_t column, SheetValueKind kind, double serial) {
  if (Admit(row, column)) Keep(MakeCell(row, column, kind, serial), {});
}

void SheetData::AddError(uint32_t row, uint32_t column, std::string_view text) {
  if (Admit(row, column)) Keep(MakeCell(row, column, SheetValueKind::kError), KeptSheetText(text));
}

void SheetData::Clear() {
  cells_.clear();
  arena_.clear();
  firstRow_ = firstColumn_ = UINT32_MAX;
  extent_ = {};
  valuesGiven_ = 0;
  windowMoved_ = false;
  compactAt_ = kWindowCells;
}

std::optional<SheetFormat> SheetFormatOf(std::string_view lowerExtension) {
  if (lowerExtension == "xlsx") return SheetFormat::kXlsx;
  if (lowerExtension == "xls") return SheetFormat::kXls;
  if (lowerExtension == "dbf") return SheetFormat::kDbf;
  if (lowerExtension == "ods" || lowerExtension == "fods") return SheetFormat::kOds;
  return std::nullopt;
}

Status ReadSheet(SheetFormat format, const std::string& path, SheetData& sheet) {
  switch (format) {
    case SheetFormat::kXlsx: return ReadXlsxSheet(path, sheet);
    case SheetFormat::kXls: return ReadXlsSheet(path, sheet);
    case SheetFormat::kDbf: return ReadDbfSheet(path, sheet);
    case SheetFormat::kOds: return ReadOdsSheet(path, sheet);
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
