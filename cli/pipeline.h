// What tabrelium-cli does before each command, as the window does after the
// user picks a file: load the configuration, load the data file by its
// extension, cut it (CountTextLines, DetectSeparator, ClampStartLine,
// BuildCellTable), then replay the separator and start-line choices.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "config/field_table.h"
#include "data/cell_table.h"
#include "data/spreadsheet_loader.h"
#include "data/table_image.h"
#include "data/text_buffer.h"

namespace tabrelium::cli {

struct Session {
  FieldTable table{};
  TextBuffer buffer;
  CellTable cells;
  bool fromSpreadsheet = false;
  SpreadsheetReport sheetReport;
};

// A failure to report: the message (UTF-8) and the exit status.
struct Failure {
  std::string message;
  int status = 1;
};

std::optional<Failure> LoadConfiguration(const Options& options, Session& session);
std::optional<Failure> LoadAndCutDataFile(const Options& options, Session& session);

// The loss the old tool kept quiet about, as warning lines (UTF-8).
std::vector<std::string> CutWarnings(const Session& session);

// The configuration and the data file, loaded and cut, with the warnings
// written to stderr.
std::optional<Failure> PrepareData(const Options& options, Session& session);

// The window reads its grid back before every preview and download; the
// fields as the grid would give them are what the device gets.
std::optional<Failure> ReadBackFields(Session& session);

// PrepareData, ReadBackFields, then the table image with the window's
// checks before a download (at most 16 MiB).
std::optional<Failure> PrepareImage(const Options& options, Session& session, TableImage& image);

}  // namespace tabrelium::cli
