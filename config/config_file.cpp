#include "config/config_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

#include "common/file_replace.h"
#include "config/config_line_reader.h"

namespace tabrelium {
namespace {

namespace fs = std::filesystem;

// A configuration file is a few hundred bytes; the cap only keeps a mistaken
// --config /dev/zero or a multi-gigabyte file from exhausting memory.
constexpr size_t kMaxConfigFileBytes = size_t{64} << 20;
// Piece 0 is capped before its quotes are stripped, so a quoted name of 10
// bytes still fits.
constexpr size_t kNamePieceMaxBytes = 16;
constexpr size_t kNumberPieceMaxBytes = 5;

template <size_t N>
std::string_view StoredText(const char (&text)[N]) {
  return {text, strnlen(text, N)};
}

void ReadExtSection(ConfigSectionReader& reader, FieldTable& table) {
  if (!reader.FindSection("#EXT")) return;
  std::string line;
  while (reader.NextBodyLine(line)) {
    const auto kv = SplitKeyValue(line);
    if (kv && kv->key == "STARTLINE") table.startLine = ParseConfigInt(kv->value);
  }
}

void ReadSeparatorSection(ConfigSectionReader& reader, FieldTable& table) {
  if (!reader.FindSection("#SEPARATOR")) return;
  std::string line;
  while (table.separatorCount < kMaxSeparators && reader.NextBodyLine(line)) {
    const auto kv = SplitKeyValue(line);
    if (!kv) continue;
    if (kv->key == "INDEX") {
      table.separatorIndex = static_cast<uint8_t>(ParseConfigInt(kv->value));
      continue;
    }
    // Any other key adds a custom separator; once the slots are full the
    // rest of the section, an INDEX line included, goes unread.
    SeparatorEntry& slot = table.separators[table.separatorCount];
    slot.code = ParseHexByte(kv->key);
    CopyFieldText(slot.name, kMaxSeparatorNameBytes, StripQuotes(kv->value));
    ++table.separatorCount;
  }
}

// One F line into the next slot. False ends the section: the lines must run
// F01, F02, ... without gaps, each with exactly three pieces.
enum class FieldLine { kSkipped, kAccepted, kEndsSection };

FieldLine ReadFieldLine(std::string_view line, FieldTable& table) {
  const auto kv = SplitKeyValue(line);
  if (!kv || !kv->key.starts_with('F')) return FieldLine::kSkipped;
  const auto number = static_cast<uint32_t>(ParseConfigInt(std::string_view(kv->key).substr(1)));
  const auto slot = static_cast<uint8_t>(number - 1u);
  if (slot >= kMaxFields) return FieldLine::kSkipped;
  if (CountPieces(kv->value) != 3) return FieldLine::kEndsSection;
  if (slot != table.fieldCount) return FieldLine::kEndsSection;

  FieldSpec& field = table.fields[slot];
  CopyFieldText(field.displayName, kMaxDisplayNameBytes,
                StripQuotes(ExtractPiece(kv->value, 0, kNamePieceMaxBytes)));
  field.extractColn =
      static_cast<uint8_t>(ParseConfigInt(ExtractPiece(kv->value, 1, kNumberPieceMaxBytes)));
  field.displayRows =
      static_cast<uint8_t>(ParseConfigInt(ExtractPiece(kv->value, 2, kNumberPieceMaxBytes)));
  ++table.fieldCount;
  return FieldLine::kAccepted;
}

void ReadFieldSection(ConfigSectionReader& reader, FieldTable& table) {
  if (!reader.FindSection("#FIELD")) return;
  table.fieldCount = 0;
  std::string line;
  while (reader.NextBodyLine(line)) {
    if (ReadFieldLine(line, table) == FieldLine::kEndsSection) break;
  }
  // A table with no fields is useless, so a section without one valid
  // F line keeps the defaults.
  if (table.fieldCount == 0) ResetFields(table);
}

template <typename... Args>
void AppendFormatted(std::string& out, const char* format, Args... args) {
  char line[128];
  const int length = std::snprintf(line, sizeof line, format, args...);
  if (length > 0) out.append(line, std::min(static_cast<size_t>(length), sizeof line - 1));
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  while (bytes.size() < kMaxConfigFileBytes) {
    const size_t wanted = std::min(sizeof chunk, kMaxConfigFileBytes - bytes.size());
    const size_t got = std::fread(chunk, 1, wanted, file.get());
    bytes.append(chunk, got);
    if (got < wanted) break;
  }
  // A folder opens but cannot be read: as good as missing.
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return {};
}

// $XDG_CACHE_HOME, or ~/.cache for an unset, empty or relative one.
std::string CacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  return (fs::path(HomeFolder()) / ".cache").string();
}

}  // namespace

