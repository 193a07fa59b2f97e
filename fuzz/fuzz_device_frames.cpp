// Feeds arbitrary device frames to the download. The input is a package
// length (2 bytes), then steps of 65 bytes: a control byte and a 64-byte
// frame. Control bit 0 gives the frame a correct sync byte and checksum, so
// that most steps reach the command handling rather than the validity check;
// bit 1 makes the step a silent wait instead; bit 2 presses stop. No input
// may crash the download, and every frame it writes must be valid and agree
// with the package: headers carry N and the CRC, slices carry at most 55
// bytes that are the block's own, and every unused byte is zero.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "common/byte_order.h"
#include "device/download_thread.h"

namespace {

using namespace tabrelium;

void Require(bool condition) {
  if (!condition) std::abort();
}

// The block's data followed by its CRC-16, low byte first.
std::vector<uint8_t> BlockWithCrc(std::span<const uint8_t> data, uint32_t block) {
  const size_t start = size_t{block} * BLOCK_SIZE;
  const size_t n = std::min<size_t>(BLOCK_SIZE, data.size() - start);
  std::vector<uint8_t> bytes(data.begin() + start, data.begin() + start + n);
  const uint16_t crc = Crc16Xmodem(bytes);
  bytes.push_back(static_cast<uint8_t>(crc));
  bytes.push_back(static_cast<uint8_t>(crc >> 8));
  return bytes;
}

void CheckZeroFrom(const DeviceFrame& frame, size_t from) {
  for (size_t i = from; i < kFrameBytes; ++i) Require(frame[i] == 0);
}

class FuzzedDevice final : public ReportLink {
 public:
  FuzzedDevice(std::span<const uint8_t> steps, const DownloadPackage& package,
               ManualResetEvent& stop)
      : steps_(steps), package_(package), stop_(stop) {}

  OpenResult Open() override { return {}; }

  int SendReport(std::span<const uint8_t, kFrameBytes> bytes) override {
    Require(!stopped_);
    DeviceFrame frame;
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    Require(IsValidFrame(frame));
    switch (frame[1]) {
      case CMD_HEADER:
        Require(GetLe32(&frame[3]) == package_.DataLength());
        Require(GetLe32(&frame[7]) == package_.Crc());
        CheckZeroFrom(frame, 11);
        break;
      case CMD_BLOCK: {
        const uint32_t block = GetLe32(&frame[3]);
        const size_t slice = frame[7], count = frame[8];
        Require(block < BlockCount(package_.DataLength()));
        Require(slice < kMaxSliceEntries && count <= SLICE_SIZE);
        const auto whole = BlockWithCrc(package_.Data(), block);
        const size_t start = slice * SLICE_SIZE;
        Require(count == (start >= whole.size() ? 0 : std::min<size_t>(55, whole.size() - start)));
        Require(std::equal(&frame[9], &frame[9] + count,
                           whole.begin() + std::min(start, whole.size())));
        CheckZeroFrom(frame, 9 + count);
        break;
      }
      case CMD_OUT_OF_SEQUENCE:
        CheckZeroFrom(frame, 3);
        break;
      default:
        Require(false);  // the host sends nothing else
    }
    return static_cast<int>(kReportBytes);
  }

  bool WaitReport(std::span<uint8_t, kReportBytes> report, int) override {
    if (steps_.size() < 65) {
      stop_.Set();  // the input is used up: the user presses stop
      return false;
    }
    const uint8_t control = steps_[0];
    std::copy_n(steps_.begin() + 1, kFrameBytes, report.begin());
    steps_ = steps_.subspan(65);
    if (control & 4) stop_.Set();
    if (control & 2) return false;
    if (control & 1) {
      report[0] = FRAME_SYNC;
      report[2] = FrameChecksum(std::span<const uint8_t, kFrameBytes>(report.first<kFrameBytes>()));
    }
    return true;
  }

  void Stop() override { stopped_ = true; }
  bool IsDisconnected() const override { return false; }

 private:
  std::span<const uint8_t> steps_;
  const DownloadPackage& package_;
  ManualResetEvent& stop_;
  bool stopped_ = false;
};

class QuietOwner final : public DownloadOwner {
 public:
  void ShowConnected() override {}
  void ShowProgress(uint32_t tenths) override { Require(tenths < 1000); }
  void ShowDeviceReport(DownloadOutcome reported) override {
    Require(reported == DownloadOutcome::kCompleted || reported == DownloadOutcome::kFailed);
  }
  void EnterDownloadMode() override {}
  void LeaveDownloadMode() override {}
  void ShowConnectionFailed(const OpenResult&) override {}
  void ShowDeviceDisconnected() override {}
  void ShowCapacityTooSmall(uint32_t, uint32_t needed) override { Require(needed == length); }
  void OnBlockRequested(uint32_t block, uint32_t blockCount) override {
    Require(block < blockCount && blockCount == BlockCount(length));
  }
  uint32_t length = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // Up to four blocks, so that the block sequence can be walked to its end.
  const size_t length = 17 + (data[0] | data[1] << 8) % (4 * BLOCK_SIZE);
  std::vector<uint8_t> image(length);
  for (size_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
  DownloadPackage package;
  Require(BuildDownloadPackage(image, package));

  QuietOwner owner;
  owner.length = static_cast<uint32_t>(length);
  FuzzedDevice device(std::span<const uint8_t>(data + 2, size - 2), package, owner.m_hStopEvent);
  const DownloadResult result = DownloadThread(owner, device, package);
  Require(result.outcome != DownloadOutcome::kConnectionFailed &&
          result.outcome != DownloadOutcome::kDisconnected);
  return 0;
}
