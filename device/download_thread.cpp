// The device asks and the host answers; docs/download-protocol.md gives the
// frames, the commands and the countdown.
#include "device/download_thread.h"

#include <algorithm>
#include <array>

#include "common/byte_order.h"

namespace tabrelium {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint16_t kCountdownIdle = 0xFFFF;
// Cycles the download lingers, still answering, after the device's last word
// and after a capacity refusal.
constexpr uint16_t kCountdownAfterEnd = 5;
constexpr uint16_t kCountdownAfterRefusal = 10;
constexpr int kDrainTries = 10;   // about 18 ms
constexpr int kCycleTries = 100;  // about 198 ms

// Byte positions in the device's requests.
constexpr size_t kCapacityAt = 3;
constexpr size_t kBlockIndexAt = 3;
constexpr size_t kEntryCountAt = 7;
constexpr size_t kEntriesAt = 8;
// The host's slice frame carries, from byte 3: block index (4), slice
// index, byte count, then the slice bytes.
constexpr size_t kSliceHeaderBytes = 6;

class DownloadRun {
 public:
  DownloadRun(DownloadOwner& owner, ReportLink& link, const DownloadPackage& package)
      : owner_(owner),
        link_(link),
        data_(package.Data().first(std::min<size_t>(package.DataLength(), package.Data().size()))),
        length_(static_cast<uint32_t>(data_.size())),
        crc_(package.Crc()) {}

  // Drains stale frames, then runs cycles until the stop event is found set
  // at the end of one.
  void Serve() {
    DeviceFrame frame;
    while (Receive(frame, kDrainTries)) {
    }
    if (owner_.m_hStopEvent.IsSet()) return;
    lastHeard_ = Clock::now();
    do {
      StepCountdown();
      if (Receive(frame, kCycleTries)) {
        Heard();
        Act(frame);
      } else {
        CheckSilence();
      }
    } while (!owner_.m_hStopEvent.IsSet());
  }

  DownloadResult Result() const {
    const bool everyBlock = blockCount_ > 0 && lastBlock_ + 1 >= blockCount_;
    return {Outcome(), capacity_, everyBlock};
  }

 private:
  // True with a valid frame; an invalid one is dropped as if none had come.
  bool Receive(DeviceFrame& frame, int tries) {
    std::array<uint8_t, kReportBytes> report;
    if (!link_.WaitReport(report, tries)) {
      NoticeDisconnection();
      return false;
    }
    std::copy_n(report.begin(), kFrameBytes, frame.begin());
    return IsValidFrame(frame);
  }

  void Heard() {
    lastHeard_ = Clock::now();
    if (!toldSilent_) return;
    toldSilent_ = false;
    owner_.ShowDeviceSilent(false);
  }

  // A device that has gone quiet (hung, or its last words all lost) would
  // otherwise keep the download waiting for ever. Once the download is
  // ending (the device's last word, a refusal) silence is expected.
  void CheckSilence() {
    if (countdown_ != kCountdownIdle || lastWord_ != 0 || refused_) return;
    const auto silence = Clock::now() - lastHeard_;
    if (owner_.m_silenceNotice.count() > 0 && !toldSilent_ && silence >= owner_.m_silenceNotice) {
      toldSilent_ = true;
      owner_.ShowDeviceSilent(true);
    }
    if (owner_.m_silenceLimit.count() > 0 && silence >= owner_.m_silenceLimit) {
      silent_ = true;
      owner_.m_hStopEvent.Set();
    }
  }

  // A vanished device will ask for nothing more: end as a stop would. After
  // the device's last word, vanishing is its own business (it may restart).
  void NoticeDisconnection() {
    if (disconnected_ || !link_.IsDisconnected()) return;
    disconnected_ = true;
    if (lastWord_ == 0) owner_.ShowDeviceDisconnected();
    owner_.m_hStopEvent.Set();
  }

  // The cycle in which the countdown is found at 0 signals the stop; it
  // still receives and answers, and is the last.
  void StepCountdown() {
    if (countdown_ == kCountdownIdle) return;
    if (countdown_ == 0) owner_.m_hStopEvent.Set();
    --countdown_;  // 0 wraps to idle
  }

  // A running countdown is never restarted.
  void StartCountdown(uint16_t cycles) {
    if (countdown_ == kCountdownIdle) countdown_ = cycles;
  }

  void Act(const DeviceFrame& frame) {
    switch (frame[1]) {
      case CMD_HEADER:
        AnswerHeader(frame);
        break;
      case CMD_BLOCK:
        AnswerBlock(frame);
        break;
      case CMD_FAILED:
        StartCountdown(kCountdownAfterEnd);
        lastWord_ = CMD_FAILED;
        owner_.ShowDeviceReport(DownloadOutcome::kFailed);
        break;
      case CMD_COMPLETE:
        StartCountdown(kCountdownAfterEnd);
        lastWord_ = CMD_COMPLETE;
        owner_.ShowDeviceReport(DownloadOutcome::kCompleted);
        break;
      case CMD_END:
        StartCountdown(kCountdownAfterEnd);
        lastWord_ = CMD_END;
        break;
      default:  // the device's CMD_OUT_OF_SEQUENCE and unknown commands
        break;
    }
  }

