// The folder the benchmark inputs live in: one the caller names (bench/run.sh
// fills it beforehand), or a temporary one that is removed again. Missing
// inputs are generated, so the benchmark also runs on its own.
//
// Thread-safety: one owner.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "bench/product_inputs.h"

namespace tabrelium::bench {

class InputFolder {
 public:
  // `dir` empty: a fresh folder under the system's temporary folder.
  // Returns nothing, with `error` set, when the folder cannot be made or an
  // input cannot be written.
  static std::optional<InputFolder> Prepare(const std::string& dir, std::string& error);

  InputFolder(InputFolder&& other) noexcept;
  InputFolder& operator=(InputFolder&&) = delete;
  InputFolder(const InputFolder&) = delete;
  ~InputFolder();

  std::string PathOf(const ProductInput& input) const;

 private:
  InputFolder(std::filesystem::path path, bool temporary) : path_(std::move(path)), temporary_(temporary) {}

  std::filesystem::path path_;
  bool temporary_;  // made here, removed with everything in it
};

}  // namespace tabrelium::bench
