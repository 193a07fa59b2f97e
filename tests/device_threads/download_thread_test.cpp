// The download serving a scripted device: the header answer, the blocks and
// their slices, the block sequence, progress texts, and the frames it drops.
// How a download ends is in download_thread_end_test.cpp.
#include <gtest/gtest.h>

#include "device/download_thread.h"
#include "tests/scripted_device.h"

namespace tabrelium {
namespace {

using testing::AskSlices;
using testing::BlockRequest;
using testing::DeviceSays;
using testing::HeaderRequest;
using testing::HostFrame;
using testing::PackageOf;
using testing::RecordingOwner;
using testing::ScriptedDevice;

constexpr uint32_t kRoomy = 16u << 20;  // a capacity that holds any table

class Serving : public ::testing::Test {
 protected:
  Serving() { device.Silence(); }  // nothing stale: the drain ends at once
  void TearDown() override { EXPECT_FALSE(device.runaway); }

  DownloadResult Run(const DownloadPackage& package) {
    return DownloadThread(owner, device, package);
  }
  // Block `block` of the package with its CRC-16, low byte first.
  static std::vector<uint8_t> BlockWithCrc(const DownloadPackage& package, uint32_t block) {
    const auto data = package.Data();
    const size_t start = size_t{block} * BLOCK_SIZE;
    const size_t n = std::min<size_t>(BLOCK_SIZE, data.size() - start);
    std::vector<uint8_t> bytes(data.begin() + start, data.begin() + start + n);
    const uint16_t crc = Crc16Xmodem(bytes);
    bytes.push_back(static_cast<uint8_t>(crc));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    return bytes;
  }
  static std::vector<int> SliceIndexes(const std::vector<HostFrame>& frames) {
    std::vector<int> slices;
    for (const HostFrame& f : frames) slices.push_back(f.command() == CMD_BLOCK ? f.slice() : -1);
    return slices;
  }

