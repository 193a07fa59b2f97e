// The host's link and download against the emulated device, in one process:
// HidLink over the emulator's HIDAPI functions, DownloadThread on top, as
// tabrelium-cli and the window run them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <utility>

#include "device/hid_link.h"
#include "tests/scripted_device.h"
#include "tools/hidemu/hidemu_control.h"

namespace tabrelium {
namespace {

using testing::PackageOf;
using testing::RecordingOwner;

constexpr const char* kKnobs[] = {
    "TABRELIUM_EMU_PRESENT", "TABRELIUM_EMU_CAPACITY", "TABRELIUM_EMU_LOSS",
    "TABRELIUM_EMU_CORRUPT", "TABRELIUM_EMU_SEED", "TABRELIUM_EMU_FRAME_US",
    "TABRELIUM_EMU_OUT", "TABRELIUM_EMU_UNPLUG_AT_BLOCK", "TABRELIUM_EMU_STALL_MS"};

class EmulatedDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* knob : kKnobs) unsetenv(knob);
    setenv("TABRELIUM_EMU_FRAME_US", "20", 1);  // a fast bus keeps the tests short
    hidemu_reset();
  }

  void Knobs(std::initializer_list<std::pair<const char*, const char*>> knobs) {
    for (auto [name, value] : knobs) setenv(name, value, 1);
  }

  DownloadResult Run(DownloadOwner& owner, const DownloadPackage& package) {
    HidLink link;
    const auto start = std::chrono::steady_clock::now();
    DownloadResult result = DownloadThread(owner, link, package);
    elapsed = std::chrono::steady_clock::now() - start;
    return result;
  }

  std::vector<uint8_t> Received() {
    std::vector<uint8_t> data(hidemu_received_data(nullptr, 0));
    hidemu_received_data(data.data(), data.size());
    return data;
  }

  std::chrono::steady_clock::duration elapsed{};
};

std::vector<uint8_t> DataOf(const DownloadPackage& package) {
  return {package.Data().begin(), package.Data().end()};
}

TEST_F(EmulatedDownload, LossyCableStillDeliversEveryByte) {
  Knobs({{"TABRELIUM_EMU_LOSS", "0.05"}, {"TABRELIUM_EMU_CORRUPT", "0.01"},
         {"TABRELIUM_EMU_SEED", "11"}});
  const DownloadPackage package = PackageOf(25 * BLOCK_SIZE + 300);
  RecordingOwner owner;
  const DownloadResult result = Run(owner, package);
  EXPECT_EQ(result.outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(Received(), DataOf(package));
  ASSERT_FALSE(owner.progress.empty());
  EXPECT_EQ(owner.progress.front(), " 0%");
  EXPECT_EQ(owner.progress.back(), "100%");
  hidemu_stats stats{};
  hidemu_get_stats(&stats);
  EXPECT_GT(stats.frames_lost + stats.frames_corrupted, 0u);  // the cable really was bad
}

TEST_F(EmulatedDownload, TooSmallDeviceRefusesAndTheUserIsTold) {
  Knobs({{"TABRELIUM_EMU_CAPACITY", "1000"}});
  const DownloadPackage package = PackageOf(3000);
  RecordingOwner owner;
  EXPECT_EQ(Run(owner, package).outcome, DownloadOutcome::kCapacityRefused);
  EXPECT_NE(std::find(owner.events.begin(), owner.events.end(), "too small 1000 3000"),
            owner.events.end());
  EXPECT_TRUE(Received().empty());
  EXPECT_EQ(owner.events.back(), "leave");
}

TEST_F(EmulatedDownload, UnplugEndsTheDownloadWithoutHanging) {
  Knobs({{"TABRELIUM_EMU_UNPLUG_AT_BLOCK", "3"}});
  RecordingOwner owner;
  EXPECT_EQ(Run(owner, PackageOf(10 * BLOCK_SIZE)).outcome, DownloadOutcome::kDisconnected);
  EXPECT_NE(std::find(owner.events.begin(), owner.events.end(), "disconnected"),
            owner.events.end());
  EXPECT_EQ(owner.events.back(), "leave");
  EXPECT_LT(elapsed, std::chrono::seconds(3));
}

TEST_F(EmulatedDownload, NoDeviceIsAConnectionFailure) {
  Knobs({{"TABRELIUM_EMU_PRESENT", "0"}});
  RecordingOwner owner;
  EXPECT_EQ(Run(owner, PackageOf(100)).outcome, DownloadOutcome::kConnectionFailed);
  EXPECT_EQ(owner.failure, OpenFailure::kNoDevice);
  EXPECT_EQ(owner.events, std::vector<std::string>{"connection failed"});
}

TEST_F(EmulatedDownload, StallingWritesSlowTheDownloadButDoNotBreakIt) {
  Knobs({{"TABRELIUM_EMU_STALL_MS", "35"}});  // every write outlasts the 30 ms limit
  const DownloadPackage package = PackageOf(BLOCK_SIZE + 10);
  RecordingOwner owner;
  EXPECT_EQ(Run(owner, package).outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(Received(), DataOf(package));
}

// Stops, as the window's button would, once block 2 has been asked for.
class StoppingOwner final : public DownloadOwner {
 public:
  void ShowConnected() override {}
  void ShowProgress(uint32_t tenths) override { last = texts::ProgressText(tenths); }
  void ShowDeviceReport(DownloadOutcome reported) override {
    last = texts::DeviceReportText(reported);
  }
  void EnterDownloadMode() override {}
  void LeaveDownloadMode() override {}
  void ShowConnectionFailed(const OpenResult&) override {}
  void ShowDeviceDisconnected() override {}
  void ShowCapacityTooSmall(uint32_t, uint32_t) override {}
  void OnBlockRequested(uint32_t block, uint32_t) override {
    if (block == 2) m_hStopEvent.Set();
  }
  std::string last;
};

TEST_F(EmulatedDownload, StopMidTransferEndsAsStoppedNeverAsComplete) {
  StoppingOwner owner;
  EXPECT_EQ(Run(owner, PackageOf(20 * BLOCK_SIZE)).outcome, DownloadOutcome::kStopped);
  EXPECT_NE(owner.last, "100%");
  EXPECT_TRUE(Received().empty());
}

}  // namespace
}  // namespace tabrelium
