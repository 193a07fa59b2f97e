#include "sheets/xls_shared_strings.h"

#include <algorithm>

#include "sheets/sheet_reader.h"

namespace tabrelium {

Status XlsSharedStrings::Read(XlsContinuedBytes& bytes) {
  arena_.clear();
  ends_.clear();
  uint32_t total = 0, unique = 0;
  if (!bytes.U32(total) || !bytes.U32(unique))
    return Status::Failed("the XLS workbook is damaged: its shared string table is cut short");
  std::string text;
  // A count that lies costs nothing: strings are read while bytes last.
  ends_.reserve(std::min<uint32_t>(unique, 1u << 16));
  for (uint32_t i = 0; i < unique && !bytes.AtEnd(); ++i) {
    if (!ReadBiff8String(bytes, text))
      return Status::Failed("the XLS workbook is damaged: shared string " + std::to_string(i) +
                            " runs past the end of its table");
    arena_.append(KeptSheetText(text));
    // Kept texts are at most a few hundred bytes each and the stream is
    // capped far below 4 GiB, so the offsets fit; checked all the same.
    if (arena_.size() > UINT32_MAX)
      return Status::Failed("the XLS workbook's shared strings exceed 4 GiB");
    ends_.push_back(static_cast<uint32_t>(arena_.size()));
  }
  return {};
}

}  // namespace tabrelium
