#include "tests/test_support.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "data/text_cutter.h"
#include "data/text_loader.h"

namespace tabrelium::testing {

TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("tabrelium-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(std::string_view name, std::string_view bytes) const {
  auto file = path_ / std::string(name);
  std::ofstream out(file, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file.string();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

CommandResult RunCommand(const std::string& command, const TempDir& dir) {
  const auto out = dir.path() / "stdout";
  const auto err = dir.path() / "stderr";
  const std::string line =
      command + " >" + out.string() + " 2>" + err.string() + " </dev/null";
  const int raw = std::system(line.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
}

void LoadAndCut(std::string_view bytes, FieldTable& table, LoadedText& loaded) {
  LoadTextBytes(bytes, static_cast<int64_t>(bytes.size()), loaded.buffer, loaded.cells);
  CutLoadedText(loaded.buffer, table, loaded.cells);
}

}  // namespace tabrelium::testing
