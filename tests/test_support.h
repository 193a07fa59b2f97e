// Helpers shared by the unit tests: temporary folders and files, and a
// cell table cut from bytes in memory the way the window cuts a loaded file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "config/field_table.h"
#include "data/cell_table.h"
#include "data/text_buffer.h"

namespace tabrelium::testing {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes `bytes` to a file named `name` in the folder; returns its path.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);

// What a shell command did: its exit status (-1 when it did not exit) and
// everything it wrote.
struct CommandResult {
  int status;
  std::string out;
  std::string err;
};

// Runs `command` through the shell with no input, its output kept in `dir`.
CommandResult RunCommand(const std::string& command, const TempDir& dir);

// A loaded text and the table cut from it.
struct LoadedText {
  TextBuffer buffer;
  CellTable cells;
};

// Loads `bytes` as a data file and cuts it as after a load (CutLoadedText).
void LoadAndCut(std::string_view bytes, FieldTable& table, LoadedText& loaded);

}  // namespace tabrelium::testing
