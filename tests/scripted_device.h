// An in-process stand-in for the download device: it plays a script of
// device frames, silences, unplugging and test actions, one step for each
// time the download waits for a report, and records every frame the host
// writes. A recording owner logs what the window would have shown.
//
// Thread-safety: the device is used by the download's thread only; the test
// reads its records after the download has returned.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_order.h"
#include "common/user_texts.h"
#include "device/device_frame.h"
#include "device/download_package.h"
#include "device/download_thread.h"
#include "device/report_link.h"

namespace tabrelium::testing {

// A device frame as a device builds it.
inline DeviceFrame DeviceSays(uint8_t command, std::span<const uint8_t> payload = {}) {
  return MakeFrame(command, payload);
}

inline DeviceFrame HeaderRequest(uint32_t capacity) {
  uint8_t payload[4];
  PutLe32(payload, capacity);
  return DeviceSays(CMD_HEADER, payload);
}

// A block request whose entry count byte is `entries.size()` unless
// `count` is given (to claim more entries than the frame holds).
inline DeviceFrame BlockRequest(uint32_t block, const std::vector<uint8_t>& entries,
                                int count = -1) {
  std::vector<uint8_t> payload(5);
  PutLe32(payload.data(), block);
  payload[4] = static_cast<uint8_t>(count < 0 ? entries.size() : static_cast<size_t>(count));
  payload.insert(payload.end(), entries.begin(), entries.end());
  return DeviceSays(CMD_BLOCK, payload);
}

// Asks for slices 0 .. count-1 of `block`.
inline DeviceFrame AskSlices(uint32_t block, size_t count = kSlicesPerBlock) {
  std::vector<uint8_t> entries(count);
  for (size_t i = 0; i < count; ++i) entries[i] = static_cast<uint8_t>(i);
  return BlockRequest(block, entries);
}

// A host frame read back.
struct HostFrame {
  explicit HostFrame(const DeviceFrame& bytes) : raw(bytes) {}
  uint8_t command() const { return raw[1]; }
  uint32_t Le32(size_t at) const { return GetLe32(&raw[at]); }
  // Slice frames: block index, slice index, byte count, bytes.
  uint32_t block() const { return Le32(3); }
  uint8_t slice() const { return raw[7]; }
  uint8_t count() const { return raw[8]; }
  std::vector<uint8_t> bytes() const {
    return {raw.begin() + 9, raw.begin() + 9 + std::min<size_t>(count(), 55)};
  }
  DeviceFrame raw;
};

class ScriptedDevice final : public ReportLink {
 public:
  struct Wait {
    int tries;
    int delivered;         // the index of the scripted frame handed over, or -1
    size_t writtenBefore;  // host frames written before this wait
  };

  // `ownerStop` is set when the script runs out (if stopWhenDone) and, as a
  // safety net, when the download keeps waiting long after it should have ended.
  explicit ScriptedDevice(ManualResetEvent& ownerStop) : ownerStop_(ownerStop) {}

  // The steps, one per WaitReport; actions run without using one up.
  ScriptedDevice& Send(const DeviceFrame& frame) {
    steps_.push_back({Kind::kFrame, frame, {}, frameCount_++});
    return *this;
  }
  ScriptedDevice& Silence(int waits = 1) {
    for (int i = 0; i < waits; ++i) steps_.push_back({Kind::kSilence, {}, {}, -1});
    return *this;
  }
  ScriptedDevice& Then(std::function<void()> action) {
    steps_.push_back({Kind::kAction, {}, std::move(action), -1});
    return *this;
  }
  ScriptedDevice& Unplug() {
    steps_.push_back({Kind::kUnplug, {}, {}, -1});
    return *this;
  }

  // After the script: stop as the user would (true), or keep silent.
  bool stopWhenDone = true;
  // Silent waits take their real time, (tries - 1) × 2 ms.
  bool realTime = false;
  OpenResult openResult;
  // Called with every host frame (a reacting device may script more).
  std::function<void(const DeviceFrame&)> onHostFrame;

  OpenResult Open() override {
    ++opens;
    return openResult;
  }

  int SendReport(std::span<const uint8_t, kFrameBytes> frame) override {
    if (stops > 0) wroteAfterStop = true;
    DeviceFrame copy;
    std::copy(frame.begin(), frame.end(), copy.begin());
    written.push_back(copy);
    if (onHostFrame) onHostFrame(copy);
    return static_cast<int>(kReportBytes);
  }