  RecordingOwner owner;
  ScriptedDevice device{owner.m_hStopEvent};
};

// Every host frame is valid, and the bytes no field uses are zero.
void ExpectWellFormed(const std::vector<DeviceFrame>& frames) {
  for (const DeviceFrame& raw : frames) {
    ASSERT_TRUE(IsValidFrame(raw));
    HostFrame f(raw);
    size_t used = 3;
    if (f.command() == CMD_HEADER) used = 11;
    if (f.command() == CMD_BLOCK) used = 9 + f.count();
    for (size_t i = used; i < kFrameBytes; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
  }
}

TEST_F(Serving, HeaderAnswerCarriesLengthAndPackageCrc) {
  const DownloadPackage package = PackageOf(5000);
  device.Send(HeaderRequest(kRoomy));
  Run(package);
  const auto answers = device.AnswersTo(0);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].command(), CMD_HEADER);
  EXPECT_EQ(answers[0].Le32(3), 5000u);
  EXPECT_EQ(answers[0].Le32(7), package.Crc());
  ExpectWellFormed(device.written);
}

TEST_F(Serving, FullBlockIs32SlicesOf55Bytes) {
  const DownloadPackage package = PackageOf(1758);
  device.Send(HeaderRequest(kRoomy)).Send(AskSlices(0));
  Run(package);
  const auto slices = device.AnswersTo(1);
  ASSERT_EQ(slices.size(), 32u);
  std::vector<uint8_t> joined;
  for (size_t s = 0; s < slices.size(); ++s) {
    EXPECT_EQ(slices[s].block(), 0u);
    EXPECT_EQ(slices[s].slice(), s);
    EXPECT_EQ(slices[s].count(), 55);
    const auto bytes = slices[s].bytes();
    joined.insert(joined.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(joined, BlockWithCrc(package, 0));
  ExpectWellFormed(device.written);
}

TEST_F(Serving, OneByteLastBlockIsThreeBytesThenEmptySlices) {
  const DownloadPackage package = PackageOf(1759);  // T = 2
  device.Send(HeaderRequest(kRoomy)).Send(AskSlices(0)).Send(AskSlices(1, 3));
  Run(package);
  EXPECT_EQ(device.AnswersTo(1).size(), 32u);
  const auto last = device.AnswersTo(2);
  ASSERT_EQ(last.size(), 3u);
  EXPECT_EQ(last[0].block(), 1u);
  EXPECT_EQ(last[0].count(), 3);
  EXPECT_EQ(last[0].bytes(), BlockWithCrc(package, 1));
  EXPECT_EQ(last[1].count(), 0);
  EXPECT_EQ(last[2].count(), 0);
  EXPECT_EQ(last[2].slice(), 2);
  ExpectWellFormed(device.written);
}

TEST_F(Serving, PartialSliceAtTheEndOfAShortBlock) {
  const DownloadPackage package = PackageOf(100);  // L = 102: 55 + 47
  device.Send(HeaderRequest(kRoomy)).Send(AskSlices(0, 2));
  Run(package);
  const auto slices = device.AnswersTo(1);
  ASSERT_EQ(slices.size(), 2u);
  EXPECT_EQ(slices[0].count(), 55);
  EXPECT_EQ(slices[1].count(), 47);
  auto joined = slices[0].bytes();
  const auto tail = slices[1].bytes();
  joined.insert(joined.end(), tail.begin(), tail.end());
  EXPECT_EQ(joined, BlockWithCrc(package, 0));
  ExpectWellFormed(device.written);
}

TEST_F(Serving, AcceptsTheCurrentAndTheNextBlockOnly) {
  const DownloadPackage package = PackageOf(3 * 1758);
  device.Send(HeaderRequest(kRoomy))
      .Send(BlockRequest(2, {0}))   // 1: d + 2 right after the header
      .Send(BlockRequest(0, {0}))   // 2: d
      .Send(BlockRequest(1, {0}))   // 3: d + 1
      .Send(BlockRequest(1, {0}))   // 4: d again
      .Send(BlockRequest(3, {0}))   // 5: d + 2
      .Send(BlockRequest(0, {0}))   // 6: d - 1
      .Send(BlockRequest(2, {0}));  // 7: d + 1, d was left at 1
  Run(package);
  for (int refused : {1, 5, 6}) {
    const auto answer = device.AnswersTo(refused);
    ASSERT_EQ(answer.size(), 1u) << refused;
    EXPECT_EQ(answer[0].command(), CMD_OUT_OF_SEQUENCE);
    EXPECT_EQ(answer[0].raw[2], CMD_OUT_OF_SEQUENCE);  // an all-zero payload
  }
  for (int accepted : {2, 3, 4, 7}) {
    const auto answer = device.AnswersTo(accepted);
    ASSERT_EQ(answer.size(), 1u) << accepted;
    EXPECT_EQ(answer[0].command(), CMD_BLOCK);
  }
  EXPECT_EQ(device.AnswersTo(7)[0].block(), 2u);
  ExpectWellFormed(device.written);
}

TEST_F(Serving, RepeatedRequestResendsSlicesWithoutRewritingTheLabel) {
  const DownloadPackage package = PackageOf(3 * 1758);
  device.Send(HeaderRequest(kRoomy))
      .Send(AskSlices(0))
      .Send(AskSlices(1))
      .Send(BlockRequest(1, {0xFF, 1, 0xFF, 3}));
  Run(package);
  EXPECT_EQ(SliceIndexes(device.AnswersTo(3)), (std::vector<int>{1, 3}));
  EXPECT_EQ(device.AnswersTo(3)[0].raw, device.AnswersTo(2)[1].raw);
  EXPECT_EQ(owner.progress, (std::vector<std::string>{" 0%", "33.3%"}));
}

TEST_F(Serving, EntriesNameTheSlicesToSendInOrder) {
  const DownloadPackage package = PackageOf(1758);
  device.Send(HeaderRequest(kRoomy))
      .Send(BlockRequest(0, {0, 1, 0xFF, 3}))
      .Send(BlockRequest(0, {3, 1, 7, 3}));  // an entry naming another slice skips its own
  Run(package);
  EXPECT_EQ(SliceIndexes(device.AnswersTo(1)), (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(SliceIndexes(device.AnswersTo(2)), (std::vector<int>{1, 3}));
}

TEST_F(Serving, NoEntriesSendsNothingButProgressIsShown) {
  const DownloadPackage package = PackageOf(3 * 1758);
  device.Send(HeaderRequest(kRoomy)).Send(BlockRequest(0, {})).Send(BlockRequest(1, {}));
  Run(package);
  EXPECT_TRUE(device.AnswersTo(1).empty());
  EXPECT_TRUE(device.AnswersTo(2).empty());
  EXPECT_EQ(owner.progress, (std::vector<std::string>{" 0%", "33.3%"}));
}

TEST_F(Serving, EntryCountBeyondTheFrameHonoursOnlyTheEntriesInIt) {
  const DownloadPackage package = PackageOf(1758);
  std::vector<uint8_t> entries(56);
  for (size_t i = 0; i < entries.size(); ++i) entries[i] = static_cast<uint8_t>(i);
  device.Send(HeaderRequest(kRoomy)).Send(BlockRequest(0, entries, 200));
  Run(package);
  const auto slices = device.AnswersTo(1);
  ASSERT_EQ(slices.size(), 56u);
  for (size_t s = 32; s < slices.size(); ++s) EXPECT_EQ(slices[s].count(), 0) << s;
  ExpectWellFormed(device.written);
}

TEST_F(Serving, RequestPastTheEndSendsNothingButMovesTheBlock) {
  const DownloadPackage package = PackageOf(1758);  // T = 1
  device.Send(HeaderRequest(kRoomy))
      .Send(AskSlices(0))
      .Send(AskSlices(1))   // 2: past the end, d = 1
      .Send(AskSlices(2))   // 3: d + 1, past the end too
      .Send(AskSlices(0));  // 4: no longer d or d + 1
  Run(package);
  EXPECT_TRUE(device.AnswersTo(2).empty());
  EXPECT_TRUE(device.AnswersTo(3).empty());
  const auto refused = device.AnswersTo(4);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].command(), CMD_OUT_OF_SEQUENCE);
  EXPECT_EQ(owner.progress, (std::vector<std::string>{" 0%"}));  // never 100% from blocks
}

TEST_F(Serving, BlockRequestBeforeAnyHeaderIsServedWithoutProgress) {
  const DownloadPackage package = PackageOf(3 * 1758);
  device.Send(AskSlices(0)).Send(AskSlices(1));
  Run(package);
  EXPECT_EQ(device.AnswersTo(0).size(), 32u);
  EXPECT_EQ(device.AnswersTo(1).size(), 32u);
  EXPECT_EQ(owner.progress, (std::vector<std::string>{" 0%"}));
}

TEST_F(Serving, ProgressForThreeBlocks) {
  const DownloadPackage package = PackageOf(3 * 1758);
  device.Send(HeaderRequest(kRoomy))
      .Send(AskSlices(0))
      .Send(AskSlices(1))
      .Send(AskSlices(2))
      .Send(DeviceSays(CMD_COMPLETE));
  Run(package);
  EXPECT_EQ(owner.progress, (std::vector<std::string>{" 0%", "33.3%", "66.6%", "100%"}));
  EXPECT_EQ(owner.blocks, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 3}, {1, 3}, {2, 3}}));
}

