// The reader-to-download hand-off: newest wins, whole copies, prompt wake-up,
// the tries rule, and closing when the device is gone.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>

#include "device/report_mailbox.h"

namespace tabrelium {
namespace {

using Clock = std::chrono::steady_clock;
using Report = std::array<uint8_t, kReportBytes>;
using std::chrono::milliseconds;

Report Filled(uint8_t value) {
  Report report;
  report.fill(value);
  return report;
}

TEST(ReportMailbox, NewestReportWinsAndIsTakenOnce) {
  ReportMailbox mailbox;
  mailbox.Put(Filled(1));
  mailbox.Put(Filled(2));
  Report out{};
  ASSERT_TRUE(mailbox.Take(out, milliseconds(0)));
  EXPECT_EQ(out, Filled(2));
  EXPECT_FALSE(mailbox.Take(out, milliseconds(0)));
}

TEST(ReportMailbox, EmptyTakeWaitsItsTime) {
  ReportMailbox mailbox;
  Report out{};
  const auto start = Clock::now();
  EXPECT_FALSE(mailbox.Take(out, milliseconds(30)));
  EXPECT_GE(Clock::now() - start, milliseconds(30));
}

TEST(ReportMailbox, StoringWakesTheTakerAtOnce) {
  ReportMailbox mailbox;
  std::thread reader([&] {
    std::this_thread::sleep_for(milliseconds(50));
    mailbox.Put(Filled(7));
  });
  Report out{};
  const auto start = Clock::now();
  EXPECT_TRUE(mailbox.Take(out, milliseconds(5000)));
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_EQ(out, Filled(7));
  reader.join();
}

TEST(ReportMailbox, TriesOfOneOrLessAnswerAtOnceWithoutLooking) {
  ReportMailbox mailbox;
  mailbox.Put(Filled(3));
  Report out{};
  EXPECT_FALSE(mailbox.TakeWithinTries(out, 1));
  EXPECT_FALSE(mailbox.TakeWithinTries(out, 0));
  EXPECT_FALSE(mailbox.TakeWithinTries(out, -5));
  EXPECT_TRUE(mailbox.TakeWithinTries(out, 2));  // the report was left there
  EXPECT_EQ(out, Filled(3));
}

TEST(ReportMailbox, TenTriesWaitAbout18Milliseconds) {
  ReportMailbox mailbox;
  Report out{};
  const auto start = Clock::now();
  EXPECT_FALSE(mailbox.TakeWithinTries(out, 10));
  const auto took = Clock::now() - start;
  EXPECT_GE(took, milliseconds(18));
  EXPECT_LT(took, milliseconds(200));
}

TEST(ReportMailbox, ClosingWakesTheTakerButAStoredReportIsStillTaken) {
  ReportMailbox mailbox;
  std::thread reader([&] {
    std::this_thread::sleep_for(milliseconds(50));
    mailbox.Close();
  });
  Report out{};
  const auto start = Clock::now();
  EXPECT_FALSE(mailbox.Take(out, milliseconds(5000)));
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  reader.join();

  mailbox.Put(Filled(4));
  EXPECT_TRUE(mailbox.Take(out, milliseconds(0)));
  mailbox.Reopen();
  const auto again = Clock::now();
  EXPECT_FALSE(mailbox.Take(out, milliseconds(20)));  // waits again once reopened
  EXPECT_GE(Clock::now() - again, milliseconds(20));
}

TEST(ReportMailbox, ReportsAreNeverTornOrMixed) {
  ReportMailbox mailbox;
  constexpr int kReports = 20000;
  std::thread reader([&] {
    for (int i = 1; i <= kReports; ++i) mailbox.Put(Filled(static_cast<uint8_t>(i)));
    mailbox.Close();
  });
  Report out{};
  int taken = 0;
  while (mailbox.Take(out, milliseconds(1000))) {
    ++taken;
    for (uint8_t byte : out) ASSERT_EQ(byte, out[0]);
  }
  reader.join();
  EXPECT_GT(taken, 0);
  EXPECT_EQ(out[0], static_cast<uint8_t>(kReports));  // the last one is never lost
}

}  // namespace
}  // namespace tabrelium
