#include "device/download_log.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/file_descriptor.h"
#include "common/json_text.h"

namespace tabrelium {
namespace {

constexpr std::pair<DownloadOutcome, std::string_view> kOutcomeKeys[] = {
    {DownloadOutcome::kConnectionFailed, "connection_failed"},
    {DownloadOutcome::kCompleted, "completed"},
    {DownloadOutcome::kFailed, "failed"},
    {DownloadOutcome::kEnded, "ended"},
    {DownloadOutcome::kCapacityRefused, "capacity_refused"},
    {DownloadOutcome::kDisconnected, "disconnected"},
    {DownloadOutcome::kStopped, "stopped"},
    {DownloadOutcome::kDeviceSilent, "device_silent"},
};

Status Failure(const std::string& path, int error) {
  return Status::Failed(path + ": " + std::strerror(error));
}

// Makes every missing folder of `folder`, private to the user as state is.
bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// The flat objects FormatLogLine writes: "key":value pairs, values strings
// (with the escapes JsonString makes) or numbers. Gives the raw value text
// of `key`, unescaped for a string; nothing when it is absent.
std::optional<std::string> Field(std::string_view line, std::string_view key) {
  const std::string quoted = "\"" + std::string(key) + "\":";
  const size_t at = line.find(quoted);
  if (at == std::string_view::npos) return std::nullopt;
  size_t i = at + quoted.size();
  std::string value;
  if (i < line.size() && line[i] == '"') {
    for (++i; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] != '\\' || i + 1 >= line.size()) {
        value += line[i];
        continue;
      }
      const char e = line[++i];
      if (e == 'n') value += '\n';
      else if (e == 'r') value += '\r';
      else if (e == 't') value += '\t';
      else if (e == 'u' && i + 4 < line.size()) {
        value += static_cast<char>(std::strtol(std::string(line.substr(i + 1, 4)).c_str(), nullptr, 16));
        i += 4;
      } else value += e;
    }
    if (i >= line.size()) return std::nullopt;  // no closing quote
    return value;
  }
  while (i < line.size() && line[i] != ',' && line[i] != '}') value += line[i++];
  return value;
}

template <typename T>
bool Number(const std::optional<std::string>& text, T& out, int base = 10) {
  if (!text) return false;
  std::string_view digits = *text;
  if (base == 16 && digits.substr(0, 2) == "0x") digits.remove_prefix(2);
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), out, base);
  return ec == std::errc() && end == digits.data() + digits.size();
}

}  // namespace

std::string_view OutcomeKey(DownloadOutcome outcome) {
  for (const auto& [o, key] : kOutcomeKeys)
    if (o == outcome) return key;
  return "stopped";
}

std::optional<DownloadOutcome> OutcomeFromKey(std::string_view key) {
  for (const auto& [o, k] : kOutcomeKeys)
    if (k == key) return o;
  return std::nullopt;
}

std::string DownloadLogPath() {
  std::string state;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/')
    state = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    state = std::string(home) + "/.local/state";
  else
    return {};
  return state + "/tabrelium/downloads.log";
}

std::string LogTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  return text;
}

std::string FormatLogLine(const DownloadLogEntry& e) {
  char crc[16], seconds[32];
  std::snprintf(crc, sizeof crc, "0x%08X", e.crc32);
  std::snprintf(seconds, sizeof seconds, "%.1f", e.seconds);
  return "{\"time\":" + JsonString(e.time) + ",\"file\":" + JsonString(e.dataFile) +
         ",\"records\":" + std::to_string(e.records) + ",\"bytes\":" + std::to_string(e.bytes) +
         ",\"crc32\":\"" + crc + "\",\"device\":" + JsonString(e.devicePath) +
         ",\"serial\":" + JsonString(e.serial) + ",\"outcome\":\"" +
         std::string(OutcomeKey(e.outcome)) + "\",\"seconds\":" + seconds + "}\n";
}

std::optional<DownloadLogEntry> ParseLogLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() < 2 || line.front() != '{' || line.back() != '}') return std::nullopt;
  DownloadLogEntry e;
  auto time = Field(line, "time"), file = Field(line, "file"), device = Field(line, "device"),
       serial = Field(line, "serial"), outcome = Field(line, "outcome");
  if (!time || !file || !device || !serial || !outcome) return std::nullopt;
  auto known = OutcomeFromKey(*outcome);
  if (!known || !Number(Field(line, "records"), e.records) ||
      !Number(Field(line, "bytes"), e.bytes) || !Number(Field(line, "crc32"), e.crc32, 16))
    return std::nullopt;
  auto seconds = Field(line, "seconds");
  if (!seconds) return std::nullopt;
  e.seconds = std::strtod(seconds->c_str(), nullptr);
  e.time = *time;
  e.dataFile = *file;
  e.devicePath = *device;
  e.serial = *serial;
  e.outcome = *known;
  return e;
}

Status AppendDownloadLog(const DownloadLogEntry& entry, const std::string& path) {
  if (path.empty()) return Status::Failed("no place for the download log: HOME is not set");
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash)))
    return Failure(path.substr(0, slash), errno);
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
  if (file.get() < 0) return Failure(path, errno);
  // One write for the whole line: with O_APPEND the kernel puts it at the
  // end in one piece, whoever else appends at the same time.
  const std::string line = FormatLogLine(entry);
  const ssize_t written = ::write(file.get(), line.data(), line.size());
  if (written != static_cast<ssize_t>(line.size())) return Failure(path, written < 0 ? errno : ENOSPC);
  if (!file.Close()) return Failure(path, errno);
  return Status();
}

Status ReadDownloadLog(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  std::FILE* in = std::fopen(path.c_str(), "rbe");
  if (!in) return errno == ENOENT ? Status() : Failure(path, errno);
  std::string line;
  for (int c; (c = std::fgetc(in)) != EOF;) {
    if (c != '\n') {
      line += static_cast<char>(c);
    } else if (!line.empty()) {
      lines.push_back(std::move(line));
      line.clear();
    }
  }
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) return Failure(path, EIO);
  if (!line.empty()) lines.push_back(std::move(line));  // a last line cut short
  return Status();
}

}  // namespace tabrelium
