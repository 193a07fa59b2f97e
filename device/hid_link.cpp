// The only file that calls the HID library. The reader thread reads input
// reports into the mailbox and, when it ends, closes the device; writes go
// through a TimedReportWriter; both threads pass their library calls through
// one DeviceCallGate.
#include "device/hid_link.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "device/device_call_gate.h"
#include "device/event.h"
#include "device/report_mailbox.h"
#include "device/timed_report_writer.h"

namespace tabrelium {
namespace {

constexpr int kReadTimeoutMs = 10;
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

struct HidLink::State {
  ReportMailbox mailbox;
  std::atomic<bool> disconnected{false};
  std::unique_ptr<Connection> connection;
};

HidLink::HidLink() : state_(std::make_unique<State>()) {}

HidLink::~HidLink() { Stop(); }

OpenResult HidLink::Open() {
  Stop();
  if (hid_init() != 0) return {OpenFailure::kLibrary, {}};
  std::string path;
  if (hid_device_info* found = hid_enumerate(DEVICE_VID, DEVICE_PID)) {
    if (found->path) path = found->path;  // the first in the library's order
    hid_free_enumeration(found);
  }
  if (path.empty()) {
    hid_exit();
    return {OpenFailure::kNoDevice, {}};
  }
  errno = 0;
  hid_device* device = hid_open_path(path.c_str());
  if (!device) {
    const OpenFailure why = WhyOpenFailed(path, errno);
    hid_exit();
    return {why, path};
  }
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