std::string DefaultConfigPath() {
#ifdef _WIN32
  return "c:\\tools_config_v1.31.ini";
#else
  // The XDG rules ignore a relative XDG_CONFIG_HOME as invalid.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const fs::path base = (xdg != nullptr && xdg[0] == '/') ? fs::path(xdg)
                                                         : fs::path(HomeFolder()) / ".config";
  return (base / "tabrelium" / kConfigFileName).string();
#endif
}

bool LoadFieldConfig(const std::string& path, FieldTable& table) {
  table = MakeDefaultFieldTable();
  const std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  ParseFieldConfig(*bytes, table);
  return true;
}

void ParseFieldConfig(std::string_view bytes, FieldTable& table) {
  table = MakeDefaultFieldTable();
  ConfigSectionReader reader(bytes);
  ReadExtSection(reader, table);
  ReadSeparatorSection(reader, table);
  ReadFieldSection(reader, table);
}

std::string FormatFieldConfig(const FieldTable& table) {
  std::string out;
  AppendFormatted(out, "#EXT\r\nSTARTLINE=%d\r\n", static_cast<int>(table.startLine));
  AppendFormatted(out, "#SEPARATOR\r\nINDEX=%d\r\n", static_cast<int>(table.separatorIndex));
  if (table.separatorCount > kDefaultSeparatorCount) {
    const SeparatorEntry& custom = table.separators[kDefaultSeparatorCount];
    const std::string_view name = StoredText(custom.name);
    AppendFormatted(out, "0x%02X=%.*s\r\n", static_cast<unsigned>(custom.code),
                    static_cast<int>(name.size()), name.data());
  }
  out += "#FIELD\r\n";
  const int32_t used = std::clamp<int32_t>(table.fieldCount, 0, kMaxFields);
  for (int n = 1; n <= kMaxFields; ++n) {
    if (n > used) {
      AppendFormatted(out, "F%02d=\r\n", n);
      continue;
    }
    const FieldSpec& field = table.fields[n - 1];
    const std::string_view name = StoredText(field.displayName);
    AppendFormatted(out, "F%02d=%.*s,%u,%u\r\n", n, static_cast<int>(name.size()), name.data(),
                    static_cast<unsigned>(field.extractColn),
                    static_cast<unsigned>(field.displayRows));
  }
  return out;
}

Status SaveFieldConfig(const std::string& path, const FieldTable& table) {
  // Through a symlink, the file it points to is saved and the link kept.
  const fs::path target(FollowSymlinks(path));
  if (!target.has_filename()) return Status::Failed(path + ": names a folder, not a file");
  if (target.has_parent_path()) {
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error) return Status::Failed(target.parent_path().string() + ": " + error.message());
  }
  const std::string bytes = FormatFieldConfig(table);
  bool folderRefused = false;
  Status saved = ReplaceFileAtomically(target.string(), bytes, &folderRefused);
  if (saved.ok() || !folderRefused || ::access(target.c_str(), W_OK) != 0) return saved;

  // The folder allows no new file but the file may be written: it is
  // rewritten in place, after a copy of the old one in the cache folder,
  // since an interrupted rewrite is not atomic.
  const std::optional<std::string> old = ReadWholeFile(target.string());
  if (!old) return saved;
  const fs::path backup = fs::path(CacheFolder()) / "tabrelium" / (target.filename().string() + ".bak");
  std::error_code error;
  fs::create_directories(backup.parent_path(), error);
  if (Status kept = ReplaceFileAtomically(backup.string(), *old); !kept.ok())
    return Status::Failed(saved.message() + "; no backup copy could be made (" + kept.message() + ")");
  return RewriteFileInPlace(target.string(), bytes);
}

}  // namespace tabrelium
