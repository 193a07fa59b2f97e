#include "tools/hidemu/emu_bus.h"

#include <algorithm>

namespace hidemu {
namespace {

constexpr size_t kReportBytes = 65;
// hidraw keeps this many input reports for a reader; a report that finds
// the buffer full is dropped.
constexpr size_t kHostBufferFrames = 64;
// The device keeps no more than this many unread host frames.
constexpr size_t kDeviceBufferFrames = 1024;

constexpr const wchar_t* kNoError = L"Success";
constexpr const wchar_t* kReadUnplugged =
    L"hid_read_timeout: unexpected poll error (device disconnected)";
constexpr const wchar_t* kWriteUnplugged = L"hid_write: device disconnected";
constexpr const wchar_t* kClosed = L"the device handle is being closed";
constexpr const wchar_t* kBadLength =
    L"hid_write: a report of this device is 65 bytes (report ID 0x00, then 64 bytes)";
constexpr const wchar_t* kBadReportId =
    L"hid_write: this device has no report IDs; byte 0 must be 0x00";

// Counts a host call in, so that Close can wait for it to leave.
class HostCall {
 public:
  HostCall(int& inside, std::condition_variable& left) : inside_(inside), left_(left) { ++inside_; }
  ~HostCall() {
    if (--inside_ == 0) left_.notify_all();
  }
  HostCall(const HostCall&) = delete;
  HostCall& operator=(const HostCall&) = delete;

 private:
  int& inside_;
  std::condition_variable& left_;
};

}  // namespace

EmuBus::EmuBus(const BusSettings& settings, Counters& counters)
    : settings_(settings),
      counters_(counters),
      // The two directions draw apart, so that a seed replays both.
      outRng_(settings.seed),
      inRng_(settings.seed ^ 0x9E3779B97F4A7C15ull),
      lastError_(kNoError) {}

bool EmuBus::Carry(Frame& frame, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  if (settings_.loss > 0.0 && chance(rng) < settings_.loss) {
    ++counters_.framesLost;
    return false;
  }
  if (settings_.corrupt > 0.0 && chance(rng) < settings_.corrupt) {
    // One byte really changes, so the frame fails its check: a changed sync
    // or checksum byte shows at once, any other changed byte moves the sum.
    const size_t at = std::uniform_int_distribution<size_t>(0, frame.size() - 1)(rng);
    frame[at] ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(rng));
    ++counters_.framesCorrupted;
  }
  return true;
}

int EmuBus::HostWrite(std::span<const uint8_t> report) {
  std::unique_lock lock(mutex_);
  HostCall call(hostCallsInside_, hostWake_);
  if (GoneLocked()) {
    lastError_ = closed_ ? kClosed : kWriteUnplugged;
    return -1;
  }
  if (report.size() != kReportBytes) {
    lastError_ = kBadLength;
    return -1;
  }
  if (report[0] != 0x00) {
    lastError_ = kBadReportId;
    return -1;
  }

  // A write that follows the previous one's return within a frame time was
  // held back by that return: credit its lateness (at most a frame time),
  // since the host could not have written before it was woken.
  const auto now = Clock::now();
  Clock::duration credit{};
  if (now - lastWriteReturn_ < settings_.frameTime)
    credit = std::min<Clock::duration>(writeLateness_, settings_.frameTime);
  const auto start = std::max(now - credit, outFreeAt_);
  const auto done = start + settings_.frameTime + settings_.stall;
  outFreeAt_ = done;
  hostWake_.wait_until(lock, done, [&] { return GoneLocked(); });
  if (GoneLocked()) {
    lastError_ = closed_ ? kClosed : kWriteUnplugged;
    return -1;
  }
  lastWriteReturn_ = Clock::now();
  writeLateness_ = std::max<Clock::duration>(lastWriteReturn_ - done, Clock::duration::zero());

  ++counters_.framesFromHost;
  Frame frame;
  std::copy(report.begin() + 1, report.end(), frame.begin());
  if (Carry(frame, outRng_)) {
    if (toDevice_.size() >= kDeviceBufferFrames) {
      ++counters_.framesLost;
    } else {
      // Two writers could wake out of order; the device hears bus order.
      auto at = std::upper_bound(toDevice_.begin(), toDevice_.end(), done,
                                 [](Clock::time_point t, const Timed& x) { return t < x.at; });
      toDevice_.insert(at, Timed{frame, done});
      deviceWake_.notify_all();
    }
  }
  return static_cast<int>(kReportBytes);
}

int EmuBus::HostRead(std::span<uint8_t> out, int timeoutMs) {
  std::unique_lock lock(mutex_);
  HostCall call(hostCallsInside_, hostWake_);
  const bool forever = timeoutMs < 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    if (GoneLocked()) {
      lastError_ = closed_ ? kClosed : kReadUnplugged;
      return -1;
    }
    const auto now = Clock::now();
    if (!toHost_.empty() && toHost_.front().at <= now) {
      const Frame& frame = toHost_.front().frame;
      const size_t n = std::min(out.size(), frame.size());
      std::copy_n(frame.begin(), n, out.begin());
      toHost_.pop_front();
      return static_cast<int>(n);
    }
    if (!forever && now >= deadline) return 0;
    if (!toHost_.empty()) {
      const auto next = toHost_.front().at;  // on its way: wake when it arrives
      hostWake_.wait_until(lock, forever ? next : std::min(deadline, next));
    } else if (forever) {
      hostWake_.wait(lock);
    } else {
      hostWake_.wait_until(lock, deadline);
    }
  }
}

const wchar_t* EmuBus::LastError() const { return lastError_.load(); }

void EmuBus::SetLastError(const wchar_t* message) { lastError_ = message; }

Clock::time_point EmuBus::DeviceSend(const Frame& frame, Clock::time_point notBefore) {
  std::lock_guard lock(mutex_);
  const auto arrival = std::max(notBefore, inFreeAt_) + settings_.frameTime;
  if (GoneLocked()) return arrival;
  inFreeAt_ = arrival;
  ++counters_.framesToHost;
  Frame carried = frame;
  if (Carry(carried, inRng_)) {
    if (toHost_.size() >= kHostBufferFrames) {
      ++counters_.framesLost;
    } else {
      toHost_.push_back(Timed{carried, arrival});
      hostWake_.notify_all();
    }
  }
  return arrival;
}

Delivery EmuBus::DeviceReceive(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  deviceWake_.wait_until(lock, deadline, [&] { return GoneLocked() || !toDevice_.empty(); });
  Delivery delivery;
  if (GoneLocked()) {
    delivery.kind = Delivery::Kind::kGone;
  } else if (!toDevice_.empty()) {
    delivery.kind = Delivery::Kind::kFrame;
    delivery.frame = toDevice_.front().frame;
    delivery.at = toDevice_.front().at;
    toDevice_.pop_front();
  }
  return delivery;
}

void EmuBus::Unplug() {
  std::lock_guard lock(mutex_);
  unplugged_ = true;
  toHost_.clear();
  hostWake_.notify_all();
  deviceWake_.notify_all();
}

void EmuBus::Close() {
  std::unique_lock lock(mutex_);
  closed_ = true;
  hostWake_.notify_all();
  deviceWake_.notify_all();
  hostWake_.wait(lock, [&] { return hostCallsInside_ == 0; });
}

}  // namespace hidemu
