// The first look at a dBASE table before shapelib opens it. shapelib trusts
// the header's record count and lengths; a header that promises more than
// the file holds is refused here, so a damaged or hostile table fails with
// a clear message instead of being read past its end. The layout is
// dBASE III's: record count at byte 4 (LE u32), header length at byte 8 (LE
// u16), record length at byte 10 (LE u16), then 32-byte field descriptors
// (type at 11, width at 16) ended by 0x0D.
//
// Thread-safety: pure functions and a read of one file; callable from any
// thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sheets/sheet_reader.h"

namespace tabrelium {

inline constexpr size_t kDbfHeaderPrefixSize = 32;
inline constexpr size_t kDbfFieldDescriptorSize = 32;

// Checks the start of a table (`head`: its whole header, or all of a file
// shorter than that) against the file's size in bytes: the record count and
// lengths, and that the field descriptors end with 0x0D inside the header
// and add up to the record length. Fails with a message for the user
// (UTF-8) naming what is wrong.
Status CheckDbfHeader(std::span<const uint8_t> head, uint64_t fileSize);

// Reads the header and the size of the file at `path` and checks them.
Status CheckDbfFile(const std::string& path);

}  // namespace tabrelium
