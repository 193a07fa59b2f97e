// The bounded write: a stalled write costs the caller 30 ms and no more,
// keeps its own buffer, and never overlaps the next one.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "device/timed_report_writer.h"

namespace tabrelium {
namespace {

using Clock = std::chrono::steady_clock;
using Report = std::array<uint8_t, kReportBytes>;
using std::chrono::milliseconds;

constexpr milliseconds kLimit{30};

Report Filled(uint8_t value) {
  Report report;
  report.fill(value);
  return report;
}

// A device side that can hold writes until released, and records what each
// write saw when it finished and how many ran at once.
class HeldDevice {
 public:
  TimedReportWriter::WriteFunction Function() {
    return [this](std::span<const uint8_t, kReportBytes> report) {
      const int running = ++running_;
      int most = mostAtOnce.load();
      while (running > most && !mostAtOnce.compare_exchange_weak(most, running)) {
      }
      {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return !holding_; });
      }
      std::lock_guard lock(mutex_);
      seen.emplace_back(report.begin(), report.end());
      --running_;
      return result;
    };
  }
  void Hold() {
    std::lock_guard lock(mutex_);
    holding_ = true;
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      holding_ = false;
    }
    released_.notify_all();
  }
  size_t Seen() {
    std::lock_guard lock(mutex_);
    return seen.size();
  }

  std::vector<std::vector<uint8_t>> seen;  // read after the writer is closed
  std::atomic<int> mostAtOnce{0};
  int result = static_cast<int>(kReportBytes);

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool holding_ = false;
  std::atomic<int> running_{0};
};

TEST(TimedReportWriter, GivesTheWritesResultAndBytes) {
  HeldDevice device;
  TimedReportWriter writer(device.Function(), kLimit);
  EXPECT_EQ(writer.Write(Filled(5)), 65);
  device.result = -1;
  EXPECT_EQ(writer.Write(Filled(6)), -1);
  writer.Close();
  ASSERT_EQ(device.seen.size(), 2u);
  EXPECT_EQ(device.seen[0], std::vector<uint8_t>(65, 5));
}

TEST(TimedReportWriter, StalledWriteReturnsZeroAtTheLimit) {
  HeldDevice device;
  TimedReportWriter writer(device.Function(), kLimit);
  device.Hold();
  const auto start = Clock::now();
  EXPECT_EQ(writer.Write(Filled(1)), 0);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, kLimit);
  EXPECT_LT(took, milliseconds(300));
  device.Release();
}

TEST(TimedReportWriter, NextWriteWaitsForTheStalledOneAndKeepsItsBuffer) {
  HeldDevice device;
  TimedReportWriter writer(device.Function(), kLimit);
  device.Hold();
  EXPECT_EQ(writer.Write(Filled(1)), 0);
  // Still stalled: this one is not started and may not touch the buffer.
  const auto start = Clock::now();
  EXPECT_EQ(writer.Write(Filled(2)), 0);
  EXPECT_GE(Clock::now() - start, kLimit);
  device.Release();
  EXPECT_EQ(writer.Write(Filled(3)), 65);
  writer.Close();
  ASSERT_EQ(device.seen.size(), 2u);
  EXPECT_EQ(device.seen[0], std::vector<uint8_t>(65, 1));  // unchanged while it ran
  EXPECT_EQ(device.seen[1], std::vector<uint8_t>(65, 3));
  EXPECT_EQ(device.mostAtOnce.load(), 1);
}

TEST(TimedReportWriter, ASlowWriteThatEndsInTheNextOnesTimeLetsItRun) {
  HeldDevice device;
  TimedReportWriter writer(device.Function(), kLimit);
  device.Hold();
  EXPECT_EQ(writer.Write(Filled(1)), 0);
  std::thread releaser([&] {
    std::this_thread::sleep_for(milliseconds(5));
    device.Release();
  });
  EXPECT_EQ(writer.Write(Filled(2)), 65);
  releaser.join();
  writer.Close();
  EXPECT_EQ(device.seen.size(), 2u);
  EXPECT_EQ(device.mostAtOnce.load(), 1);
}

TEST(TimedReportWriter, CloseLetsTheRunningWriteFinishThenRefuses) {
  HeldDevice device;
  TimedReportWriter writer(device.Function(), kLimit);
  device.Hold();
  EXPECT_EQ(writer.Write(Filled(1)), 0);
  std::thread releaser([&] {
    std::this_thread::sleep_for(milliseconds(50));
    device.Release();
  });
  writer.Close();  // returns only once the write has let go of the buffer
  EXPECT_EQ(device.Seen(), 1u);
  releaser.join();
  EXPECT_EQ(writer.Write(Filled(2)), -1);
  EXPECT_EQ(device.Seen(), 1u);
}

TEST(TimedReportWriter, ManyQuickWritesAllArriveInOrder) {
  HeldDevice device;
  {
    TimedReportWriter writer(device.Function(), kLimit);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(writer.Write(Filled(static_cast<uint8_t>(i))), 65);
  }
  ASSERT_EQ(device.seen.size(), 500u);
  for (size_t i = 0; i < device.seen.size(); ++i)
    ASSERT_EQ(device.seen[i][64], static_cast<uint8_t>(i));
}

}  // namespace
}  // namespace tabrelium
