// The whole pipeline the CLI's `image` command runs, in one call, for the
// benchmarks: load, CountTextLines, DetectSeparator, ClampStartLine,
// BuildCellTable, the configuration grid's round trip, BuildTableImage.
//
// Thread-safety: plain functions on caller-owned stores.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "config/field_table.h"
#include "data/cell_table.h"
#include "data/table_image.h"
#include "data/text_buffer.h"

namespace tabrelium::bench {

// Everything the pipeline leaves behind; its size is the pipeline's memory.
struct PipelineStores {
  FieldTable table = MakeDefaultFieldTable();
  TextBuffer buffer;
  CellTable cells;
  TableImage image;
};

// Called after each stage with its name ("load", "count_lines", ...), so a
// caller can take the time or the memory between stages.
using StageDone = std::function<void(std::string_view stage)>;

// Runs the pipeline on the file at `path` with the default field table (the
// two fields barcode and name), dating the image from the local time as the
// CLI does. Returns false, with `error` set, when the file cannot be loaded
// or the fields do not fit the loaded columns.
bool RunWholePipeline(const std::string& path, PipelineStores& stores, std::string& error,
                      const StageDone& stageDone = {});

}  // namespace tabrelium::bench
