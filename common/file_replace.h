// Writing a whole file so that a failure never leaves it half written: the
// new bytes go to a temporary file beside it, flushed to the disk, which is
// then renamed over the old one. Used for the configuration file and for
// the CLI's output files.
//
// Thread-safety: plain functions; two saves of one path at once are not
// coordinated (the last rename wins, each file whole).
#pragma once

#include <string>
#include <string_view>

#include "common/status.h"

namespace tabrelium {

// The file a path finally names: the target of a symlink (of a chain of
// them, relative targets taken from the link's folder), which need not
// exist yet; `path` itself when it is no symlink. Saving through the link
// then updates the file it points to and keeps the link.
std::string FollowSymlinks(const std::string& path);

// Replaces the file at `path` (or creates it) with `bytes` through a
// temporary file in its folder, keeping the old file's permission bits.
// Temporaries of this naming that a killed process left behind are
// removed first. On failure the old file is whole, no temporary is left,
// and the message says why (the system's reason). `folderRefused` is set
// when the folder does not allow a new file at all.
Status ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                             bool* folderRefused = nullptr);

// Rewrites the existing file at `path` with `bytes` in place, for a folder
// that allows no new file while the file itself is writable. Not atomic:
// on a failed write the old bytes are written back as far as possible, and
// the caller keeps a backup copy elsewhere first.
Status RewriteFileInPlace(const std::string& path, std::string_view bytes);

}  // namespace tabrelium
