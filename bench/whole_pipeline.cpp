#include "bench/whole_pipeline.h"

namespace tabrelium::bench {

bool RunWholePipeline(const std::string& path, Session& session, std::string& error,
                      const StageDone& stageDone) {
  auto done = [&](std::string_view stage) {
    if (stageDone) stageDone(stage);
  };
  if (Status loaded = session.LoadDataFile(path); !loaded.ok()) {
    error = "cannot load " + path + ": " + loaded.message();
    return false;
  }
  done("load_and_cut");
  // The window and the CLI never build from the fields as loaded.
  if (Status fit = session.ApplyGridTexts(session.GridTexts()); !fit.ok()) {
    error = "the default fields do not fit the " + std::to_string(session.Cells().columnCount) +
            " column(s) of " + path;
    return false;
  }
  session.BuildImage();
  done("build_image");
  return true;
}

}  // namespace tabrelium::bench