  void AnswerHeader(const DeviceFrame& request) {
    capacity_ = GetLe32(&request[kCapacityAt]);
    const bool tooSmall = capacity_ < length_;
    if (tooSmall) StartCountdown(kCountdownAfterRefusal);
    std::array<uint8_t, 8> payload;
    PutLe32(&payload[0], length_);
    PutLe32(&payload[4], crc_);
    link_.SendReport(MakeFrame(CMD_HEADER, payload));
    lastBlock_ = 0;
    blockCount_ = BlockCount(length_);
    if (tooSmall && !refused_) {
      refused_ = true;
      owner_.ShowCapacityTooSmall(capacity_, length_);
    }
  }

  void AnswerBlock(const DeviceFrame& request) {
    const uint32_t block = GetLe32(&request[kBlockIndexAt]);
    // The same block again (lost slices) or the next one; nothing else.
    if (block != lastBlock_ && block != lastBlock_ + 1) {
      link_.SendReport(MakeFrame(CMD_OUT_OF_SEQUENCE, {}));
      return;
    }
    lastBlock_ = block;
    const uint64_t offset = uint64_t{block} * BLOCK_SIZE;
    if (offset >= length_) return;
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(BLOCK_SIZE, length_ - offset));
    std::copy_n(data_.begin() + static_cast<ptrdiff_t>(offset), n, block_.begin());
    const uint16_t crc = Crc16Xmodem(std::span<const uint8_t>(block_).first(n));
    block_[n] = static_cast<uint8_t>(crc);  // low byte first
    block_[n + 1] = static_cast<uint8_t>(crc >> 8);
    // Entries beyond the frame's end cannot be read, so they ask for nothing.
    const size_t entryCount = std::min<size_t>(request[kEntryCountAt], kMaxSliceEntries);
    SendSlices(block, std::span<const uint8_t>(block_).first(n + 2),
               std::span<const uint8_t>(request).subspan(kEntriesAt, entryCount));
    ShowBlockProgress(block);
    owner_.OnBlockRequested(block, BlockCount(length_));
  }

  // Entry i asks for slice i when it holds i. A slice past the block's end
  // is still sent, empty.
  void SendSlices(uint32_t block, std::span<const uint8_t> blockWithCrc,
                  std::span<const uint8_t> entries) {
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i] != i) continue;
      const size_t start = i * SLICE_SIZE;
      const size_t count = start >= blockWithCrc.size()
                               ? 0
                               : std::min<size_t>(SLICE_SIZE, blockWithCrc.size() - start);
      std::array<uint8_t, kSliceHeaderBytes + SLICE_SIZE> payload;
      PutLe32(&payload[0], block);
      payload[4] = static_cast<uint8_t>(i);
      payload[5] = static_cast<uint8_t>(count);
      std::copy_n(blockWithCrc.begin() + static_cast<ptrdiff_t>(start), count, &payload[6]);
      link_.SendReport(MakeFrame(CMD_BLOCK, std::span(payload).first(kSliceHeaderBytes + count)));
    }
  }

  // Tenths of a percent of the blocks, shown only when they change; before
  // any header exchange there is no total, and nothing is shown.
  void ShowBlockProgress(uint32_t block) {
    if (blockCount_ == 0) return;
    const auto tenths = static_cast<uint32_t>(uint64_t{block} * 1000 / blockCount_);
    if (tenths == shownTenths_) return;
    shownTenths_ = tenths;
    owner_.ShowProgress(tenths);
  }

  DownloadOutcome Outcome() const {
    if (lastWord_ == CMD_COMPLETE) return DownloadOutcome::kCompleted;
    if (refused_) return DownloadOutcome::kCapacityRefused;
    if (lastWord_ == CMD_FAILED) return DownloadOutcome::kFailed;
    if (lastWord_ == CMD_END) return DownloadOutcome::kEnded;
    if (disconnected_) return DownloadOutcome::kDisconnected;
    if (silent_) return DownloadOutcome::kDeviceSilent;
    return DownloadOutcome::kStopped;
  }

  DownloadOwner& owner_;
  ReportLink& link_;
  const std::span<const uint8_t> data_;
  const uint32_t length_;  // N
  const uint32_t crc_;
  uint32_t lastBlock_ = 0;  // d: 0 at the start and after each header exchange
  uint16_t countdown_ = kCountdownIdle;
  uint32_t shownTenths_ = 0;  // p: never reset during a run
  uint32_t blockCount_ = 0;   // T: set by each header exchange
  uint8_t lastWord_ = 0;      // the device's last terminal command, 0 before one
  bool refused_ = false;
  bool disconnected_ = false;
  Clock::time_point lastHeard_;  // the last valid frame
  bool toldSilent_ = false;
  bool silent_ = false;  // the silence limit ended the download
  uint32_t capacity_ = 0;
  std::array<uint8_t, kMaxBlockWithCrc> block_{};
};

}  // namespace

DownloadResult DownloadThread(DownloadOwner& owner, ReportLink& link,
                              const DownloadPackage& package) {
  const OpenResult opened = link.Open();
  if (!opened.ok()) {
    owner.ShowConnectionFailed(opened);
    return {DownloadOutcome::kConnectionFailed, 0};
  }
  owner.ShowConnected();
  owner.m_hStopEvent.Reset();  // a fresh event for this download
  owner.EnterDownloadMode();
  DownloadRun run(owner, link, package);
  run.Serve();
  link.Stop();
  owner.LeaveDownloadMode();
  return run.Result();
}

}  // namespace tabrelium
