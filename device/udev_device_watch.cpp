// The Linux watch: udev's monitor tells of every hidraw node that comes or
// goes, after udev's rules have given it its owner, so a listing made then
// sees the node as the user will find it. The one file that uses libudev.
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "common/file_descriptor.h"
#include "device/device_watch.h"
#include "device/listing_thread.h"

namespace tabrelium {
namespace {

// A listing now and then all the same, in case an event was missed.
constexpr std::chrono::seconds kSafetyInterval{30};

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <class T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

class UdevDeviceWatch final : public DeviceWatch {
 public:
  UdevDeviceWatch(UdevPtr<udev> context, UdevPtr<udev_monitor> monitor, FileDescriptor stop,
                  Changed changed, Lister list)
      : context_(std::move(context)),
        monitor_(std::move(monitor)),
        stop_(std::move(stop)),
        listing_(std::move(changed), std::move(list), kSafetyInterval),
        events_([this] { Listen(); }) {}

  ~UdevDeviceWatch() override {
    const uint64_t one = 1;
    (void)!::write(stop_.get(), &one, sizeof one);
    events_.join();
  }

  void Refresh() override { listing_.Wake(); }

 private:
  void Listen() {
    pollfd fds[2] = {{udev_monitor_get_fd(monitor_.get()), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, -1) < 0) continue;  // EINTR
      if (fds[1].revents) return;
      if (!(fds[0].revents & POLLIN)) continue;
      // Every pending event at once: a plug brings several.
      while (UdevPtr<udev_device> event{udev_monitor_receive_device(monitor_.get())}) {
      }
      listing_.Wake();
    }
  }

  UdevPtr<udev> context_;
  UdevPtr<udev_monitor> monitor_;
  FileDescriptor stop_;
  ListingThread listing_;
  std::thread events_;  // last: it starts once everything else exists
};

}  // namespace

std::unique_ptr<DeviceWatch> StartUdevDeviceWatch(DeviceWatch::Changed changed,
                                                  DeviceWatch::Lister list) {
  // Without a running udev daemon the monitor is silent for ever.
  if (::access("/run/udev/control", F_OK) != 0) return nullptr;
  UdevPtr<udev> context{udev_new()};
  if (!context) return nullptr;
  UdevPtr<udev_monitor> monitor{udev_monitor_new_from_netlink(context.get(), "udev")};
  if (!monitor ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0)
    return nullptr;
  FileDescriptor stop(::eventfd(0, EFD_CLOEXEC));
  if (stop.get() < 0) return nullptr;
  return std::make_unique<UdevDeviceWatch>(std::move(context), std::move(monitor),
                                           std::move(stop), std::move(changed), std::move(list));
}

std::unique_ptr<DeviceWatch> StartDeviceWatch(DeviceWatch::Changed changed) {
  if (auto watch = StartUdevDeviceWatch(changed, ListDevices)) return watch;
  return StartPollingDeviceWatch(std::move(changed), ListDevices, std::chrono::seconds(1));
}

}  // namespace tabrelium
