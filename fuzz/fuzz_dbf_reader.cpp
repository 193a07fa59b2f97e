// Feeds arbitrary bytes to the DBF reader as a table file and checks what
// it promises: no crash, no hang, a failure leaves the sheet empty, and a
// success delivers no more rows and columns than the read limits.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sheets/sheet_reader.h"
#include "sheets/sheet_limits.h"

using namespace tabrelium;

namespace {

// One file per process, rewritten for every input.
const std::string& TablePath() {
  static const std::string path = [] {
    std::string name =
        (std::filesystem::temp_directory_path() / "fuzz_dbf_reader_XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd < 0) std::abort();
    close(fd);
    std::remove(name.c_str());
    return name + ".dbf";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = TablePath();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  SheetData sheet;
  const Status result = ReadDbfSheet(path, sheet);
  if (!result.ok() && (!sheet.cells().empty() || result.message().empty())) std::abort();
  for (const SheetCell& cell : sheet.cells())
    if (cell.row >= kSheetReadRows || cell.column >= kSheetReadColumns) std::abort();
  return 0;
}