TEST_F(Serving, SecondHeaderRestartsTheSequenceAndKeepsTheLabelValue) {
  const DownloadPackage package = PackageOf(3 * 1758);
  device.Send(HeaderRequest(kRoomy))
      .Send(AskSlices(0))
      .Send(AskSlices(1))
      .Send(HeaderRequest(kRoomy))  // 3
      .Send(AskSlices(2))           // 4: d is 0 again
      .Send(AskSlices(0));          // 5
  Run(package);
  ASSERT_EQ(device.AnswersTo(3).size(), 1u);
  EXPECT_EQ(device.AnswersTo(3)[0].command(), CMD_HEADER);
  EXPECT_EQ(device.AnswersTo(4)[0].command(), CMD_OUT_OF_SEQUENCE);
  EXPECT_EQ(device.AnswersTo(5).size(), 32u);
  // The last shown value (33.3) was kept, so block 0 changes the label.
  EXPECT_EQ(owner.progress, (std::vector<std::string>{" 0%", "33.3%", "0.0%"}));
}

TEST_F(Serving, InvalidFramesAndUnknownCommandsAreDropped) {
  const DownloadPackage package = PackageOf(1758);
  DeviceFrame badSync = HeaderRequest(kRoomy);
  badSync[0] = 0x55;
  DeviceFrame badSum = HeaderRequest(kRoomy);
  badSum[2] ^= 1;
  DeviceFrame changedPayload = AskSlices(0);
  changedPayload[63] ^= 0x10;
  device.Send(HeaderRequest(kRoomy))
      .Send(badSync)
      .Send(badSum)
      .Send(changedPayload)
      .Send(DeviceSays(0x42))
      .Send(DeviceSays(CMD_OUT_OF_SEQUENCE))
      .Send(AskSlices(0, 1));  // 6: still served
  Run(package);
  for (int dropped = 1; dropped <= 5; ++dropped) EXPECT_TRUE(device.AnswersTo(dropped).empty());
  EXPECT_EQ(device.AnswersTo(6).size(), 1u);
  EXPECT_EQ(device.written.size(), 2u);
}

