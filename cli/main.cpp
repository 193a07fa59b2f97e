// tabrelium-cli: the window's engine for scripts and for checking a data
// file before a download. Reads the configuration, never writes it.
#include <string>

#include "cli/commands.h"
#include "cli/devices_command.h"
#include "cli/download_command.h"
#include "cli/options.h"

namespace {

int Run(const tabrelium::cli::Options& options) {
  using namespace tabrelium::cli;
  if (options.version) {
    if (auto failure = WriteStdout("tabrelium-cli " TABRELIUM_VERSION "\n")) return Report(*failure);
    return 0;
  }
  if (options.command == "help" || options.help) {
    const std::string topic =
        options.command == "help" ? options.file.value_or("") : options.command;
    if (auto failure = WriteStdout(UsageText(topic))) return Report(*failure);
    return 0;
  }
  if (options.command == "devices") return RunDevices(options);
  if (options.command == "log") return RunLog(options);
  tabrelium::Session session;
  if (options.command == "cells") return RunCells(options, session);
  if (options.command == "preview") return RunPreview(options, session);
  if (options.command == "image") return RunImage(options, session);
  if (options.command == "download") return RunDownload(options, session);
  return RunConfig(options, session);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tabrelium::cli;
  std::string error;
  const std::optional<Options> options = ParseOptions(argc, argv, error);
  if (!options) return Report({error, 2});
  // An exit status of 0 promises that everything printed arrived.
  return CloseStdout(Run(*options));
}
