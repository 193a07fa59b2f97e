#include "cli/prepare.h"

#include <cstdint>
#include <cstdio>

#include "common/user_texts.h"
#include "config/config_file.h"

namespace tabrelium::cli {
namespace {

std::optional<Failure> ReplayChoice(const ComboChoice& choice, Session& session) {
  if (choice.kind == ComboChoice::Kind::kSeparator) {
    const int count = session.Fields().separatorCount;
    if (choice.item >= count)
      return Failure{"--separator " + std::to_string(choice.item) +
                         " is not in the separator list (0 to " + std::to_string(count - 1) + ")",
                     2};
    session.ChooseSeparator(choice.item);
  } else {
    if (choice.item > INT32_MAX)
      return Failure{"--start-line " + std::to_string(choice.item) + " is too large", 2};
    session.ChooseStartLine(static_cast<int32_t>(choice.item));
  }
  return std::nullopt;
}

}  // namespace

std::optional<Failure> LoadConfiguration(const Options& options, Session& session) {
  if (options.configPath) {
    // A path the user typed must exist; a missing default file is a first run.
    if (Status loaded = session.LoadConfiguration(*options.configPath); !loaded.ok()) {
      // The reason, when there is one, on a line of its own as for a data file.
      const std::string reason = loaded.message().empty() ? "" : "\n" + loaded.message();
      return Failure{"cannot read the configuration file " + *options.configPath + reason, 1};
    }
  } else {
    session.LoadConfiguration(DefaultConfigPath());
  }
  return std::nullopt;
}

std::optional<Failure> PrepareData(const Options& options, Session& session) {
  if (auto failure = LoadConfiguration(options, session)) return failure;
  if (Status loaded = session.LoadDataFile(*options.file); !loaded.ok())
    return Failure{loaded.message(), 1};
  for (const ComboChoice& choice : options.choices)
    if (auto failure = ReplayChoice(choice, session)) return failure;
  for (const std::string& loss : session.LossTexts()) Warn(loss);
  return std::nullopt;
}

std::optional<Failure> ReadBackFields(Session& session) {
  if (Status fit = session.ApplyGridTexts(session.GridTexts()); !fit.ok())
    return Failure{fit.message(), 1};
  return std::nullopt;
}

std::optional<Failure> PrepareImage(const Options& options, Session& session) {
  if (auto failure = PrepareData(options, session)) return failure;
  if (auto failure = ReadBackFields(session)) return failure;
  const Status built = session.BuildImageForDownload();
  if (session.Image().droppedRows > 0) Warn(texts::ImageRowsDroppedText(session.Image().droppedRows));
  if (!built.ok()) return Failure{built.message(), 1};
  return std::nullopt;
}

void Warn(const std::string& text) {
  std::fprintf(stderr, "tabrelium-cli: warning: %s\n", text.c_str());
}

}  // namespace tabrelium::cli
