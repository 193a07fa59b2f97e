// HIDAPI's C functions, as Debian's libhidapi-hidraw 0.13.1 declares them,
// over emulated download devices that live in this process (one, or
// TABRELIUM_EMU_COUNT): each is listed and opened like a hidraw node
// (/dev/hidraw-emu0, -emu1, ...), and every handle runs its device on a
// thread of its own (emu_device.h) behind the bus model (emu_bus.h).
//
// Thread-safety: as HIDAPI's: listing and opening from one thread at a
// time; on an open handle one read and one write may run at once, and
// hid_close may end a read that another thread is waiting in.

#include <hidapi/hidapi.h>

#include <array>
#include <charconv>
#include <chrono>
#include <mutex>
#include <string>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <memory>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>

#include "device/device_frame.h"
#include "tools/hidemu/emu_bus.h"
#include "tools/hidemu/emu_config.h"
#include "tools/hidemu/emu_device.h"
#include "tools/hidemu/emu_record.h"

namespace {

constexpr unsigned short kVendorId = 0x2018;
constexpr unsigned short kProductId = 0x0101;
constexpr const char* kPathPrefix = "/dev/hidraw-emu";
constexpr const wchar_t* kManufacturer = L"Tabrelium hidemu";
constexpr const wchar_t* kProduct = L"Emulated download device";

constexpr const wchar_t* kNoError = L"Success";
constexpr const wchar_t* kNotFound = L"No HID devices with requested VID/PID found in the system.";
constexpr const wchar_t* kOpenDenied = L"Failed to open a device with path: Permission denied";
constexpr const wchar_t* kOpenBusy = L"Failed to open a device with path: Device or resource busy";
constexpr const wchar_t* kNoSuchPath =
    L"Failed to open a device with path: No such file or directory";
constexpr const wchar_t* kPathGone = kNoSuchPath;
constexpr const wchar_t* kNoThread = L"could not start the emulated device's thread";
constexpr const wchar_t* kNoFeatureReports = L"the download device has no feature reports";
constexpr const wchar_t* kNoInputReportRequests =
    L"the download device does not answer input report requests";
constexpr const wchar_t* kNoIndexedStrings = L"the download device has no indexed strings";

// Failures outside any handle, for hid_error(NULL): static strings only,
// so a pointer handed out stays valid.
std::atomic<const wchar_t*> g_globalError{kNoError};
// Each device serves one handle at a time.
std::array<std::atomic<bool>, hidemu::kMaxDevices> g_deviceOpen{};

// One listing entry with the storage for its strings, laid out so that the
// hid_device_info at its start leads back to the whole entry.
struct DeviceEntry {
  hid_device_info info;
  std::array<char, 32> path;
  std::array<wchar_t, 32> serial;
  std::array<wchar_t, 32> manufacturer;
  std::array<wchar_t, 32> product;
};
static_assert(std::is_standard_layout_v<DeviceEntry>);

template <size_t N>
void CopyText(std::array<wchar_t, N>& to, const wchar_t* from) {
  std::wcsncpy(to.data(), from, N - 1);
  to[N - 1] = L'\0';
}

std::string PathOf(int index) { return kPathPrefix + std::to_string(index); }

std::array<wchar_t, 32> SerialOf(int index) {
  std::array<wchar_t, 32> serial{};
  std::swprintf(serial.data(), serial.size(), L"EMU%04d", index + 1);
  return serial;
}

// The index of the device at `path`, or -1.
int IndexOf(std::string_view path) {
  const std::string_view prefix = kPathPrefix;
  if (path.substr(0, prefix.size()) != prefix) return -1;
  path.remove_prefix(prefix.size());
  int index = -1;
  const auto [end, ec] = std::from_chars(path.data(), path.data() + path.size(), index);
  if (ec != std::errc() || end != path.data() + path.size() || path.empty()) return -1;
  return index >= 0 && index < hidemu::ReadEmuDeviceCount(false) ? index : -1;
}

bool Listed(int index) {
  return !hidemu::Record().unplugged[index] && hidemu::ReadEmuConfig(false, index).present;
}

void Describe(DeviceEntry& entry, int index) {
  entry = {};
  std::strncpy(entry.path.data(), PathOf(index).c_str(), entry.path.size() - 1);
  entry.serial = SerialOf(index);
  CopyText(entry.manufacturer, kManufacturer);
  CopyText(entry.product, kProduct);
  hid_device_info& info = entry.info;
  info.path = entry.path.data();
  info.vendor_id = kVendorId;
  info.product_id = kProductId;
  info.serial_number = entry.serial.data();
  info.release_number = 0x0100;
  info.manufacturer_string = entry.manufacturer.data();
  info.product_string = entry.product.data();
  info.usage_page = 0xFF00;  // vendor-defined, as download interfaces are
  info.usage = 0x0001;
  info.interface_number = 0;
  info.next = nullptr;
  info.bus_type = HID_API_BUS_USB;
}

bool Matches(unsigned short vendorId, unsigned short productId) {
  return (vendorId == 0 || vendorId == kVendorId) && (productId == 0 || productId == kProductId);
}

hid_device* Fail(const wchar_t* message, int error) {
  g_globalError = message;
  errno = error;
  return nullptr;
}

int CopyString(wchar_t* to, size_t maxlen, const wchar_t* from) {
  if (to == nullptr || maxlen == 0) return -1;
  std::wcsncpy(to, from, maxlen - 1);
  to[maxlen - 1] = L'\0';
  return 0;
}

}  // namespace

