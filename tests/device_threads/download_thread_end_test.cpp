// How a download ends: the countdown after the device's last word or a
// capacity refusal, the owner's stop, a vanished device, no device at all;
// and the order of the owner's calls around it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/download_thread.h"
#include "tests/scripted_device.h"

namespace tabrelium {
namespace {

using testing::AskSlices;
using testing::DeviceSays;
using testing::HeaderRequest;
using testing::PackageOf;
using testing::RecordingOwner;
using testing::ScriptedDevice;

constexpr uint32_t kRoomy = 16u << 20;

class Ending : public ::testing::Test {
 protected:
  Ending() {
    device.stopWhenDone = false;  // only the countdown ends these
    device.Silence();             // nothing stale: the drain ends at once
  }
  void TearDown() override { EXPECT_FALSE(device.runaway); }

  DownloadResult Run() { return DownloadThread(owner, device, package); }
  // The cycles after the one that received scripted frame `frame`.
  int CyclesAfter(int frame) const { return device.WaitsAfterFrame(frame); }

  const DownloadPackage package = PackageOf(3 * 1758);
  RecordingOwner owner;
  ScriptedDevice device{owner.m_hStopEvent};
};

TEST_F(Ending, CompleteLingersFiveCyclesThenEndsInTheSixth) {
  device.Send(HeaderRequest(kRoomy)).Send(AskSlices(0)).Send(DeviceSays(CMD_COMPLETE));
  const DownloadResult result = Run();
  EXPECT_EQ(result.outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(CyclesAfter(2), 6);
  EXPECT_EQ(owner.progress.back(), "100%");
  EXPECT_EQ(device.stops, 1);
  EXPECT_FALSE(device.wroteAfterStop);
}

TEST_F(Ending, FailedShowsTheFailureAndLingersAsLong) {
  device.Send(HeaderRequest(kRoomy)).Send(DeviceSays(CMD_FAILED));
  EXPECT_EQ(Run().outcome, DownloadOutcome::kFailed);
  EXPECT_EQ(CyclesAfter(1), 6);
  EXPECT_EQ(owner.progress.back(), "Downdload failed(下载失败)");
}

TEST_F(Ending, EndShowsNothingAndLingersAsLong) {
  device.Send(HeaderRequest(kRoomy)).Send(DeviceSays(CMD_END));
  EXPECT_EQ(Run().outcome, DownloadOutcome::kEnded);
  EXPECT_EQ(CyclesAfter(1), 6);
  EXPECT_EQ(owner.progress, (std::vector<std::string>{" 0%"}));
}

TEST_F(Ending, RequestsDuringTheCountdownAreStillAnswered) {
  device.Send(HeaderRequest(kRoomy))
      .Send(DeviceSays(CMD_COMPLETE))
      .Silence(3)
      .Send(AskSlices(0))  // 2: in the countdown's fourth cycle
      .Silence()
      .Send(AskSlices(1));  // 3: in the last cycle
  EXPECT_EQ(Run().outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(device.AnswersTo(2).size(), 32u);
  EXPECT_EQ(device.AnswersTo(3).size(), 32u);
  EXPECT_EQ(CyclesAfter(3), 0);
}

TEST_F(Ending, CompleteThenFailedShowsFailedLastAndKeepsTheFirstCountdown) {
  device.Send(HeaderRequest(kRoomy))
      .Send(DeviceSays(CMD_COMPLETE))
      .Silence()
      .Send(DeviceSays(CMD_FAILED));
  EXPECT_EQ(Run().outcome, DownloadOutcome::kFailed);
  EXPECT_EQ(CyclesAfter(1), 6);
  EXPECT_EQ(owner.progress,
            (std::vector<std::string>{" 0%", "100%", "Downdload failed(下载失败)"}));
}

TEST_F(Ending, CapacityRefusalIsAnsweredToldOnceAndLingersTenCycles) {
  const uint32_t n = package.DataLength();
  device.Send(HeaderRequest(n - 1)).Silence(2).Send(HeaderRequest(n - 1));
  const DownloadResult result = Run();
  EXPECT_EQ(result.outcome, DownloadOutcome::kCapacityRefused);
  EXPECT_EQ(result.capacity, n - 1);
  EXPECT_EQ(CyclesAfter(0), 11);  // the second refusal did not restart it
  ASSERT_EQ(device.AnswersTo(0).size(), 1u);
  EXPECT_EQ(device.AnswersTo(0)[0].Le32(3), n);
  const auto told = std::count(owner.events.begin(), owner.events.end(),
                               "too small " + std::to_string(n - 1) + " " + std::to_string(n));
  EXPECT_EQ(told, 1);
}

TEST_F(Ending, ExactCapacityIsNoRefusal) {
  device.Send(HeaderRequest(package.DataLength())).Send(DeviceSays(CMD_COMPLETE));
  EXPECT_EQ(Run().outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(CyclesAfter(1), 6);
  for (const auto& event : owner.events) EXPECT_EQ(event.rfind("too small", 0), std::string::npos);
}

TEST_F(Ending, RefusalThenFailedEndsAsRefusedOnTheRefusalsCountdown) {
  device.Send(HeaderRequest(10)).Send(DeviceSays(CMD_FAILED));
  EXPECT_EQ(Run().outcome, DownloadOutcome::kCapacityRefused);
  EXPECT_EQ(CyclesAfter(0), 11);
}

TEST_F(Ending, StopDuringATransferEndsAsStoppedAfterTheCycle) {
  device.Send(HeaderRequest(kRoomy))
      .Send(AskSlices(0))
      .Then([this] { owner.m_hStopEvent.Set(); })
      .Send(AskSlices(1));  // 2: received in the same cycle, still answered
  const DownloadResult result = Run();
  EXPECT_EQ(result.outcome, DownloadOutcome::kStopped);
  EXPECT_EQ(device.AnswersTo(2).size(), 32u);
  EXPECT_EQ(CyclesAfter(2), 0);
  EXPECT_EQ(owner.events.back(), "leave");
  EXPECT_EQ(device.stops, 1);
}

TEST_F(Ending, StopDuringTheCountdownKeepsTheDevicesWord) {
  device.Send(HeaderRequest(kRoomy)).Send(DeviceSays(CMD_COMPLETE)).Then([this] {
    owner.m_hStopEvent.Set();
  });
  EXPECT_EQ(Run().outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(CyclesAfter(1), 1);
}

TEST_F(Ending, AStopLeftFromBeforeTheDownloadIsCleared) {
  owner.m_hStopEvent.Set();
  device.Send(HeaderRequest(kRoomy)).Send(DeviceSays(CMD_COMPLETE));
  EXPECT_EQ(Run().outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(device.AnswersTo(0).size(), 1u);
}

TEST_F(Ending, UnpluggedDeviceEndsAsDisconnected) {
  device.Send(HeaderRequest(kRoomy)).Send(AskSlices(0)).Unplug();
  const DownloadResult result = Run();
  EXPECT_EQ(result.outcome, DownloadOutcome::kDisconnected);
  EXPECT_EQ(std::count(owner.events.begin(), owner.events.end(), "disconnected"), 1);
  EXPECT_EQ(device.waits.size(), 4u);  // the drain's, two frames, the unplug's
  EXPECT_EQ(owner.events.back(), "leave");
  EXPECT_EQ(device.stops, 1);
}

TEST_F(Ending, VanishingAfterCompleteIsNoDisconnection) {
  device.Send(HeaderRequest(kRoomy)).Send(DeviceSays(CMD_COMPLETE)).Unplug();
  EXPECT_EQ(Run().outcome, DownloadOutcome::kCompleted);
  EXPECT_EQ(std::count(owner.events.begin(), owner.events.end(), "disconnected"), 0);
  EXPECT_EQ(CyclesAfter(1), 1);
}

TEST_F(Ending, ConnectionFailureShowsWhyAndNothingElse) {
  device.openResult = {OpenFailure::kAccessDenied, "/dev/hidraw3"};
  device.Send(HeaderRequest(kRoomy));
  const DownloadResult result = Run();
  EXPECT_EQ(result.outcome, DownloadOutcome::kConnectionFailed);
  EXPECT_EQ(owner.events, (std::vector<std::string>{"connection failed"}));
  EXPECT_EQ(owner.failure, OpenFailure::kAccessDenied);
  EXPECT_TRUE(device.waits.empty());
  EXPECT_EQ(device.stops, 0);
}

TEST_F(Ending, OwnerCallsComeInTheirOrder) {
  device.Send(HeaderRequest(kRoomy)).Send(DeviceSays(CMD_COMPLETE));
  Run();
  EXPECT_EQ(owner.events,
            (std::vector<std::string>{"progress  0%", "enter", "progress 100%", "leave"}));
  EXPECT_EQ(device.opens, 1);
}

// Ends that come while stale frames are being drained: no cycle runs.
class EndingInTheDrain : public ::testing::Test {
 protected:
  DownloadResult Run() { return DownloadThread(owner, device, package); }
  const DownloadPackage package = PackageOf(1758);
  RecordingOwner owner;
  ScriptedDevice device{owner.m_hStopEvent};
};

TEST_F(EndingInTheDrain, Stop) {
  device.stopWhenDone = false;
  device.Send(HeaderRequest(kRoomy)).Then([this] { owner.m_hStopEvent.Set(); });
  EXPECT_EQ(Run().outcome, DownloadOutcome::kStopped);
  for (const auto& wait : device.waits) EXPECT_EQ(wait.tries, 10);
  EXPECT_TRUE(device.written.empty());
}

TEST_F(EndingInTheDrain, Unplug) {
  device.Send(HeaderRequest(kRoomy)).Unplug();
  EXPECT_EQ(Run().outcome, DownloadOutcome::kDisconnected);
  EXPECT_EQ(device.waits.size(), 2u);
  EXPECT_TRUE(device.written.empty());
}

// In real time: a stop pressed while the device is silent ends the download
// within one cycle (about 200 ms), not at some later time.
TEST(EndingInRealTime, StopEndsWithinACycle) {
  using Clock = std::chrono::steady_clock;
  RecordingOwner owner;
  ScriptedDevice device{owner.m_hStopEvent};
  device.stopWhenDone = false;
  device.realTime = true;
  const DownloadPackage package = PackageOf(1758);
  DownloadResult result;
  std::thread download([&] { result = DownloadThread(owner, device, package); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto pressed = Clock::now();
  owner.m_hStopEvent.Set();
  download.join();
  const auto took = Clock::now() - pressed;
  EXPECT_EQ(result.outcome, DownloadOutcome::kStopped);
  EXPECT_LT(took, std::chrono::milliseconds(300));
}

TEST(EndingInRealTime, TheCountdownEndsAboutOnePointTwoSecondsAfterComplete) {
  using Clock = std::chrono::steady_clock;
  RecordingOwner owner;
  ScriptedDevice device{owner.m_hStopEvent};
  device.stopWhenDone = false;
  device.realTime = true;
  device.Silence().Send(DeviceSays(CMD_COMPLETE));
  const DownloadPackage package = PackageOf(1758);
  const auto start = Clock::now();
  EXPECT_EQ(DownloadThread(owner, device, package).outcome, DownloadOutcome::kCompleted);
  const auto took = Clock::now() - start;
  // The drain (18 ms), then six silent cycles of 198 ms after the word.
  EXPECT_GT(took, std::chrono::milliseconds(1150));
  EXPECT_LT(took, std::chrono::milliseconds(1700));
}

}  // namespace
}  // namespace tabrelium
