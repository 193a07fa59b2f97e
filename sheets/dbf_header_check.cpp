#include "sheets/dbf_header_check.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <vector>

#include "common/byte_order.h"

namespace tabrelium {

namespace {

Status Damaged(const std::string& why) {
  return Status::Failed("the dBASE table is damaged: " + why);
}

// The field descriptors, 32 bytes each from byte 32, end with a 0x0D byte
// inside the header; the fields' widths plus the deletion flag make up a
// record. shapelib counts fields by the header length alone, so a header
// that disagrees would be read shifted, every value in the wrong column.
Status CheckFieldDescriptors(std::span<const uint8_t> header, uint16_t recordLength) {
  uint64_t widths = 0;
  size_t at = kDbfHeaderPrefixSize;
  for (;; at += kDbfFieldDescriptorSize) {
    if (at >= header.size())
      return Damaged("its field descriptors have no end mark (0x0D) within its header of " +
                     std::to_string(header.size()) + " bytes");
    if (header[at] == 0x0D) break;
    if (at + kDbfFieldDescriptorSize > header.size())
      return Damaged("its header length of " + std::to_string(header.size()) +
                     " bytes does not cover its field descriptors");
    const uint8_t type = header[at + 11];
    // Numbers keep their decimals in byte 17; other types use it as the
    // width's high byte, as shapelib reads them.
    widths += type == 'N' || type == 'F' ? header[at + 16]
                                         : header[at + 16] + 256u * header[at + 17];
  }
  if (widths + 1 != recordLength)
    return Damaged("its fields take " + std::to_string(widths) + " bytes plus the deletion flag, but its records are " +
                   std::to_string(recordLength) + " bytes long");
  return {};
}

}  // namespace

Status CheckDbfHeader(std::span<const uint8_t> head, uint64_t fileSize) {
  if (head.size() < kDbfHeaderPrefixSize || fileSize < kDbfHeaderPrefixSize)
    return Status::Failed("not a dBASE table: the file is shorter than a table header");
  const uint32_t records = GetLe32(head.data() + 4);
  const uint16_t headerLength = GetLe16(head.data() + 8);
  const uint16_t recordLength = GetLe16(head.data() + 10);
  if (headerLength < kDbfHeaderPrefixSize)
    return Damaged("its header length of " + std::to_string(headerLength) + " bytes is too short");
  if (headerLength > fileSize || headerLength > head.size())
    return Damaged("its header of " + std::to_string(headerLength) + " bytes is longer than the file");
  // Every record holds at least its deletion flag.
  if (recordLength == 0 && records > 0) return Damaged("its records are 0 bytes long");
  // shapelib counts records in an int.
  const uint64_t needed = uint64_t{headerLength} + uint64_t{records} * recordLength;
  if (records > INT_MAX || needed > fileSize)
    return Damaged("its header promises " + std::to_string(records) + " records of " +
                   std::to_string(recordLength) + " bytes, but the file holds only " +
                   std::to_string(fileSize - headerLength) + " bytes of records");
  if (records == 0 && recordLength == 0) return {};  // an empty table without fields
  return CheckFieldDescriptors(head.first(headerLength), recordLength);
}

Status CheckDbfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return Status::Failed("the file cannot be opened");
  const std::streamoff size = in.tellg();
  if (size < 0) return Status::Failed("the file cannot be read");
  // The first bytes say how long the whole header is (at most 64 KiB).
  std::vector<uint8_t> head(kDbfHeaderPrefixSize);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  if (head.size() == kDbfHeaderPrefixSize) {
    const size_t headerLength =
        static_cast<size_t>(std::min<uint64_t>(GetLe16(head.data() + 8), static_cast<uint64_t>(size)));
    if (headerLength > head.size()) {
      head.resize(headerLength);
      in.read(reinterpret_cast<char*>(head.data() + kDbfHeaderPrefixSize),
              static_cast<std::streamsize>(headerLength - kDbfHeaderPrefixSize));
      head.resize(kDbfHeaderPrefixSize + static_cast<size_t>(in.gcount()));
    }
  }
  return CheckDbfHeader(head, static_cast<uint64_t>(size));
}

}  // namespace tabrelium