// The open handle: the device, its thread and the bus between them.
struct hid_device_ {
  int index = 0;
  DeviceEntry entry;
  // The host's answer time: from the read that delivered a request to the
  // next write, timed per handle so that several devices never mix.
  std::mutex answerMutex;
  std::chrono::steady_clock::time_point requestReadAt{};
  bool requestPending = false;
  std::unique_ptr<hidemu::EmuBus> bus;
  std::unique_ptr<hidemu::EmuDevice> device;
  // The device starts once the host first reads or writes, so that opening
  // and closing again (to learn whether the user may) leaves no trace of a
  // download begun.
  std::once_flag startOnce;
  bool started = false;
  std::thread deviceThread;
  std::atomic<bool> nonblocking{false};
};

namespace {

// `absent` is the reason given when the device is not plugged in.
hid_device* OpenEmulatedDevice(int index, const wchar_t* absent) {
  const hidemu::EmuConfig config = hidemu::ReadEmuConfig(true, index);
  if (!config.present || hidemu::Record().unplugged[index]) return Fail(absent, ENOENT);
  if (config.access == hidemu::Access::kDenied) return Fail(kOpenDenied, EACCES);
  if (config.access == hidemu::Access::kBusy) return Fail(kOpenBusy, EBUSY);
  if (g_deviceOpen[index].exchange(true)) return Fail(kOpenBusy, EBUSY);

  hidemu::BusSettings bus;
  bus.frameTime = config.frameTime;
  bus.stall = config.stall;
  bus.loss = config.loss;
  bus.corrupt = config.corrupt;
  if (config.seed) {
    bus.seed = *config.seed;
  } else {
    std::random_device entropy;
    bus.seed = uint64_t{entropy()} << 32 | entropy();
  }
  hidemu::DeviceSettings device;
  device.capacity = config.capacity;
  device.unplugAtBlock = config.unplugAtBlock;
  device.outPath = config.outPath;
  device.mute = config.mute;
  device.stall = config.stall;
  device.pauseBeforeEnd = config.pauseBeforeEnd;
  device.loseEnding = config.loseEnding;
  device.unplugged = &hidemu::Record().unplugged[index];

  hidemu::EmuRecord& record = hidemu::Record();
  auto handle = std::make_unique<hid_device_>();
  handle->index = index;
  Describe(handle->entry, index);
  handle->bus = std::make_unique<hidemu::EmuBus>(bus, record.counters);
  handle->device = std::make_unique<hidemu::EmuDevice>(device, *handle->bus, record);
  ++record.counters.opens;
  g_globalError = kNoError;
  return handle.release();
}

// Starts the device's thread on the first call that needs it; false when
// it could not start.
bool Started(hid_device* dev) {
  std::call_once(dev->startOnce, [dev] {
    try {
      dev->deviceThread = std::thread([d = dev->device.get()] { d->Run(); });
      dev->started = true;
    } catch (const std::system_error&) {
      // No exception may cross into a C caller.
      dev->bus->SetLastError(kNoThread);
    }
  });
  return dev->started;
}

}  // namespace

extern "C" {

int hid_init(void) {
  g_globalError = kNoError;
  return 0;
}

int hid_exit(void) {
  g_globalError = kNoError;
  return 0;
}

struct hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  hid_device_info* first = nullptr;
  hid_device_info** next = &first;
  if (Matches(vendor_id, product_id)) {
    const int count = hidemu::ReadEmuDeviceCount(false);
    for (int index = 0; index < count; ++index) {
      if (!Listed(index)) continue;
      auto entry = std::make_unique<DeviceEntry>();
      Describe(*entry, index);
      *next = &entry.release()->info;
      next = &(*next)->next;
    }
  }
  g_globalError = first ? kNoError : kNotFound;
  return first;
}

