// Calls on one device: side by side while healthy, one at a time from a
// failure until a success that ran alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "device/device_call_gate.h"
#include "device/timed_report_writer.h"

namespace tabrelium {
namespace {

using std::chrono::milliseconds;

// A call that lasts until another call has joined it, or `patience` has
// passed, and records how many ran at once.
class Overlap {
 public:
  int Call(int result, milliseconds patience = milliseconds(150)) {
    const int running = ++running_;
    if (running > most_) most_ = running;
    const auto until = std::chrono::steady_clock::now() + patience;
    while (running_ < 2 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(milliseconds(1));
    if (running_ >= 2) most_ = std::max(most_.load(), 2);
    std::this_thread::sleep_for(milliseconds(5));
    --running_;
    return result;
  }
  int most() const { return most_; }

 private:
  std::atomic<int> running_{0};
  std::atomic<int> most_{0};
};

// Runs two calls with the given results on two threads.
int MostAtOnce(DeviceCallGate& gate, int first, int second) {
  Overlap overlap;
  std::thread a([&] { gate.Run(DeviceCallGate::kRead, [&] { return overlap.Call(first); }); });
  std::thread b([&] { gate.Run(DeviceCallGate::kWrite, [&] { return overlap.Call(second); }); });
  a.join();
  b.join();
  return overlap.most();
}

TEST(DeviceCallGate, StartsOneAtATime) {
  DeviceCallGate gate;
  EXPECT_EQ(MostAtOnce(gate, 0, 0), 1);
}

TEST(DeviceCallGate, HealthyCallsRunSideBySide) {
  DeviceCallGate gate;
  EXPECT_EQ(gate.Run(DeviceCallGate::kRead, [] { return 0; }), 0);  // a success alone
  EXPECT_EQ(MostAtOnce(gate, 65, 0), 2);
  EXPECT_EQ(MostAtOnce(gate, 65, 0), 2);
}

TEST(DeviceCallGate, AfterAFailureOneAtATimeUntilASuccessAlone) {
  DeviceCallGate gate;
  gate.Run(DeviceCallGate::kRead, [] { return 0; });
  EXPECT_EQ(gate.Run(DeviceCallGate::kRead, [] { return -1; }), -1);
  EXPECT_EQ(MostAtOnce(gate, -1, -1), 1);
  EXPECT_EQ(gate.Run(DeviceCallGate::kRead, [] { return 65; }), 65);
  EXPECT_EQ(MostAtOnce(gate, 0, 0), 2);
}

TEST(DeviceCallGate, ASuccessBesideAFailureDoesNotReopen) {
  DeviceCallGate gate;
  gate.Run(DeviceCallGate::kRead, [] { return 0; });
  // Side by side: one fails while the other succeeds.
  EXPECT_EQ(MostAtOnce(gate, -1, 65), 2);
  EXPECT_EQ(MostAtOnce(gate, 0, 0), 1);  // the first of these ran alone ...
  EXPECT_EQ(MostAtOnce(gate, 0, 0), 2);  // ... and its success reopened the gate
}

// The link's shape: a reader re-entering the gate at once after each 10 ms
// read, and a writer with a 30 ms limit whose every write fails. Each write
// must get its turn before the next read, so all 32 slices of a block are
// attempted, in order, none skipped by the writer's limit.
TEST(DeviceCallGate, AWaitingWriteGoesBeforeTheNextRead) {
  DeviceCallGate gate;
  std::atomic<bool> stop = false;
  std::thread reader([&] {
    while (!stop)
      gate.Run(DeviceCallGate::kRead, [] {
        std::this_thread::sleep_for(milliseconds(10));
        return 0;  // a read that timed out
      });
  });
  std::mutex attemptedMutex;
  std::vector<int> attempted;
  TimedReportWriter writer(
      [&](std::span<const uint8_t, kReportBytes> report) {
        return gate.Run(DeviceCallGate::kWrite, [&] {
          std::lock_guard lock(attemptedMutex);
          attempted.push_back(report[1]);
          return -1;
        });
      },
      milliseconds(30));
  for (int slice = 0; slice < 32; ++slice) {
    std::array<uint8_t, kReportBytes> report{};
    report[1] = static_cast<uint8_t>(slice);
    EXPECT_EQ(writer.Write(report), -1) << "slice " << slice;
  }
  writer.Close();
  stop = true;
  reader.join();
  std::vector<int> expected(32);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(attempted, expected);
}

}  // namespace
}  // namespace tabrelium
