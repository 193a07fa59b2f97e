// What tabrelium-cli does before each command, as the window does after the
// user picks a file: read the configuration, load and cut the data file in
// the engine's session, replay the separator and start-line choices in the
// order given, and read the fields back through the grid's texts.
#pragma once

#include <optional>
#include <string>

#include "cli/options.h"
#include "data/session.h"

namespace tabrelium::cli {

// A failure to report: the message (UTF-8) and the exit status.
struct Failure {
  std::string message;
  int status = 1;
};

std::optional<Failure> LoadConfiguration(const Options& options, Session& session);

// The configuration and the data file, loaded and cut, the choices
// replayed, with what the load dropped written to stderr as warnings.
std::optional<Failure> PrepareData(const Options& options, Session& session);

// The window reads its grid back before every preview and download; the
// fields as the grid would give them are what the device gets.
std::optional<Failure> ReadBackFields(Session& session);

// PrepareData, ReadBackFields, then the table image with the window's
// checks before a download (at most 16 MiB).
std::optional<Failure> PrepareImage(const Options& options, Session& session);

// Writes "tabrelium-cli: warning: TEXT" on stderr.
void Warn(const std::string& text);

}  // namespace tabrelium::cli
