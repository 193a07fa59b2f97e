// tabrelium-cli devices and log: what is connected, and what was sent where.
#pragma once

#include "cli/options.h"

namespace tabrelium::cli {

int RunDevices(const Options& options);
int RunLog(const Options& options);

}  // namespace tabrelium::cli
