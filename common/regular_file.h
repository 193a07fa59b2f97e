// The check before a path the user named is opened for reading: only a
// regular file (or a symlink to one) is read. Opening a FIFO with no
// writer blocks for ever, and a device such as /dev/zero never ends; a
// folder cannot be read at all.
//
// Thread-safety: plain functions.
#pragma once

#include <cstdint>
#include <string>

#include "common/status.h"

namespace tabrelium {

// What a path names, as far as a reader cares.
enum class FileKind : uint8_t {
  kRegular,
  kFolder,
  kFifo,
  kCharacterDevice,
  kBlockDevice,
  kSocket,
  kOther,
};

// Fails, saying what the path names (texts::NotRegularFileText), when it
// names an existing file that is not a regular one. A path that cannot be
// opened passes: the reader then fails on it in its own words. The path is
// opened without blocking and closed again.
Status CheckRegularFile(const std::string& path);

}  // namespace tabrelium
