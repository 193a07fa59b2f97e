#include "data/session.h"

#include <cctype>

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

Status LoadFailure(const Status& why) {
  return why.code() == Status::Code::kErrorValue
             ? why
             : Status::Failed(texts::LoadFailureText(why), why.place());
}

}  // namespace

Session::Session() : fields_(MakeDefaultFieldTable()) {}

Status Session::LoadConfiguration(const std::string& path) {
  if (Status regular = CheckRegularFile(path); !regular.ok()) {
    fields_ = MakeDefaultFieldTable();
    return regular;
  }
  if (!LoadFieldConfig(path, fields_)) return Status::Failed({});
  return {};
}

Status Session::SaveConfiguration(const std::string& path) const {
  return SaveFieldConfig(path, fields_);
}

void Session::SetFields(const FieldTable& table) { fields_ = table; }

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
    return LoadFailure(Status::Failed({}));
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

void Session::CutNewText() { startLineLowered_ = !CutLoadedText(buffer_, fields_, cells_); }

bool Session::ChooseSeparator(int64_t item) {
  if (item < 0 || item >= fields_.separatorCount || item == fields_.separatorIndex) return false;
  fields_.separatorIndex = static_cast<uint8_t>(item);
  RecutForSeparator(buffer_, fields_, cells_);
  return true;
}

bool Session::ChooseStartLine(int32_t item) {
  if (item < 0 || item == fields_.startLine) return false;
  fields_.startLine = item;
  startLineLowered_ = !RecutForStartLine(buffer_, fields_, cells_);
  return true;
}

FieldGridTexts Session::GridTexts() const { return FillGridFromFields(fields_); }

Status Session::ApplyGridTexts(const FieldGridTexts& texts) {
  ReadFieldsFromGridTexts(texts, fields_);
  return CheckFields();
}

Status Session::CheckFields() const {
  if (IsFieldConfigValid(fields_, GetColumnCount(cells_))) return {};
  return Status::Failed(std::string(texts::kConfigurationError));
}

Status Session::BuildImage() {
  if (Status fit = CheckFields(); !fit.ok()) return fit;
  BuildTableImage(cells_, fields_, image_);
  return {};
}

Status Session::BuildImageForDownload() {
  if (Status built = BuildImage(); !built.ok()) return built;
  if (image_.imageSize > kMaxDownloadBytes) return Status::Failed(std::string(texts::kImageTooLarge));
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
