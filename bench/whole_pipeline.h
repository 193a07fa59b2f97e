// The whole pipeline the CLI's `image` command runs, in one call, for the
// benchmarks: the session loads and cuts the file, reads the fields back
// through the configuration grid's texts, and builds the table image.
//
// Thread-safety: plain functions on a caller-owned session.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "data/session.h"

namespace tabrelium::bench {

// Called after each stage with its name ("load_and_cut", "build_image"), so
// a caller can take the time or the memory between stages.
using StageDone = std::function<void(std::string_view stage)>;

// Runs the pipeline on the file at `path` with the session's fields (a
// fresh session's are the defaults: barcode and name), dating the image
// from the local time as the CLI does. The image is built whatever its
// size: the 64 MiB input makes one larger than a download takes. Returns
// false, with `error` set, when the file cannot be loaded or the fields do
// not fit the loaded columns.
bool RunWholePipeline(const std::string& path, Session& session, std::string& error,
                      const StageDone& stageDone = {});

}  // namespace tabrelium::bench
