// The commands of tabrelium-cli. Each returns the process's exit status and
// writes its failures to stderr.
#pragma once

#include "cli/options.h"
#include "cli/prepare.h"

namespace tabrelium::cli {

int RunCells(const Options& options, Session& session);
int RunPreview(const Options& options, Session& session);
int RunImage(const Options& options, Session& session);
int RunConfig(const Options& options, Session& session);

// Writes "tabrelium-cli: MESSAGE" on stderr and returns the failure's status.
int Report(const Failure& failure);

}  // namespace tabrelium::cli
