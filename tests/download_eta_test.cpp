// The time a download still needs, from the blocks served so far.
#include "device/download_eta.h"

#include <gtest/gtest.h>

namespace tabrelium {
namespace {

using namespace std::chrono_literals;

TEST(DownloadEta, TheTimeLeftComesFromTheBlocksServed) {
  DownloadEta eta;
  eta.Start();
  EXPECT_EQ(eta.SecondsLeft(), -1);
  const auto t0 = DownloadEta::Clock::time_point{} + 100s;
  eta.Update(0, 101, t0);
  EXPECT_EQ(eta.SecondsLeft(), -1);  // one block says nothing of the pace
  eta.Update(10, 101, t0 + 5s);      // half a second per block
  EXPECT_EQ(eta.SecondsLeft(), 45);  // 90 blocks to go
  EXPECT_EQ(eta.PerMille(), 108);
  eta.Update(4, 101, t0 + 6s);       // a repeated request moves nothing
  EXPECT_EQ(eta.SecondsLeft(), 45);
  eta.Update(100, 101, t0 + 50s);
  EXPECT_EQ(eta.SecondsLeft(), 0);
  EXPECT_EQ(eta.PerMille(), 1000);
}

}  // namespace
}  // namespace tabrelium