void hid_free_enumeration(struct hid_device_info* devs) {
  while (devs != nullptr) {
    hid_device_info* next = devs->next;
    // Every node came from hid_enumerate as the first member of a DeviceEntry.
    std::unique_ptr<DeviceEntry> owner(reinterpret_cast<DeviceEntry*>(devs));
    devs = next;
  }
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id,
                     const wchar_t* serial_number) {
  if (!Matches(vendor_id, product_id)) return Fail(kNotFound, ENOENT);
  const int count = hidemu::ReadEmuDeviceCount(false);
  for (int index = 0; index < count; ++index) {
    if (!Listed(index)) continue;
    if (serial_number == nullptr || std::wcscmp(serial_number, SerialOf(index).data()) == 0)
      return OpenEmulatedDevice(index, kNotFound);
  }
  return Fail(kNotFound, ENOENT);
}

hid_device* hid_open_path(const char* path) {
  const int index = path == nullptr ? -1 : IndexOf(path);
  if (index < 0) return Fail(kNoSuchPath, ENOENT);
  return OpenEmulatedDevice(index, kPathGone);
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  if (dev == nullptr || data == nullptr || !Started(dev)) return -1;
  {
    std::lock_guard lock(dev->answerMutex);
    if (dev->requestPending) {
      dev->requestPending = false;
      hidemu::Record().AddAnswerLatency(std::chrono::steady_clock::now() - dev->requestReadAt);
    }
  }
  return dev->bus->HostWrite(std::span(data, length));
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  if (dev == nullptr || data == nullptr || !Started(dev)) return -1;
  const int n = dev->bus->HostRead(std::span(data, length), milliseconds);
  if (n >= 2 && (data[1] == tabrelium::CMD_HEADER || data[1] == tabrelium::CMD_BLOCK)) {
    std::lock_guard lock(dev->answerMutex);
    dev->requestReadAt = std::chrono::steady_clock::now();
    dev->requestPending = true;
  }
  return n;
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) {
  if (dev == nullptr) return -1;
  return hid_read_timeout(dev, data, length, dev->nonblocking ? 0 : -1);
}

int hid_set_nonblocking(hid_device* dev, int nonblock) {
  if (dev == nullptr) return -1;
  dev->nonblocking = nonblock != 0;
  return 0;
}

int hid_send_feature_report(hid_device* dev, const unsigned char*, size_t) {
  if (dev != nullptr) dev->bus->SetLastError(kNoFeatureReports);
  return -1;
}

int hid_get_feature_report(hid_device* dev, unsigned char*, size_t) {
  if (dev != nullptr) dev->bus->SetLastError(kNoFeatureReports);
  return -1;
}

int hid_get_input_report(hid_device* dev, unsigned char*, size_t) {
  if (dev != nullptr) dev->bus->SetLastError(kNoInputReportRequests);
  return -1;
}

void hid_close(hid_device* dev) {
  if (dev == nullptr) return;
  std::unique_ptr<hid_device_> handle(dev);
  // Wakes a read another thread is waiting in and waits for it to leave,
  // then ends the device, before the handle goes.
  handle->bus->Close();
  if (handle->deviceThread.joinable()) handle->deviceThread.join();
  ++hidemu::Record().counters.closes;
  g_deviceOpen[handle->index] = false;
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return dev == nullptr ? -1 : CopyString(string, maxlen, kManufacturer);
}

int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return dev == nullptr ? -1 : CopyString(string, maxlen, kProduct);
}

int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return dev == nullptr ? -1 : CopyString(string, maxlen, SerialOf(dev->index).data());
}

struct hid_device_info* hid_get_device_info(hid_device* dev) {
  return dev == nullptr ? nullptr : &dev->entry.info;
}

int hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t) {
  if (dev != nullptr) dev->bus->SetLastError(kNoIndexedStrings);
  return -1;
}

const wchar_t* hid_error(hid_device* dev) {
  return dev == nullptr ? g_globalError.load() : dev->bus->LastError();
}

const struct hid_api_version* hid_version(void) {
  static const hid_api_version version{HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR,
                                       HID_API_VERSION_PATCH};
  return &version;
}

const char* hid_version_str(void) { return HID_API_VERSION_STR; }

}  // extern "C"