  bool WaitReport(std::span<uint8_t, kReportBytes> report, int tries) override {
    waits.push_back({tries, -1, written.size()});
    while (next_ < steps_.size() && steps_[next_].kind == Kind::kAction) {
      const auto action = steps_[next_++].action;  // it may add steps
      action();
    }
    if (unplugged_ || next_ == steps_.size()) {
      if (++idleWaits_ > kRunawayWaits) {
        runaway = true;  // the download should have ended long ago
        ownerStop_.Set();
      } else if (stopWhenDone && !unplugged_) {
        ownerStop_.Set();
      }
      return Nothing(tries);
    }
    const Step& step = steps_[next_++];
    switch (step.kind) {
      case Kind::kFrame:
        std::copy(step.frame.begin(), step.frame.end(), report.begin());
        report[kFrameBytes] = 0xEE;  // the report's last byte has no meaning
        waits.back().delivered = step.frameIndex;
        return true;
      case Kind::kUnplug:
        unplugged_ = true;
        return Nothing(tries);
      default:
        return Nothing(tries);
    }
  }

  void Stop() override { ++stops; }
  bool IsDisconnected() const override { return unplugged_; }

  // Waits made after the one that handed over scripted frame `frameIndex`.
  int WaitsAfterFrame(int frameIndex) const {
    const auto at = std::find_if(waits.begin(), waits.end(),
                                 [&](const Wait& w) { return w.delivered == frameIndex; });
    return at == waits.end() ? -1 : static_cast<int>(waits.end() - at - 1);
  }
  // Host frames written in answer to scripted frame `frameIndex`.
  std::vector<HostFrame> AnswersTo(int frameIndex) const {
    std::vector<HostFrame> answers;
    for (size_t i = 0; i < waits.size(); ++i) {
      if (waits[i].delivered != frameIndex) continue;
      const size_t end = i + 1 < waits.size() ? waits[i + 1].writtenBefore : written.size();
      for (size_t j = waits[i].writtenBefore; j < end; ++j) answers.emplace_back(written[j]);
    }
    return answers;
  }

  std::vector<DeviceFrame> written;
  std::vector<Wait> waits;
  int opens = 0;
  int stops = 0;
  bool wroteAfterStop = false;
  bool runaway = false;

 private:
  enum class Kind { kFrame, kSilence, kAction, kUnplug };
  struct Step {
    Kind kind;
    DeviceFrame frame;
    std::function<void()> action;
    int frameIndex;
  };
  static constexpr int kRunawayWaits = 10000;

  bool Nothing(int tries) const {
    if (realTime && tries > 1)
      std::this_thread::sleep_for(std::chrono::milliseconds(2 * (tries - 1)));
    return false;
  }

  ManualResetEvent& ownerStop_;
  std::vector<Step> steps_;
  size_t next_ = 0;
  int frameCount_ = 0;
  int idleWaits_ = 0;
  bool unplugged_ = false;
};

// The window's side, recorded: the progress as the label would read it.
class RecordingOwner final : public DownloadOwner {
 public:
  void ShowConnected() override { Label(std::string(texts::kProgressAtStart)); }
  void ShowProgress(uint32_t tenths) override { Label(texts::ProgressText(tenths)); }
  void ShowDeviceReport(DownloadOutcome reported) override {
    Label(std::string(texts::DeviceReportText(reported)));
  }
  void EnterDownloadMode() override { events.push_back("enter"); }
  void LeaveDownloadMode() override { events.push_back("leave"); }
  void ShowConnectionFailed(const OpenResult& why) override {
    failure = why.failure;
    events.push_back("connection failed");
  }
  void ShowDeviceDisconnected() override { events.push_back("disconnected"); }
  void ShowCapacityTooSmall(uint32_t capacity, uint32_t needed) override {
    events.push_back("too small " + std::to_string(capacity) + " " + std::to_string(needed));
  }
  void OnBlockRequested(uint32_t block, uint32_t blockCount) override {
    blocks.push_back({block, blockCount});
  }

  std::vector<std::string> progress;
  std::vector<std::string> events;
  std::vector<std::pair<uint32_t, uint32_t>> blocks;
  OpenFailure failure = OpenFailure::kNone;

 private:
  void Label(const std::string& text) {
    progress.push_back(text);
    events.push_back("progress " + text);
  }
};

// A package of `length` bytes of a pattern that differs from block to block.
inline DownloadPackage PackageOf(size_t length) {
  std::vector<uint8_t> image(length);
  for (size_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 251);
  DownloadPackage package;
  BuildDownloadPackage(image, package);
  return package;
}

}  // namespace tabrelium::testing
