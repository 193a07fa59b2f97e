#include "sheets/dbf_header_check.h"

#include <climits>
#include <fstream>

#include "common/byte_order.h"

namespace tabrelium {

Status CheckDbfHeader(std::span<const uint8_t> prefix, uint64_t fileSize) {
  if (prefix.size() < kDbfHeaderPrefixSize || fileSize < kDbfHeaderPrefixSize)
    return Status::Failed("not a dBASE table: the file is shorter than a table header");
  const uint32_t records = GetLe32(prefix.data() + 4);
  const uint16_t headerLength = GetLe16(prefix.data() + 8);
  const uint16_t recordLength = GetLe16(prefix.data() + 10);
  if (headerLength < kDbfHeaderPrefixSize)
    return Status::Failed("the dBASE table is damaged: its header length of " +
                          std::to_string(headerLength) + " bytes is too short");
  if (headerLength > fileSize)
    return Status::Failed("the dBASE table is damaged: its header of " +
                          std::to_string(headerLength) + " bytes is longer than the file");
  // Every record holds at least its deletion flag.
  if (recordLength == 0 && records > 0)
    return Status::Failed("the dBASE table is damaged: its records are 0 bytes long");
  // shapelib counts records in an int.
  const uint64_t needed = uint64_t{headerLength} + uint64_t{records} * recordLength;
  if (records > INT_MAX || needed > fileSize)
    return Status::Failed(
        "the dBASE table is damaged: its header promises " + std::to_string(records) +
        " records of " + std::to_string(recordLength) + " bytes, but the file holds only " +
        std::to_string(fileSize - headerLength) + " bytes of records");
  return {};
}

Status CheckDbfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return Status::Failed("the file cannot be opened");
  const std::streamoff size = in.tellg();
  if (size < 0) return Status::Failed("the file cannot be read");
  uint8_t prefix[kDbfHeaderPrefixSize] = {};
  in.seekg(0);
  in.read(reinterpret_cast<char*>(prefix), sizeof prefix);
  const size_t got = static_cast<size_t>(in.gcount());
  return CheckDbfHeader(std::span<const uint8_t>(prefix, got), static_cast<uint64_t>(size));
}

}  // namespace tabrelium
