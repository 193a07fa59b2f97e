// The users' texts about several devices: how many are connected, whether
// each may be opened, how each download ended.
#include "common/user_texts.h"

namespace tabrelium::texts {

std::string DeviceCountText(size_t count) {
  if (count == 0) return "No device(未连接设备)";
  const std::string n = std::to_string(count);
  return n + (count == 1 ? " device(" : " devices(") + n + " 台设备)";
}

std::string DeviceCountLabelText(size_t count, size_t notPermitted) {
  std::string text = DeviceCountText(count);
  if (notPermitted == 0) return text;
  const std::string n = std::to_string(notPermitted);
  if (notPermitted == count)
    return text + ", not permitted to open(无权打开)";
  return text + ", " + n + " not permitted to open(" + n + " 台无权打开)";
}

std::string DeviceAccessText(OpenFailure access) {
  switch (access) {
    case OpenFailure::kNone: return "may open(可以打开)";
    case OpenFailure::kAccessDenied: return "not permitted to open(无权打开)";
    case OpenFailure::kBusy: return "in use(正被使用)";
    case OpenFailure::kNoDevice: return "gone(已断开)";
    case OpenFailure::kLibrary: break;
  }
  return "cannot be opened(无法打开)";
}

std::string DownloadOutcomeShortText(DownloadOutcome outcome) {
  switch (outcome) {
    case DownloadOutcome::kCompleted: return "Completed(完成)";
    case DownloadOutcome::kFailed: return std::string(kDownloadFailed);
    case DownloadOutcome::kEnded: return "Ended unconfirmed(结束未确认)";
    case DownloadOutcome::kCapacityRefused: return "Too little room(空间不足)";
    case DownloadOutcome::kDisconnected: return "Unplugged(已拔出)";
    case DownloadOutcome::kStopped: return "Stopped(已停止)";
    case DownloadOutcome::kDeviceSilent: return "Not answering(设备无应答)";
    case DownloadOutcome::kConnectionFailed: break;
  }
  return std::string(kConnectionFailed);
}

}  // namespace tabrelium::texts
