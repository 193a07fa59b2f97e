// The OLE2 compound file around an XLS workbook, opened with libgsf: what
// the rest of the XLS reader gets is the bytes of the workbook stream
// ("Workbook" for Excel 97 and later, "Book" for Excel 5 and 95).
//
// libgsf follows the container's sector chains and refuses chains that loop
// or leave the file; the size cap here keeps a stream that claims to be huge
// from costing more than the cap.
//
// Thread-safety: plain functions on caller-owned data; any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/status.h"

namespace tabrelium {

// The bytes of a workbook stream, left uninitialised before they are read:
// zero-filling a large stream first would cost a pass over it.
class XlsStreamBytes {
 public:
  void Allocate(size_t size) {
    data_ = std::make_unique_for_overwrite<uint8_t[]>(size);
    size_ = size;
  }
  uint8_t* data() { return data_.get(); }
  std::span<const uint8_t> bytes() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;
};

// Reads the workbook stream of the XLS file at `path` into `stream`. Fails
// with the reason (no file, not an XLS file, a damaged or cut-short
// container, no workbook in it, a stream over `maxStreamBytes`).
Status ReadXlsWorkbookStream(const std::string& path, uint64_t maxStreamBytes,
                             XlsStreamBytes& stream);

// The same on the bytes of a whole file; `bytes` must stay valid for the
// call only.
Status ReadXlsWorkbookStreamFromBytes(std::span<const uint8_t> bytes, uint64_t maxStreamBytes,
                                      XlsStreamBytes& stream);

}  // namespace tabrelium
