#include "cli/pipeline.h"

#include <cstdio>

#include "config/config_file.h"
#include "config/field_grid_texts.h"
#include "data/text_cutter.h"
#include "data/text_loader.h"
#include "common/messages.h"

namespace tabrelium::cli {
namespace {

// As choosing item `item` of the separator combo.
std::optional<Failure> ChooseSeparator(int64_t item, Session& s) {
  if (item >= s.table.separatorCount)
    return Failure{"--separator " + std::to_string(item) + " is not in the separator list (0 to " +
                       std::to_string(s.table.separatorCount - 1) + ")",
                   2};
  const auto index = static_cast<uint8_t>(item);
  if (index == s.table.separatorIndex) return std::nullopt;
  s.table.separatorIndex = index;
  RecountFields(s.buffer, s.table, s.cells);
  BuildCellTable(s.buffer, s.table, s.cells);
  return std::nullopt;
}

// As choosing item `item` (0-based) of the start-line combo.
std::optional<Failure> ChooseStartLine(int64_t item, Session& s) {
  if (item > INT32_MAX)
    return Failure{"--start-line " + std::to_string(item) + " is too large", 2};
  if (item == s.table.startLine) return std::nullopt;
  s.table.startLine = static_cast<int32_t>(item);
  CountTextLines(s.buffer, s.table, s.cells);
  ClampStartLine(s.table, s.cells);
  BuildCellTable(s.buffer, s.table, s.cells);
  return std::nullopt;
}

}  // namespace

std::optional<Failure> LoadConfiguration(const Options& options, Session& session) {
  if (options.configPath) {
    // A path the user typed must exist; a missing default file is a first run.
    if (!LoadFieldConfig(*options.configPath, session.table))
      return Failure{"cannot read the configuration file " + *options.configPath, 1};
  } else {
    LoadFieldConfig(DefaultConfigPath(), session.table);
  }
  return std::nullopt;
}

std::optional<Failure> LoadAndCutDataFile(const Options& options, Session& s) {
  const std::string& path = *options.file;
  const std::string ext = LowerFileExtension(path);
  if (ext == "xls" || ext == "xlsx" || ext == "dbf") {
    s.fromSpreadsheet = true;
    if (!LoadSpreadsheet(path, s.buffer, s.cells, s.sheetReport))
      return Failure{std::string(messages::kInvalidDataFile) + "\n" + s.sheetReport.error, 1};
  } else if (ext != "txt" && ext != "csv") {
    return Failure{std::string(messages::kInvalidDataFile), 1};
  } else if (!LoadTextFile(path, s.buffer, s.cells)) {
    return Failure{std::string(messages::kInvalidDataFile), 1};
  }
  CountTextLines(s.buffer, s.table, s.cells);
  DetectSeparator(s.buffer, s.table, s.cells);
  ClampStartLine(s.table, s.cells);
  BuildCellTable(s.buffer, s.table, s.cells);
  for (const ComboChoice& choice : options.choices) {
    auto failure = choice.kind == ComboChoice::Kind::kSeparator ? ChooseSeparator(choice.item, s)
                                                                : ChooseStartLine(choice.item, s);
    if (failure) return failure;
  }
  return std::nullopt;
}

std::vector<std::string> CutWarnings(const Session& s) {
  std::vector<std::string> warnings;
  const SpreadsheetReport& sheet = s.sheetReport;
  if (sheet.droppedColumns > 0)
    warnings.push_back("the worksheet has more than " + std::to_string(kMaxSheetColumns) +
                       " columns; only the first " + std::to_string(kMaxSheetColumns) +
                       " were read");
  if (sheet.droppedRows > 0)
    warnings.push_back("the worksheet has more than " + std::to_string(kMaxSheetRows) +
                       " rows; only the first " + std::to_string(kMaxSheetRows) + " were read");
  if (sheet.stoppedAtTextLimit)
    warnings.push_back("the worksheet's text reached 64 MiB; the rows after it were not read");
  const size_t unmappable = s.buffer.unmappable + sheet.unmappable;
  if (unmappable > 0)
    warnings.push_back(std::to_string(unmappable) +
                       " character(s) have no GBK form and were replaced by '?'");
  if (s.buffer.WasTruncated())
    warnings.push_back("the data file's text is over " + std::to_string(kMaxTextBytes) +
                       " bytes; only the first " + std::to_string(kMaxTextBytes) +
                       " were read");
  const CutReport& r = s.cells.report;
  if (r.cutCells > 0)
    warnings.push_back(std::to_string(r.cutCells) + " cell(s) longer than " +
                       std::to_string(kMaxCellBytes) + " bytes were cut, the first at row " +
                       std::to_string(r.firstCutRow) + ", column " +
                       std::to_string(r.firstCutColumn));
  if (r.linesOverMaxColumns > 0)
    warnings.push_back(std::to_string(r.linesOverMaxColumns) + " line(s) have more than " +
                       std::to_string(kMaxColumns) + " fields; fields after the " +
                       std::to_string(kMaxColumns) + "th were dropped");
  return warnings;
}

std::optional<Failure> PrepareData(const Options& options, Session& session) {
  if (auto failure = LoadConfiguration(options, session)) return failure;
  if (auto failure = LoadAndCutDataFile(options, session)) return failure;
  for (const std::string& warning : CutWarnings(session))
    std::fprintf(stderr, "tabrelium-cli: warning: %s\n", warning.c_str());
  return std::nullopt;
}

std::optional<Failure> ReadBackFields(Session& session) {
  RoundTripThroughGrid(session.table);
  if (!IsFieldConfigValid(session.table, session.cells.columnCount))
    return Failure{std::string(messages::kConfigurationError), 1};
  return std::nullopt;
}

std::optional<Failure> PrepareImage(const Options& options, Session& session, TableImage& image) {
  if (auto failure = PrepareData(options, session)) return failure;
  if (auto failure = ReadBackFields(session)) return failure;
  BuildTableImage(session.cells, session.table, image);
  if (image.droppedRows > 0)
    std::fprintf(stderr,
                 "tabrelium-cli: warning: %lld row(s) did not fit in the image and were dropped\n",
                 static_cast<long long>(image.droppedRows));
  if (image.imageSize > kMaxDownloadBytes)
    return Failure{std::string(messages::kImageTooLarge), 1};
  return std::nullopt;
}

}  // namespace tabrelium::cli
