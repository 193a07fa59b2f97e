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

std::string DevicesCompletedText(size_t completed, size_t devices) {
  const std::string c = std::to_string(completed), n = std::to_string(devices);
  return "Completed on " + c + " of " + n + " devices(" + n + " 台设备中 " + c + " 台完成)";
}

std::string LastEndingText(DownloadOutcome outcome, std::string_view logTime) {
  std::string text = DownloadOutcomeShortText(outcome);
  // "YYYY-MM-DDTHH:MM...": month, day, hour and minute are enough in a shop.
  if (logTime.size() >= 16) {
    text += ' ';
    text += logTime.substr(5, 5);
    text += ' ';
    text += logTime.substr(11, 5);
  }
  return text;
}

std::string DownloadLogNotWrittenText(std::string_view reason) {
  return "The download log could not be written(下载记录无法写入): " + std::string(reason);
}

}  // namespace tabrelium::texts
