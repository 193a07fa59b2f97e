// tabrelium-cli download: builds the table image and the package as the
// window's "Startup download(启动下载)" does, and serves it to the device,
// showing progress on stderr. Ctrl+C acts as "Stop download(停止下载)".
#pragma once

#include "cli/options.h"
#include "cli/prepare.h"

namespace tabrelium::cli {

int RunDownload(const Options& options, Session& session);

}  // namespace tabrelium::cli
