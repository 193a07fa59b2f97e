// The first look at a dBASE table before shapelib opens it. shapelib trusts
// the header's record count and lengths; a header that promises more than
// the file holds is refused here, so a damaged or hostile table fails with
// a clear message instead of being read past its end. The layout is
// dBASE III's: record count at byte 4 (LE u32), header length at byte 8 (LE
// u16), record length at byte 10 (LE u16).
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

// Checks the first 32 bytes of a table (`prefix`, fewer when the file is
// shorter) against the file's size in bytes. Fails with a message for the
// user (UTF-8) when the header cannot describe this file.
Status CheckDbfHeader(std::span<const uint8_t> prefix, uint64_t fileSize);

// Reads the first 32 bytes and the size of the file at `path` and checks them.
Status CheckDbfFile(const std::string& path);

}  // namespace tabrelium
