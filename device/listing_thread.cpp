#include "device/listing_thread.h"

namespace tabrelium {

bool SameDevices(const std::vector<DeviceInfo>& a, const std::vector<DeviceInfo>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].path != b[i].path || a[i].serial != b[i].serial || a[i].access != b[i].access)
      return false;
  return true;
}

ListingThread::ListingThread(DeviceWatch::Changed changed, DeviceWatch::Lister list,
                             std::chrono::milliseconds interval)
    : changed_(std::move(changed)),
      list_(std::move(list)),
      interval_(interval),
      thread_([this] { Run(); }) {}

ListingThread::~ListingThread() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ListingThread::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void ListingThread::Run() {
  std::vector<DeviceInfo> last;
  bool first = true;
  std::unique_lock lock(mutex_);
  while (!ending_) {
    woken_ = false;
    lock.unlock();
    std::vector<DeviceInfo> now = list_();
    if (first || !SameDevices(now, last)) changed_(now);
    first = false;
    last = std::move(now);
    lock.lock();
    wake_.wait_for(lock, interval_, [this] { return woken_ || ending_; });
  }
}

}  // namespace tabrelium
