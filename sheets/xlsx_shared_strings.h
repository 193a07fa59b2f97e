// The shared string table of an XLSX workbook: the texts that cells of
// type "s" refer to by index, held in one arena with an offset per string.
// A string's rich text runs are joined; its phonetic guide (rPh) is not
// part of the text.
//
// Thread-safety: a SharedStrings belongs to one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheets/xlsx_reader.h"
#include "sheets/zip_package.h"

namespace tabrelium {

class SharedStrings {
 public:
  size_t size() const { return ends_.size(); }
  // REQUIRES: index < size(). UTF-8.
  std::string_view operator[](size_t index) const {
    const uint32_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(arena_).substr(begin, ends_[index] - begin);
  }

  // Reads the shared strings part `part`. Fails with the reason (more
  // strings than the limit, broken XML).
  Status Read(ZipPackage& zip, const std::string& part, const PackageLimits& limits);

 private:
  friend class SharedStringsHandler;
  std::string arena_;
  std::vector<uint32_t> ends_;  // end offset of each string in arena_
};

}  // namespace tabrelium