// A device that asks for each block's slices, reassembles and checks them,
// checks the whole against the package CRC, and completes.
TEST_F(Serving, AWholeExchangeDeliversThePackageByteForByte) {
  const DownloadPackage package = PackageOf(7 * 1758 + 1000);
  uint32_t total = 0, announcedCrc = 0, block = 0;
  std::vector<uint8_t> received, current;
  const auto blockWithCrcLength = [&] {
    return std::min<size_t>(BLOCK_SIZE, total - received.size()) + 2;
  };
  const auto askNextBlock = [&] {
    device.Send(AskSlices(block, (blockWithCrcLength() + SLICE_SIZE - 1) / SLICE_SIZE));
  };
  device.stopWhenDone = false;
  device.onHostFrame = [&](const DeviceFrame& raw) {
    const HostFrame f(raw);
    if (f.command() == CMD_HEADER) {
      total = f.Le32(3);
      announcedCrc = f.Le32(7);
      askNextBlock();
      return;
    }
    ASSERT_EQ(f.command(), CMD_BLOCK);
    ASSERT_EQ(f.block(), block);
    const auto bytes = f.bytes();
    current.insert(current.end(), bytes.begin(), bytes.end());
    const size_t length = blockWithCrcLength();
    if (current.size() < length) return;
    ASSERT_EQ(current.size(), length);
    const uint16_t crc = Crc16Xmodem(std::span<const uint8_t>(current).first(length - 2));
    ASSERT_EQ(current[length - 2] | current[length - 1] << 8, crc);
    received.insert(received.end(), current.begin(), current.end() - 2);
    current.clear();
    ++block;
    if (received.size() < total)
      askNextBlock();
    else
      device.Send(DeviceSays(PackageCrc32(received) == announcedCrc ? CMD_COMPLETE : CMD_FAILED));
  };
  device.Send(HeaderRequest(kRoomy));
  const DownloadResult result = Run(package);
  EXPECT_EQ(result.outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(total, package.DataLength());
  EXPECT_TRUE(
      std::equal(received.begin(), received.end(), package.Data().begin(), package.Data().end()));
}

// The frames a device sent before this download are not acted on.
class Draining : public ::testing::Test {
 protected:
  DownloadResult Run(const DownloadPackage& package) {
    return DownloadThread(owner, device, package);
  }
  RecordingOwner owner;
  ScriptedDevice device{owner.m_hStopEvent};
};

TEST_F(Draining, StaleFramesAreDrainedBeforeServing) {
  const DownloadPackage package = PackageOf(1758);
  device
      .Send(HeaderRequest(kRoomy))   // stale
      .Send(AskSlices(0))            // stale
      .Silence()                     // ends the drain
      .Send(HeaderRequest(kRoomy));  // 2: served
  Run(package);
  EXPECT_TRUE(device.AnswersTo(0).empty());
  EXPECT_TRUE(device.AnswersTo(1).empty());
  ASSERT_EQ(device.AnswersTo(2).size(), 1u);
  ASSERT_GE(device.waits.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(device.waits[i].tries, 10) << i;
  EXPECT_EQ(device.waits[3].tries, 100);
}

TEST_F(Draining, AnInvalidFrameEndsTheDrain) {
  const DownloadPackage package = PackageOf(1758);
  DeviceFrame broken = HeaderRequest(kRoomy);
  broken[2] ^= 0xFF;
  device.Send(HeaderRequest(kRoomy)).Send(broken).Send(HeaderRequest(kRoomy));
  Run(package);
  EXPECT_TRUE(device.AnswersTo(0).empty());
  EXPECT_EQ(device.AnswersTo(2).size(), 1u);
}

}  // namespace
}  // namespace tabrelium
