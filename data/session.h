// One loaded data file and everything made from it, as both front ends
// work on it: the field table (the user's configuration), the text buffer,
// the cell table, the report of what the load dropped, and the table image
// and download package built from them. Its operations are the user's
// actions: load a data file, choose a separator or a start line, apply the
// grid's texts, build the table for the device, look at a record on the
// device's display. The window and tabrelium-cli do nothing else to these
// stores, so both cut, preview and build the same bytes.
//
// Failures come back as a Status whose message is the user's text
// (common/user_texts.h), ready for a box or the terminal.
//
// Thread-safety: a Session belongs to one thread (the window's or the CLI's
// main thread). A download thread may read Package() while it runs; nothing
// may build another package until the download has ended.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "config/field_grid_texts.h"
#include "config/field_table.h"
#include "data/cell_table.h"
#include "data/lcd_preview.h"
#include "data/spreadsheet_loader.h"
#include "data/table_image.h"
#include "data/text_buffer.h"
#include "device/download_package.h"

namespace tabrelium {

class Session {
 public:
  Session();  // the default field table, nothing loaded
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The field table from the configuration file at `path` (the defaults
  // where it says nothing). Fails when the file cannot be read, the
  // defaults then standing: with an empty message when it is missing or
  // unreadable, with the user's text when it is no regular file (a FIFO, a
  // device, a folder), which is refused before it is opened for reading.
  Status LoadConfiguration(const std::string& path);
  // Saves the field table to `path` atomically; fails saying why.
  Status SaveConfiguration(const std::string& path) const;
  // Replaces the field table as a configuration file would.
  void SetFields(const FieldTable& table);

  // Loads the data file at `path` by its extension, in any case ("txt" and
  // "csv": text; "xlsx", "xls", "dbf": the first worksheet) and cuts it: the
  // lines are counted, the separator detected, the start line lowered to
  // the last line when the text is shorter, the cells built. On failure the
  // loaded data stay as they were, or are gone when the file broke off
  // while it was read (an empty file, a worksheet with an error value); the
  // failure's message is the user's text, its code kErrorValue when the
  // file holds an error value. A path that names no regular file (a FIFO,
  // a device, a folder) is refused before it is opened for reading, what
  // it is on the message's second line.
  Status LoadDataFile(const std::string& path);
  // The same for GBK text in memory (the fuzz targets and the tests).
  Status LoadText(std::string_view gbk);

  // As choosing item `item` of the separator list: a different separator
  // cuts the text again. Returns true when it did; an item outside the
  // list changes nothing.
  bool ChooseSeparator(int64_t item);
  // As choosing item `item` (0-based: the heading lines to skip) of the
  // start-line list: it becomes the user's start line, and the text is
  // counted and cut again from it, lowered to the last line when the text
  // is shorter. Returns true when it cut; a negative item, or the start
  // line already chosen, changes nothing.
  bool ChooseStartLine(int32_t item);
  // Whether the last cut had to lower the start line to the last line.
  bool StartLineLowered() const { return startLineLowered_; }
  // The start line the loaded text is cut with: the user's (Fields()),
  // or the last line of a text too short for it. The lowering holds for
  // this text only; the user's start line is what is saved and what the
  // next file is cut with.
  int32_t StartLineInForce() const { return startLineInForce_; }

  // The configuration grid's texts for the field table.
  FieldGridTexts GridTexts() const;
  // The grid read back into the field table; fails with the configuration
  // error when the fields do not fit the loaded data (no field, a column
  // beyond the data, a line count outside 1 to 10), the first misfit's grid
  // row and reason on its second line. The fields are taken either way.
  Status ApplyGridTexts(const FieldGridTexts& texts);
  // The check ApplyGridTexts ends with.
  Status CheckFields() const;

  // Builds the table image of the fields over every record. Fails with the
  // configuration error when the fields do not fit the loaded data.
  Status BuildImage();
  // BuildImage, then the download's own limit: fails when the image is
  // larger than 16 MiB, saying its size and how many records would fit
  // (the image stays built, for its size).
  Status BuildImageForDownload();
  // The download package of the last image built.
  // REQUIRES: BuildImageForDownload() succeeded; no download is running.
  void BuildPackage();

  // How record `record` (1-based) looks on the device's display: empty
  // outside the table. REQUIRES: CheckFields() succeeds.
  std::vector<LcdLine> DescribeRecord(int32_t record) const;

  // What the last load and cut dropped without failing, one user's text
  // per kind of loss; empty when nothing was lost.
  std::vector<std::string> LossTexts() const;

  const FieldTable& Fields() const { return fields_; }
  const TextBuffer& Text() const { return buffer_; }
  const CellTable& Cells() const { return cells_; }
  const TableImage& Image() const { return image_; }
  const DownloadPackage& Package() const { return package_; }
  // Whether the data loaded last came from a worksheet.
  bool FromSpreadsheet() const { return fromSpreadsheet_; }

 private:
  void CutNewText();
  // The field table as the loaded text is cut with: the start line in force.
  FieldTable CutFields() const;

  FieldTable fields_;
  TextBuffer buffer_;
  CellTable cells_;
  SpreadsheetReport sheetReport_;
  bool fromSpreadsheet_ = false;
  bool startLineLowered_ = false;
  int32_t startLineInForce_ = 0;
  // The grid row (0-based) each field was read from: rows without a name
  // are dropped, so field i may come from a later row.
  std::array<int32_t, kMaxFields> gridRowOfField_{};
  TableImage image_;
  DownloadPackage package_;
};

}  // namespace tabrelium
