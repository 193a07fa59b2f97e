#include "bench/input_folder.h"

#include <stdlib.h>

#include <cstdio>
#include <vector>

namespace tabrelium::bench {

std::optional<InputFolder> InputFolder::Prepare(const std::string& dir, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::optional<InputFolder> folder;
  if (dir.empty()) {
    std::string pattern = (fs::temp_directory_path(ec) / "tabrelium-bench-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (ec || mkdtemp(name.data()) == nullptr) {
      error = "cannot make a temporary folder";
      return std::nullopt;
    }
    folder.emplace(InputFolder(fs::path(name.data()), true));
  } else {
    fs::create_directories(dir, ec);
    folder.emplace(InputFolder(fs::path(dir), false));
  }
  for (const ProductInput& input : kProductInputs) {
    const std::string path = folder->PathOf(input);
    if (fs::exists(path, ec)) continue;
    std::fprintf(stderr, "generating %s\n", path.c_str());
    if (!WriteProductFile(path, input.limit)) {
      error = "cannot write " + path;
      return std::nullopt;
    }
  }
  return folder;
}

InputFolder::InputFolder(InputFolder&& other) noexcept
    : path_(std::move(other.path_)), temporary_(other.temporary_) {
  other.temporary_ = false;
}

InputFolder::~InputFolder() {
  if (!temporary_) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string InputFolder::PathOf(const ProductInput& input) const {
  return (path_ / input.fileName).string();
}

}  // namespace tabrelium::bench
