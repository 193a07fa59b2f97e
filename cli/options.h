// The command line of tabrelium-cli: COMMAND [OPTIONS] [FILE], options
// anywhere on the line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tabrelium::cli {

// A choice the user makes in the window's separator or start-line combo,
// replayed in the order given on the line.
struct ComboChoice {
  enum class Kind { kSeparator, kStartLine } kind;
  int64_t item;
};

struct Options {
  std::string command;
  std::optional<std::string> file;
  std::optional<std::string> configPath;
  std::vector<ComboChoice> choices;
  bool raw = false;
  int64_t row = 1;
  std::optional<std::string> output;
  bool package = false;
  // download: seconds of the device's silence that end it (0: wait for ever).
  int64_t idleTimeoutSeconds = 30;
  bool help = false;
  bool version = false;
  // devices, log: JSON for scripts instead of a table.
  bool json = false;
  // download: every connected device, or the one at this path.
  bool allDevices = false;
  std::optional<std::string> devicePath;
};

// Parses argv; on a usage error returns nothing and sets `error`.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);

// The usage text of `command`, or of the whole tool for an empty or unknown one.
std::string UsageText(const std::string& command);

bool IsKnownCommand(const std::string& command);

}  // namespace tabrelium::cli
