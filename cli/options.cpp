#include "cli/options.h"

#include <charconv>
#include <string_view>

namespace tabrelium::cli {
namespace {

constexpr std::string_view kCommands[] = {"cells",  "preview", "image", "download",
                                          "config", "devices", "log",   "help"};

std::optional<int64_t> ParseInteger(std::string_view text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

}  // namespace

bool IsKnownCommand(const std::string& command) {
  for (std::string_view known : kCommands)
    if (command == known) return true;
  return false;
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
  Options options;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> std::optional<std::string_view> {
      if (i + 1 >= argc) {
        error = "option " + std::string(arg) + " needs a value";
        return std::nullopt;
      }
      return std::string_view(argv[++i]);
    };
    auto number = [&](int64_t min) -> std::optional<int64_t> {
      auto text = value();
      if (!text) return std::nullopt;
      auto n = ParseInteger(*text);
      if (!n || *n < min) {
        error = "option " + std::string(arg) + " needs a whole number" +
                (min == 0 ? " of 0 or more" : "") + ", not '" + std::string(*text) + "'";
        return std::nullopt;
      }
      return n;
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--all") {
      options.allDevices = true;
    } else if (arg == "--device") {
      auto v = value();
      if (!v) return std::nullopt;
      options.devicePath = std::string(*v);
    } else if (arg == "--config") {
      auto v = value();
      if (!v) return std::nullopt;
      options.configPath = std::string(*v);
    } else if (arg == "--separator" || arg == "--start-line") {
      auto n = number(0);
      if (!n) return std::nullopt;
      options.choices.push_back({arg == "--separator" ? ComboChoice::Kind::kSeparator
                                                      : ComboChoice::Kind::kStartLine,
                                 *n});
    } else if (arg == "--raw") {
      options.raw = true;
    } else if (arg == "--row") {
      auto n = number(INT64_MIN);
      if (!n) return std::nullopt;
      options.row = *n;
    } else if (arg == "-o" || arg == "--output") {
      auto v = value();
      if (!v) return std::nullopt;
      options.output = std::string(*v);
    } else if (arg == "--package") {
      options.package = true;
    } else if (arg == "--idle-timeout") {
      auto n = number(0);
      if (!n) return std::nullopt;
      options.idleTimeoutSeconds = *n;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + std::string(arg);
      return std::nullopt;
    } else {
      positional.emplace_back(arg);
    }
  }
  if (positional.empty()) {
    if (options.version) return options;
    if (options.help) {
      options.command = "help";
      return options;
    }
    error = "no command given";
    return std::nullopt;
  }
  options.command = positional[0];
  if (!IsKnownCommand(options.command)) {
    error = "unknown command '" + options.command + "'";
    return std::nullopt;
  }
  if (options.command == "help") {
    if (positional.size() > 2) {
      error = "help takes at most one command";
      return std::nullopt;
    }
    if (positional.size() == 2) options.file = positional[1];  // the command asked about
    return options;
  }
  if (positional.size() > 2) {
    error = "more than one data file given";
    return std::nullopt;
  }
  if (positional.size() == 2) options.file = positional[1];
  if (options.help || options.version) return options;
  const bool takesNoFile = options.command == "devices" || options.command == "log";
  if (takesNoFile && options.file) {
    error = options.command + " takes no data file";
    return std::nullopt;
  }
  if (options.allDevices && options.devicePath) {
    error = "--all and --device exclude each other";
    return std::nullopt;
  }
  if ((options.allDevices || options.devicePath) && options.command != "download") {
    error = "--all and --device go with download only";
    return std::nullopt;
  }
  if (options.command != "config" && !takesNoFile && !options.file) {
    error = options.command + " needs a data file";
    return std::nullopt;
  }
  if (options.command == "image" && !options.output) {
    error = "image needs -o OUT";
    return std::nullopt;
  }
  return options;
}

std::string UsageText(const std::string& command) {
  if (command == "cells")
    return "usage: tabrelium-cli cells FILE [--separator I] [--start-line N] [--config PATH] [--raw]\n"
           "Prints the cut table: a summary line, then one line per row, cells joined by TAB.\n";
  if (command == "preview")
    return "usage: tabrelium-cli preview FILE [--row R] [--separator I] [--start-line N] [--config PATH] [--raw]\n"
           "Prints record R (default 1) as the device's 20-column display shows it:\n"
           "the line count on a field's first line, TAB, the line's text.\n";
  if (command == "image")
    return "usage: tabrelium-cli image FILE -o OUT [--package] [--separator I] [--start-line N] [--config PATH]\n"
           "Writes the table image the device receives (or, with --package, the download\n"
           "package: length, CRC-32, image) and prints records=, size= and kb=.\n";
  if (command == "download")
    return "usage: tabrelium-cli download FILE [--all | --device PATH] [--idle-timeout S]\n"
           "                              [--separator I] [--start-line N] [--config PATH]\n"
           "Builds the table image and downloads it into the device (vendor 2018, product\n"
           "0101), showing progress on stderr. Ctrl+C stops the download, and so does a\n"
           "device that says nothing for S seconds (default 30; 0 waits for ever); the\n"
           "exit status is 0 only when the device reported the download complete.\n"
           "--all serves every connected device at once, --device PATH the one at PATH\n"
           "(see devices); both end with a summary, and exit 0 only when every device\n"
           "reported the download complete. Each download is added to the download log.\n";
  if (command == "devices")
    return "usage: tabrelium-cli devices [--json]\n"
           "Lists the connected devices, one line each: path, serial number, manufacturer,\n"
           "product, and whether this user may open it.\n";
  if (command == "log")
    return "usage: tabrelium-cli log [--json]\n"
           "Prints the download log as a table (--json: its lines as they are).\n";
  if (command == "config")
    return "usage: tabrelium-cli config [FILE] [--separator I] [--start-line N] [--config PATH]\n"
           "Prints the configuration file's bytes as the window would save them.\n";
  return "usage: tabrelium-cli COMMAND [OPTIONS] [FILE]\n"
         "\n"
         "Commands:\n"
         "  cells FILE          print the rows and cells cut from a data file (txt, csv,\n"
         "                      xls, xlsx, ods, dbf)\n"
         "  preview FILE        print a record as the device's display shows it (--row R)\n"
         "  image FILE -o OUT   write the table image (--package: the download package)\n"
         "  download FILE       download the table into the device\n"
         "  config [FILE]       print the configuration as the window would save it\n"
         "  devices             list the connected devices (--json)\n"
         "  log                 print the download log (--json)\n"
         "  help [COMMAND]      this text, or a command's\n"
         "\n"
         "Options (anywhere on the line):\n"
         "  --config PATH       configuration file (default: the window's)\n"
         "  --separator I       choose item I of the separator list (0 = TAB, 1 = ',', ...)\n"
         "  --start-line N      choose item N (0-based) of the start-line list\n"
         "  --raw               write cell bytes as stored (GBK) instead of UTF-8\n"
         "  --row R             record to preview (default 1)\n"
         "  -o OUT              output file of image\n"
         "  --package           image writes the download package\n"
         "  --idle-timeout S    download ends after S seconds of the device's silence\n"
         "  --all               download into every connected device at once\n"
         "  --device PATH       download into the device at PATH\n"
         "  --json              devices and log print JSON\n"
         "  --version           print the version\n"
         "\n"
         "Exit status: 0 success, 1 failure (message on stderr), 2 usage error.\n";
}

}  // namespace tabrelium::cli
