// The only file that calls the HID library. The reader thread reads input
// reports into the mailbox and, when it ends, closes the device; writes go
// through a TimedReportWriter; both threads pass their library calls through
// one DeviceCallGate. The library keeps one error text for calls that name
// no device, freed and replaced by each of them, so those calls (start, end,
// listing, opening) are made one at a time across every link in the process.
#include "device/hid_link.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/device_call_gate.h"
#include "device/device_list.h"
#include "device/event.h"
#include "device/report_mailbox.h"
#include "device/timed_report_writer.h"

namespace tabrelium {
namespace {

constexpr int kReadTimeoutMs = 10;

// Held around every call of the library that names no device.
std::mutex& LibraryMutex() {
  static std::mutex mutex;
  return mutex;
}

// The library's strings are wchar_t, UTF-32 on Linux.
std::string ToUtf8(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) {
    const auto c = static_cast<uint32_t>(*text);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18 & 0x07));
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Whether this user may open the node, without opening it: a device being
// downloaded to by another link must not be disturbed. Only a path that is
// no node of this system (another platform's, or an emulated one) is
// opened and closed again to find out.
OpenFailure AccessOf(const std::string& path) {
  struct stat node {};
  if (::stat(path.c_str(), &node) == 0)
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0
               ? OpenFailure::kNone
               : OpenFailure::kAccessDenied;
  errno = 0;
  hid_device* probe = hid_open_path(path.c_str());
  if (probe) {
    hid_close(probe);
    return OpenFailure::kNone;
  }
  return errno == EACCES || errno == EPERM ? OpenFailure::kAccessDenied : OpenFailure::kBusy;
}
constexpr std::chrono::milliseconds kWriteLimit{30};

// hid_open_path says only that it failed. The open(2) inside it leaves its
// errno behind when nothing later overwrote it; failing that, opening the
// node ourselves tells a permission problem (the udev rule is missing) from
// anything else.
OpenFailure WhyOpenFailed(const std::string& path, int errnoAfterOpen) {
  if (errnoAfterOpen == EACCES || errnoAfterOpen == EPERM) return OpenFailure::kAccessDenied;
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return OpenFailure::kBusy;
  }
  return errno == EACCES || errno == EPERM ? OpenFailure::kAccessDenied : OpenFailure::kBusy;
}

// The link's threads take no signals, so that a signal meant for the program
// (Ctrl+C) never interrupts a read, which would look like a vanished device.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous_);
  }
  ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// One opened device with its reader and writer; lives from Open to Stop.
struct Connection {
  Connection(hid_device* opened, ReportMailbox& mailbox, std::atomic<bool>& disconnected)
      : device(opened),
        writer(
            [this](std::span<const uint8_t, kReportBytes> report) {
              return gate.Run(DeviceCallGate::kWrite, [&] { return hid_write(device, report.data(), report.size()); });
            },
            kWriteLimit),
        reader([this, &mailbox, &disconnected] { ReadUntilStopped(mailbox, disconnected); }) {}

  // Reads without pausing: the read's own 10 ms time-out paces the loop, and
  // the stop event is looked at between reads.
  void ReadUntilStopped(ReportMailbox& mailbox, std::atomic<bool>& disconnected) {
    std::array<uint8_t, kReportBytes> report{};
    while (!stop.IsSet()) {
      report.fill(0);
      const int n = gate.Run(
          DeviceCallGate::kRead, [&] { return hid_read_timeout(device, report.data(), report.size(), kReadTimeoutMs); });
      if (n > 0) {
        mailbox.Put(report);
      } else if (n < 0) {
        // The node has hung up: every further read would fail at once.
        disconnected.store(true);
        mailbox.Close();
        break;
      }
    }
    writer.Close();  // a write in progress finishes first; it uses the device
    std::lock_guard lock(LibraryMutex());
    hid_close(device);
    device = nullptr;
    hid_exit();
  }

  hid_device* device;
  DeviceCallGate gate;
  ManualResetEvent stop;
  TimedReportWriter writer;
  std::thread reader;  // last: it starts once everything else exists
};

}  // namespace

std::vector<DeviceInfo> ListDevices() {
  std::lock_guard lock(LibraryMutex());
  std::vector<DeviceInfo> devices;
  if (hid_init() != 0) return devices;
  hid_device_info* found = hid_enumerate(DEVICE_VID, DEVICE_PID);
  for (const hid_device_info* d = found; d; d = d->next) {
    if (!d->path) continue;
    devices.push_back({d->path, ToUtf8(d->serial_number), ToUtf8(d->manufacturer_string),
                       ToUtf8(d->product_string), OpenFailure::kNone});
  }
  hid_free_enumeration(found);
  for (DeviceInfo& device : devices) device.access = AccessOf(device.path);
  hid_exit();
  return devices;
}

struct HidLink::State {
  std::string chosenPath;  // empty: the first device listed
  ReportMailbox mailbox;
  std::atomic<bool> disconnected{false};
  std::unique_ptr<Connection> connection;
};

HidLink::HidLink() : state_(std::make_unique<State>()) {}

HidLink::HidLink(std::string devicePath) : HidLink() {
  state_->chosenPath = std::move(devicePath);
}

HidLink::~HidLink() { Stop(); }

OpenResult HidLink::Open() {
  Stop();
  std::unique_lock lock(LibraryMutex());
  if (hid_init() != 0) return {OpenFailure::kLibrary, {}};
  std::string path;
  hid_device_info* found = hid_enumerate(DEVICE_VID, DEVICE_PID);
  for (const hid_device_info* d = found; d; d = d->next) {
    if (!d->path) continue;
    // The first in the library's order, or the one chosen while it is listed.
    if (state_->chosenPath.empty() || state_->chosenPath == d->path) {
      path = d->path;
      break;
    }
  }
  hid_free_enumeration(found);
  if (path.empty()) {
    hid_exit();
    return {OpenFailure::kNoDevice, state_->chosenPath};
  }
  errno = 0;
  hid_device* device = hid_open_path(path.c_str());
  if (!device) {
    const OpenFailure why = WhyOpenFailed(path, errno);
    hid_exit();
    return {why, path};
  }
  lock.unlock();
  state_->disconnected.store(false);
  state_->mailbox.Reopen();
  SignalsBlocked blocked;  // the new threads inherit the blocked mask
  state_->connection = std::make_unique<Connection>(device, state_->mailbox, state_->disconnected);
  return {OpenFailure::kNone, path};
}

int HidLink::SendReport(std::span<const uint8_t, kFrameBytes> frame) {
  if (!state_->connection) return -1;
  std::array<uint8_t, kReportBytes> report{};  // report ID 0x00: the device uses none
  std::copy(frame.begin(), frame.end(), report.begin() + 1);
  return state_->connection->writer.Write(report);
}

bool HidLink::WaitReport(std::span<uint8_t, kReportBytes> report, int tries) {
  return state_->mailbox.TakeWithinTries(report, tries);
}

void HidLink::Stop() {
  if (!state_->connection) return;
  state_->connection->stop.Set();
  state_->connection->reader.join();  // it closes the device and ends the library
  state_->connection.reset();
}

bool HidLink::IsDisconnected() const { return state_->disconnected.load(); }

}  // namespace tabrelium
