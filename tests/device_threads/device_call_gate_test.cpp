// Calls on one device: side by side while healthy, one at a time from a
// failure until a success that ran alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "device/device_call_gate.h"

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
  std::thread a([&] { gate.Run([&] { return overlap.Call(first); }); });
  std::thread b([&] { gate.Run([&] { return overlap.Call(second); }); });
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
  EXPECT_EQ(gate.Run([] { return 0; }), 0);  // a success alone
  EXPECT_EQ(MostAtOnce(gate, 65, 0), 2);
  EXPECT_EQ(MostAtOnce(gate, 65, 0), 2);
}

TEST(DeviceCallGate, AfterAFailureOneAtATimeUntilASuccessAlone) {
  DeviceCallGate gate;
  gate.Run([] { return 0; });
  EXPECT_EQ(gate.Run([] { return -1; }), -1);
  EXPECT_EQ(MostAtOnce(gate, -1, -1), 1);
  EXPECT_EQ(gate.Run([] { return 65; }), 65);
  EXPECT_EQ(MostAtOnce(gate, 0, 0), 2);
}

TEST(DeviceCallGate, ASuccessBesideAFailureDoesNotReopen) {
  DeviceCallGate gate;
  gate.Run([] { return 0; });
  // Side by side: one fails while the other succeeds.
  EXPECT_EQ(MostAtOnce(gate, -1, 65), 2);
  EXPECT_EQ(MostAtOnce(gate, 0, 0), 1);  // the first of these ran alone ...
  EXPECT_EQ(MostAtOnce(gate, 0, 0), 2);  // ... and its success reopened the gate
}

}  // namespace
}  // namespace tabrelium
