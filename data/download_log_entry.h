// The download log's line for one device's download of the session's
// table: what both front ends write when a device's download has ended.
//
// Thread-safety: reads the session; call it where the session may be read.
#pragma once

#include <string>

#include "data/session.h"
#include "device/device_list.h"
#include "device/download_log.h"

namespace tabrelium {

// The entry for `device` after a download of the session's package that
// ended with `outcome` after `seconds`; `dataFile` as the user named it.
DownloadLogEntry MakeDownloadLogEntry(const Session& session, std::string dataFile,
                                      const DeviceInfo& device, DownloadOutcome outcome,
                                      double seconds);

}  // namespace tabrelium
