#include "cli/devices_command.h"

#include <string>

#include "cli/commands.h"
#include "common/json_text.h"
#include "common/user_texts.h"
#include "device/device_list.h"

namespace tabrelium::cli {
namespace {

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::string DevicesAsJson(const std::vector<DeviceInfo>& devices) {
  std::string out = "[";
  for (size_t i = 0; i < devices.size(); ++i) {
    const DeviceInfo& d = devices[i];
    out += i ? ",\n " : "";
    out += "{\"path\":" + JsonString(d.path) + ",\"serial\":" + JsonString(d.serial) +
           ",\"manufacturer\":" + JsonString(d.manufacturer) +
           ",\"product\":" + JsonString(d.product) +
           ",\"may_open\":" + (d.access == OpenFailure::kNone ? "true" : "false") + "}";
  }
  return out + "]\n";
}

// One line each, fields joined by TAB; then, for a device this user may
// not open, the fix.
std::string DevicesAsTable(const std::vector<DeviceInfo>& devices) {
  std::string out;
  for (const DeviceInfo& d : devices)
    out += d.path + '\t' + OrDash(d.serial) + '\t' + OrDash(d.manufacturer) + '\t' +
           OrDash(d.product) + '\t' + texts::DeviceAccessText(d.access) + '\n';
  for (const DeviceInfo& d : devices)
    if (d.access == OpenFailure::kAccessDenied) {
      out += texts::OpenFailureText(d.access, d.path) + '\n';
      break;
    }
  if (devices.empty()) out = texts::DeviceCountText(0) + '\n';
  return out;
}

}  // namespace

int RunDevices(const Options& options) {
  const std::vector<DeviceInfo> devices = ListDevices();
  const std::string text = options.json ? DevicesAsJson(devices) : DevicesAsTable(devices);
  if (auto failure = WriteStdout(text)) return Report(*failure);
  return 0;
}

}  // namespace tabrelium::cli
