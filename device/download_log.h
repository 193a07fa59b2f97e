// The download log: one line per device per download, appended to
// $XDG_STATE_HOME/tabrelium/downloads.log (~/.local/state/... when unset),
// so that a shop can tell what was sent where, and when. Each line is one
// JSON object:
//   {"time":"2026-12-10T19:05:02+0800","file":"products.csv","records":3000,
//    "bytes":123456,"crc32":"0x1A2B3C4D","device":"/dev/hidraw3",
//    "serial":"A123","outcome":"completed","seconds":2.4}
// The file is opened for appending and each line written with one write(),
// so lines from two programs writing at once never mix.
//
// Thread-safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/download_facts.h"
#include "common/status.h"

namespace tabrelium {

struct DownloadLogEntry {
  std::string time;      // local time with its offset from UTC, as above
  std::string dataFile;  // as the user named it, UTF-8
  int64_t records = 0;
  uint32_t bytes = 0;    // the table image, as sent
  uint32_t crc32 = 0;    // the package's
  std::string devicePath;
  std::string serial;
  DownloadOutcome outcome = DownloadOutcome::kStopped;
  double seconds = 0;    // from the start of the download to its end
};

// The log's path from the environment; empty when neither XDG_STATE_HOME
// nor HOME is set.
std::string DownloadLogPath();

// The present time in the log's form.
std::string LogTimeNow();

// The entry's line, newline included.
std::string FormatLogLine(const DownloadLogEntry& entry);
// A line written by FormatLogLine; nothing for anything else.
std::optional<DownloadLogEntry> ParseLogLine(std::string_view line);

// The word the log uses for `outcome`, and back.
std::string_view OutcomeKey(DownloadOutcome outcome);
std::optional<DownloadOutcome> OutcomeFromKey(std::string_view key);

// Appends the entry's line to the log at `path`, making its folder when
// missing. A failure carries the path and the system's reason.
Status AppendDownloadLog(const DownloadLogEntry& entry, const std::string& path);

// Every line of the log at `path` (none when it does not exist); a failure
// to read it carries the path and the system's reason.
Status ReadDownloadLog(const std::string& path, std::vector<std::string>& lines);

}  // namespace tabrelium
