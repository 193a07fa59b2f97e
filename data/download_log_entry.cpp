#include "data/download_log_entry.h"

#include <span>

#include "data/table_image.h"

namespace tabrelium {

DownloadLogEntry MakeDownloadLogEntry(const Session& session, std::string dataFile,
                                      const DeviceInfo& device, DownloadOutcome outcome,
                                      double seconds) {
  const TableImage& image = session.Image();
  DownloadLogEntry entry;
  entry.time = LogTimeNow();
  entry.dataFile = std::move(dataFile);
  entry.records = GetRecordCount(
      std::span<const uint8_t>(image.bytes.data(), static_cast<size_t>(image.imageSize)));
  entry.bytes = session.Package().DataLength();
  entry.crc32 = session.Package().Crc();
  entry.devicePath = device.path;
  entry.serial = device.serial;
  entry.outcome = outcome;
  entry.seconds = seconds;
  return entry;
}

}  // namespace tabrelium
