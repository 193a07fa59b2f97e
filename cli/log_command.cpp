// tabrelium-cli log: the download log as a table, or its lines as they are.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/devices_command.h"
#include "common/user_texts.h"
#include "device/download_log.h"

namespace tabrelium::cli {

int RunLog(const Options& options) {
  const std::string path = DownloadLogPath();
  std::vector<std::string> lines;
  if (Status read = ReadDownloadLog(path, lines); !read.ok())
    return Report({"cannot read the download log " + read.message(), 1});
  std::string out;
  if (options.json) {
    for (const std::string& line : lines) out += line + '\n';
  } else {
    out = "time\toutcome\tdevice\tserial\tfile\trecords\tbytes\tCRC-32\tseconds\n";
    for (size_t i = 0; i < lines.size(); ++i) {
      const auto e = ParseLogLine(lines[i]);
      if (!e) {
        Warn("line " + std::to_string(i + 1) + " of " + path + " is no download record; left out");
        continue;
      }
      char numbers[96];
      std::snprintf(numbers, sizeof numbers, "%lld\t%u\t0x%08X\t%.1f",
                    static_cast<long long>(e->records), e->bytes, e->crc32, e->seconds);
      out += e->time + '\t' + texts::DownloadOutcomeShortText(e->outcome) + '\t' + e->devicePath +
             '\t' + (e->serial.empty() ? "-" : e->serial) + '\t' + e->dataFile + '\t' + numbers +
             '\n';
    }
  }
  if (auto failure = WriteStdout(out)) return Report(*failure);
  return 0;
}

}  // namespace tabrelium::cli
