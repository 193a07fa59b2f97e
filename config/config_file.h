// The configuration file: the field table as "#EXT", "#SEPARATOR" and
// "#FIELD" sections of KEY=VALUE lines, GBK bytes, CR LF line ends. The
// format, with the reader's rules, is described in docs/config-file.md.
//
// Thread-safety: plain functions on caller-owned tables; no shared state.
#pragma once

#include <string>
#include <string_view>

#include "common/status.h"
#include "config/field_table.h"

namespace tabrelium {

// The file's name inside the configuration folder.
inline constexpr std::string_view kConfigFileName = "tools_config_v1.31.ini";

// Where the window keeps its configuration: "c:\tools_config_v1.31.ini" on
// Windows; elsewhere $XDG_CONFIG_HOME/tabrelium/tools_config_v1.31.ini, with
// ~/.config in place of an unset, empty or relative XDG_CONFIG_HOME.
// Reads the environment: not safe against a concurrent setenv.
std::string DefaultConfigPath();

// Resets `table` to the defaults, then applies the file at `path`.
// Returns false when the file cannot be opened or read (the defaults then
// stand); callers that follow the window's rule ignore the result. Only the
// first 64 MiB are read, which keeps a mistaken path such as /dev/zero from
// exhausting memory; a real configuration file is a few hundred bytes.
bool LoadFieldConfig(const std::string& path, FieldTable& table);

// Resets `table` to the defaults, then applies `bytes` as a file's content.
void ParseFieldConfig(std::string_view bytes, FieldTable& table);

// The exact bytes SaveFieldConfig writes for `table`.
std::string FormatFieldConfig(const FieldTable& table);

// Writes FormatFieldConfig(table) to `path` atomically: a temporary file in
// the same folder, flushed, then renamed over the old file; the folder is
// created when missing. A symlink is followed: the file it points to is
// saved. When the folder allows no new file but the file is writable, the
// file is rewritten in place after a backup copy in the user's cache
// folder (tabrelium/NAME.bak). On failure the old file is left whole and
// the message says why.
Status SaveFieldConfig(const std::string& path, const FieldTable& table);

}  // namespace tabrelium
