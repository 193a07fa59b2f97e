#include "data/session.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "common/gbk.h"
#include "common/regular_file.h"
#include "common/user_texts.h"
#include "config/config_file.h"
#include "data/text_cutter.h"
#include "data/text_loader.h"
#include "sheets/sheet_limits.h"

namespace tabrelium {
namespace {

// The extension of the file name in `path`, in lower case ("" for none).
std::string LowerFileExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// The rows the grid read-back keeps: a name that is not blank within the
// cell's 10 bytes (ReadFieldsFromGridTexts drops the others).
bool GridRowHasName(const std::string& name) {
  for (const char c : CutGbk(name, kMaxDisplayNameBytes))
    if (c != ' ' && (c < '\t' || c > '\r')) return true;
  return false;
}

Status LoadFailure(const Status& why) {
  return why.code() == Status::Code::kErrorValue
             ? why
             : Status::Failed(texts::LoadFailureText(why), why.place());
}

}  // namespace

Session::Session() { SetFields(MakeDefaultFieldTable()); }

Status Session::LoadConfiguration(const std::string& path) {
  if (Status regular = CheckRegularFile(path); !regular.ok()) {
    SetFields(MakeDefaultFieldTable());
    return regular;
  }
  FieldTable loaded = MakeDefaultFieldTable();
  const bool read = LoadFieldConfig(path, loaded);
  SetFields(loaded);
  if (!read) return Status::Failed({});
  return {};
}

Status Session::SaveConfiguration(const std::string& path) const {
  return SaveFieldConfig(path, fields_);
}

void Session::SetFields(const FieldTable& table) {
  fields_ = table;
  startLineInForce_ = fields_.startLine;
  for (int32_t i = 0; i < kMaxFields; ++i) gridRowOfField_[i] = i;
}

Status Session::LoadDataFile(const std::string& path) {
  if (Status regular = CheckRegularFile(path); !regular.ok()) return LoadFailure(regular);
  const std::string ext = LowerFileExtension(path);
  if (ext == "txt" || ext == "csv") {
    if (!LoadTextFile(path, buffer_, cells_)) return LoadFailure(Status::Failed({}));
    fromSpreadsheet_ = false;
    sheetReport_ = {};
  } else if (const std::optional<SheetFormat> format = SheetFormatOf(ext)) {
    SpreadsheetReport report;
    if (Status loaded = LoadSpreadsheet(*format, path, buffer_, cells_, report); !loaded.ok())
      return LoadFailure(loaded);
    fromSpreadsheet_ = true;
    sheetReport_ = report;
  } else {
    return Status::Failed(texts::UnreadTypeText(ext));
  }
  CutNewText();
  return {};
}

Status Session::LoadText(std::string_view gbk) {
  if (!LoadTextBytes(gbk, static_cast<int64_t>(gbk.size()), buffer_, cells_))
    return LoadFailure(Status::Failed({}));
  fromSpreadsheet_ = false;
  sheetReport_ = {};
  CutNewText();
  return {};
}

FieldTable Session::CutFields() const {
  FieldTable cut = fields_;
  cut.startLine = startLineInForce_;
  return cut;
}

// Each new text is cut from the user's start line again: a short file
// before it lowered the start line for that file only.
void Session::CutNewText() {
  FieldTable cut = fields_;
  startLineLowered_ = !CutLoadedText(buffer_, cut, cells_);
  fields_.separatorIndex = cut.separatorIndex;  // the detection's choice is the user's too
  startLineInForce_ = cut.startLine;
}

bool Session::ChooseSeparator(int64_t item) {
  if (item < 0 || item >= fields_.separatorCount || item == fields_.separatorIndex) return false;
  fields_.separatorIndex = static_cast<uint8_t>(item);
  RecutForSeparator(buffer_, CutFields(), cells_);
  return true;
}

bool Session::ChooseStartLine(int32_t item) {
  if (item < 0 || item == fields_.startLine) return false;
  fields_.startLine = item;
  if (item == startLineInForce_) return false;  // the cut stands; the choice is the user's now
  FieldTable cut = fields_;
  startLineLowered_ = !RecutForStartLine(buffer_, cut, cells_);
  startLineInForce_ = cut.startLine;
  return true;
}

FieldGridTexts Session::GridTexts() const { return FillGridFromFields(fields_); }

Status Session::ApplyGridTexts(const FieldGridTexts& texts) {
  ReadFieldsFromGridTexts(texts, fields_);
  int32_t field = 0;
  for (int32_t row = 0; row < kMaxFields; ++row)
    if (GridRowHasName(texts[row].displayName)) gridRowOfField_[field++] = row;
  for (; field < kMaxFields; ++field) gridRowOfField_[field] = field;
  return CheckFields();
}

Status Session::CheckFields() const {
  const int32_t columns = GetColumnCount(cells_);
  if (IsFieldConfigValid(fields_, columns)) return {};
  if (fields_.fieldCount <= 0) return Status::Failed(texts::ConfigurationErrorText(texts::NoFieldText()));
  // The first field that does not fit, told by the grid row the worker typed it in.
  const int32_t count = std::min<int32_t>(fields_.fieldCount, kMaxFields);
  for (int32_t i = 0; i < count; ++i) {
    const FieldSpec& field = fields_.fields[i];
    const int row = gridRowOfField_[i] + 1;
    if (static_cast<int32_t>(field.extractColn) > columns)
      return Status::Failed(texts::ConfigurationErrorText(
          texts::ColumnBeyondDataText(row, field.extractColn, columns)));
    if (field.displayRows == 0 || field.displayRows > kMaxDisplayRows)
      return Status::Failed(texts::ConfigurationErrorText(
          texts::DisplayRowsOutOfRangeText(row, field.displayRows, kMaxDisplayRows)));
  }
  return Status::Failed(std::string(texts::kConfigurationError));
}

Status Session::BuildImage() {
  if (Status fit = CheckFields(); !fit.ok()) return fit;
  BuildTableImage(cells_, fields_, image_);
  return {};
}

Status Session::BuildImageForDownload() {
  if (Status built = BuildImage(); !built.ok()) return built;
  if (image_.imageSize > kMaxDownloadBytes) {
    const std::span<const uint8_t> bytes(image_.bytes.data(), static_cast<size_t>(image_.imageSize));
    const int64_t header = GetHeaderLength(bytes);
    const int64_t record = std::max<int64_t>(1, GetRecordLength(bytes));
    const int64_t fit = std::max<int64_t>(0, (kMaxDownloadBytes - header) / record);
    return Status::Failed(
        texts::ImageTooLargeText(image_.imageSize, GetRecordCount(bytes), fit, kMaxDownloadBytes));
  }
  return {};
}

void Session::BuildPackage() {
  BuildDownloadPackage(
      std::span<const uint8_t>(image_.bytes.data(), static_cast<size_t>(image_.imageSize)),
      package_);
}

std::vector<LcdLine> Session::DescribeRecord(int32_t record) const {
  return BuildLcdPreview(fields_, cells_, record);
}

std::vector<std::string> Session::LossTexts() const {
  std::vector<std::string> losses;
  if (fromSpreadsheet_) {
    if (sheetReport_.droppedColumns > 0)
      losses.push_back(texts::SheetColumnsDroppedText(kMaxSheetColumns));
    if (sheetReport_.droppedRows > 0) losses.push_back(texts::SheetRowsDroppedText(kMaxSheetRows));
    if (sheetReport_.stoppedAtTextLimit) losses.push_back(texts::SheetTextLimitText());
  }
  const size_t unmappable = buffer_.unmappable + sheetReport_.unmappable;
  if (unmappable > 0) losses.push_back(texts::UnmappableText(unmappable));
  if (buffer_.WasTruncated()) losses.push_back(texts::TextTruncatedText());
  // The cutting rules end the text at a NUL byte; what that leaves out is
  // told like any other limit.
  if (const std::optional<NulCut> nul = FindNulCut(buffer_)) {
    if (fromSpreadsheet_ && sheetReport_.nulCell)
      losses.push_back(texts::SheetNulText(
          SheetCellName(sheetReport_.nulCell->row - 1, sheetReport_.nulCell->column - 1),
          nul->linesAfter));
    else
      losses.push_back(texts::NulText(nul->line, nul->linesAfter));
  }
  const CutReport& cut = cells_.report;
  if (cut.cutCells > 0)
    losses.push_back(
        texts::CellsCutText(cut.cutCells, kMaxCellBytes, cut.firstCutRow, cut.firstCutColumn));
  if (cut.linesOverMaxColumns > 0)
    losses.push_back(texts::FieldsDroppedText(cut.linesOverMaxColumns, kMaxColumns));
  return losses;
}

}  // namespace tabrelium
