// The watch for where no kernel events can be had: lists the devices at a
// fixed interval.
#include "device/device_watch.h"
#include "device/listing_thread.h"

namespace tabrelium {
namespace {

class PollingDeviceWatch final : public DeviceWatch {
 public:
  PollingDeviceWatch(Changed changed, Lister list, std::chrono::milliseconds interval)
      : thread_(std::move(changed), std::move(list), interval) {}
  void Refresh() override { thread_.Wake(); }

 private:
  ListingThread thread_;
};

}  // namespace

std::unique_ptr<DeviceWatch> StartPollingDeviceWatch(DeviceWatch::Changed changed,
                                                     DeviceWatch::Lister list,
                                                     std::chrono::milliseconds interval) {
  return std::make_unique<PollingDeviceWatch>(std::move(changed), std::move(list), interval);
}

}  // namespace tabrelium
