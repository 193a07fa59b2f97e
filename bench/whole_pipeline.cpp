#include "bench/whole_pipeline.h"

#include "config/field_grid_texts.h"
#include "data/text_cutter.h"
#include "data/text_loader.h"

namespace tabrelium::bench {

bool RunWholePipeline(const std::string& path, PipelineStores& s, std::string& error,
                      const StageDone& stageDone) {
  auto done = [&](std::string_view stage) {
    if (stageDone) stageDone(stage);
  };
  if (!LoadTextFile(path, s.buffer, s.cells)) {
    error = "cannot load " + path;
    return false;
  }
  done("load");
  CountTextLines(s.buffer, s.table, s.cells);
  done("count_lines");
  DetectSeparator(s.buffer, s.table, s.cells);
  ClampStartLine(s.table, s.cells);
  done("detect_separator");
  BuildCellTable(s.buffer, s.table, s.cells);
  done("build_cells");
  // The window and the CLI never build from the fields as loaded.
  RoundTripThroughGrid(s.table);
  if (!IsFieldConfigValid(s.table, s.cells.columnCount)) {
    error = "the default fields do not fit the " + std::to_string(s.cells.columnCount) +
            " column(s) of " + path;
    return false;
  }
  BuildTableImage(s.cells, s.table, s.image);
  done("build_image");
  return true;
}

}  // namespace tabrelium::bench
