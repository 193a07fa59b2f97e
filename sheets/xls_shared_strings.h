// The shared string table (SST) of an Excel 97 and later workbook: the
// texts that LABELSST cells refer to by index. Each string is kept only as
// far as the loader can use it (KeptSheetText), so a long string that
// thousands of cells share costs its full length once, while it is read.
//
// Thread-safety: an XlsSharedStrings belongs to one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"
#include "sheets/xls_text.h"

namespace tabrelium {

class XlsSharedStrings {
 public:
  size_t size() const { return ends_.size(); }
  // REQUIRES: index < size(). UTF-8, trimmed and bounded.
  std::string_view operator[](size_t index) const {
    const uint32_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(arena_).substr(begin, ends_[index] - begin);
  }

  // Reads the SST record and its CONTINUE records in `bytes`. The strings
  // the record counts are read as far as the bytes hold whole strings; a
  // string cut off by the end of the bytes fails the read.
  Status Read(XlsContinuedBytes& bytes);

 private:
  std::string arena_;
  std::vector<uint32_t> ends_;  // end offset of each string in arena_
};

}  // namespace tabrelium
