// The commands of tabrelium-cli. Each returns the process's exit status and
// writes its failures to stderr.
#pragma once

#include <optional>
#include <string_view>

#include "cli/options.h"
#include "cli/prepare.h"

namespace tabrelium::cli {

int RunCells(const Options& options, Session& session);
int RunPreview(const Options& options, Session& session);
int RunImage(const Options& options, Session& session);
int RunConfig(const Options& options, Session& session);

// Writes "tabrelium-cli: MESSAGE" on stderr and returns the failure's status.
int Report(const Failure& failure);

// Writes `bytes` on standard output; a failed write comes back as
// "cannot write the output: REASON" (the system's words), status 1.
std::optional<Failure> WriteStdout(std::string_view bytes);

// The end of every run: flushes and closes standard output, whose last
// buffered bytes may be the ones that are lost. Returns `status`, or, when
// it was 0 and the output was lost, reports that and returns 1.
int CloseStdout(int status);

}  // namespace tabrelium::cli
