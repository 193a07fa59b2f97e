// The emulated download device, driven through HIDAPI's calls by the small
// host of test_host.h: listing and opening, report shapes, bus timing, the
// transfer with its repeats and refusals, a bad cable, unplugging, closing.

#include <gtest/gtest.h>
#include <hidapi/hidapi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "tests/emulator/test_host.h"
#include "tools/hidemu/hidemu_control.h"

namespace hidemu_test {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

// Sanitizers slow every call many times over; there the upper time bounds,
// which catch needless waits, are left to the plain build.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kCheckSpeed = false;
#else
constexpr bool kCheckSpeed = true;
#endif

constexpr const char* kKnobs[] = {
    "TABRELIUM_EMU_PRESENT",  "TABRELIUM_EMU_ACCESS",   "TABRELIUM_EMU_CAPACITY",
    "TABRELIUM_EMU_LOSS",     "TABRELIUM_EMU_CORRUPT",  "TABRELIUM_EMU_SEED",
    "TABRELIUM_EMU_FRAME_US", "TABRELIUM_EMU_OUT",      "TABRELIUM_EMU_UNPLUG_AT_BLOCK",
    "TABRELIUM_EMU_STALL_MS"};

std::vector<uint8_t> TestData(size_t size, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data(size);
  for (auto& byte : data) byte = static_cast<uint8_t>(random());
  return data;
}

HostScript Serving(std::vector<uint8_t> data) {
  HostScript script;
  script.data = std::move(data);
  return script;
}

std::vector<uint8_t> Received() {
  std::vector<uint8_t> data(hidemu_received_data(nullptr, 0));
  hidemu_received_data(data.data(), data.size());
  return data;
}

hidemu_stats Stats() {
  hidemu_stats stats;
  hidemu_get_stats(&stats);
  return stats;
}

// The entries of a block request, as the list of slices it asks for.
std::vector<int> Wanted(const Frame& request) {
  std::vector<int> wanted;
  for (int i = 0; i < request[7]; ++i)
    if (request[8 + i] == i) wanted.push_back(i);
  return wanted;
}

class Hidemu : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* knob : kKnobs) unsetenv(knob);
    Set("TABRELIUM_EMU_FRAME_US", "50");
    Set("TABRELIUM_EMU_SEED", "7");
    hidemu_reset();
    ASSERT_EQ(hid_init(), 0);
  }
  void TearDown() override {
    if (dev_ != nullptr) hid_close(dev_);
    hid_exit();
    for (const char* knob : kKnobs) unsetenv(knob);
    std::filesystem::remove(outPath_);
  }

  static void Set(const char* knob, const std::string& value) { setenv(knob, value.c_str(), 1); }

  hid_device* Open() {
    dev_ = hid_open(0x2018, 0x0101, nullptr);
    return dev_;
  }
  void Close() {
    hid_close(dev_);
    dev_ = nullptr;
  }

  // Opens, serves `script` to its end and closes, leaving the log.
  HostLog Download(const HostScript& script, milliseconds limit = 10s) {
    EXPECT_NE(Open(), nullptr) << "hid_open failed";
    if (dev_ == nullptr) return {};
    HostLog log = Serve(dev_, script, limit);
    Close();
    return log;
  }

  std::string OutPath() {
    Set("TABRELIUM_EMU_OUT", outPath_.string());
    return outPath_.string();
  }

  hid_device* dev_ = nullptr;
  std::filesystem::path outPath_ = std::filesystem::temp_directory_path() /
                                   ("hidemu_test_" + std::to_string(getpid()) + ".bin");
};

// --- Listing and opening ---------------------------------------------------

TEST_F(Hidemu, ListsOneDownloadDevice) {
  hid_device_info* list = hid_enumerate(0, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->vendor_id, 0x2018);
  EXPECT_EQ(list->product_id, 0x0101);
  EXPECT_STREQ(list->path, "/dev/hidraw-emu0");
  EXPECT_EQ(list->interface_number, 0);
  EXPECT_EQ(list->bus_type, HID_API_BUS_USB);
  EXPECT_EQ(list->next, nullptr);
  hid_free_enumeration(list);

  EXPECT_EQ(hid_enumerate(0x2018, 0x0102), nullptr);

  hid_device* dev = hid_open_path("/dev/hidraw-emu0");
  ASSERT_NE(dev, nullptr);
  dev_ = dev;
  EXPECT_STREQ(hid_get_device_info(dev)->path, "/dev/hidraw-emu0");
  wchar_t product[64];
  EXPECT_EQ(hid_get_product_string(dev, product, 64), 0);
  EXPECT_GT(std::wcslen(product), 0u);
}

TEST_F(Hidemu, AbsentDeviceIsNeitherListedNorOpened) {
  Set("TABRELIUM_EMU_PRESENT", "0");
  EXPECT_EQ(hid_enumerate(0x2018, 0x0101), nullptr);
  errno = 0;
  EXPECT_EQ(Open(), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(hid_open_path("/dev/hidraw-emu0"), nullptr);
  EXPECT_EQ(Stats().opens, 0u);
}

TEST_F(Hidemu, DeniedOrBusyDeviceIsListedButNotOpened) {
  Set("TABRELIUM_EMU_ACCESS", "denied");
  hid_device_info* list = hid_enumerate(0x2018, 0x0101);
  ASSERT_NE(list, nullptr);
  hid_free_enumeration(list);
  errno = 0;
  EXPECT_EQ(Open(), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_NE(std::wcsstr(hid_error(nullptr), L"Permission denied"), nullptr);

  Set("TABRELIUM_EMU_ACCESS", "busy");
  errno = 0;
  EXPECT_EQ(Open(), nullptr);
  EXPECT_EQ(errno, EBUSY);
}

TEST_F(Hidemu, ServesOneHandleAtATime) {
  ASSERT_NE(Open(), nullptr);
  errno = 0;
  EXPECT_EQ(hid_open(0x2018, 0x0101, nullptr), nullptr);
  EXPECT_EQ(errno, EBUSY);
  Close();
  EXPECT_NE(Open(), nullptr);
}

// --- Reports and the bus -----------------------------------------------------

TEST_F(Hidemu, FirstReportIsAHeaderRequestWithTheCapacity) {
  Set("TABRELIUM_EMU_CAPACITY", "123456");
  ASSERT_NE(Open(), nullptr);
  std::array<uint8_t, 65> buffer{};
  ASSERT_EQ(hid_read_timeout(dev_, buffer.data(), buffer.size(), 1000), 64);
  Frame frame;
  std::copy_n(buffer.begin(), 64, frame.begin());
  EXPECT_TRUE(IsSound(frame));
  EXPECT_EQ(frame[1], kHeader);
  EXPECT_EQ(Le32(&frame[3]), 123456u);
  // Unanswered, the next request waits for the device's retry time.
  EXPECT_EQ(hid_read_timeout(dev_, buffer.data(), buffer.size(), 10), 0);
}

TEST_F(Hidemu, RefusesReportsOfTheWrongShape) {
  ASSERT_NE(Open(), nullptr);
  std::array<uint8_t, 65> report{};
  EXPECT_EQ(hid_write(dev_, report.data(), 64), -1);
  report[0] = 0x01;
  EXPECT_EQ(hid_write(dev_, report.data(), 65), -1);
  report[0] = 0x00;
  EXPECT_EQ(hid_write(dev_, report.data(), 65), 65);
}

TEST_F(Hidemu, EveryWriteTakesOneFrameTime) {
  Set("TABRELIUM_EMU_FRAME_US", "2000");
  ASSERT_NE(Open(), nullptr);
  const Frame idle = MakeHostFrame(kOutOfSequence, {});
  const auto start = Clock::now();
  for (int i = 0; i < 25; ++i) ASSERT_EQ(WriteFrame(dev_, idle), 65);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 48ms);
  if (kCheckSpeed) {
    EXPECT_LT(took, 75ms);
  }
}

TEST_F(Hidemu, StallHoldsEveryWriteAndZeroFrameTimeHasNoDelay) {
  Set("TABRELIUM_EMU_FRAME_US", "0");
  ASSERT_NE(Open(), nullptr);
  const Frame idle = MakeHostFrame(kOutOfSequence, {});
  // At the default frame time these would take 400 ms.
  auto start = Clock::now();
  for (int i = 0; i < 400; ++i) ASSERT_EQ(WriteFrame(dev_, idle), 65);
  if (kCheckSpeed) {
    EXPECT_LT(Clock::now() - start, 300ms);
  }
  Close();

  Set("TABRELIUM_EMU_STALL_MS", "30");
  ASSERT_NE(Open(), nullptr);
  start = Clock::now();
  ASSERT_EQ(WriteFrame(dev_, idle), 65);
  EXPECT_GE(Clock::now() - start, 30ms);
}

TEST_F(Hidemu, BlocksFollowEachOtherAtTheBusCeiling) {
  // One request and 32 answers per block, 2 ms each: 66 ms, plus the time
  // this host takes to answer; the device itself must add no wait.
  Set("TABRELIUM_EMU_FRAME_US", "2000");
  HostScript script = Serving(TestData(8 * kBlockBytes));
  const HostLog log = Download(script);
  ASSERT_EQ(log.terminal, kComplete);
  // Averaged over seven blocks, so that one late wake-up of the host counts little.
  const auto perBlock = (log.BlockRequests(7).at(0).at - log.BlockRequests(0).at(0).at) / 7;
  EXPECT_GE(perBlock, 65500us);
  if (kCheckSpeed) {
    EXPECT_LT(perBlock, 80ms);
  }
  // From the host's last answer to the next request: the request's own 2 ms.
  std::vector<Clock::duration> turnarounds;
  for (uint32_t k = 1; k < 8; ++k)
    turnarounds.push_back(log.BlockRequests(k).at(0).at -
                          log.BlockRequests(k - 1).at(0).answeredAt);
  std::sort(turnarounds.begin(), turnarounds.end());
  if (kCheckSpeed) {
    EXPECT_LT(turnarounds[turnarounds.size() / 2], 5ms);
  }
}

TEST_F(Hidemu, ADamagedFrameFailsItsChecksumEitherWay) {
  Set("TABRELIUM_EMU_CORRUPT", "1");
  ASSERT_NE(Open(), nullptr);
  std::array<uint8_t, 65> buffer{};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(hid_read_timeout(dev_, buffer.data(), buffer.size(), 1000), 64);
    Frame frame;
    std::copy_n(buffer.begin(), 64, frame.begin());
    EXPECT_FALSE(IsSound(frame));
  }
  std::array<uint8_t, 8> header{};
  header[0] = 100;
  ASSERT_EQ(WriteFrame(dev_, MakeHostFrame(kHeader, header)), 65);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(Stats().frames_rejected, 1u);
  EXPECT_EQ(Stats().state, HIDEMU_ASKING_HEADER);
}

// --- The transfer ----------------------------------------------------------

TEST_F(Hidemu, ReceivesExactlyTheDataThroughABadCable) {
  Set("TABRELIUM_EMU_LOSS", "0.05");
  Set("TABRELIUM_EMU_CORRUPT", "0.01");
  const std::string out = OutPath();
  HostScript script = Serving(TestData(12 * kBlockBytes + 100));
  const HostLog log = Download(script, 30s);

  EXPECT_EQ(log.terminal, kComplete);
  EXPECT_EQ(Received(), script.data);
  std::ifstream file(out, std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}), script.data);
  const hidemu_stats stats = Stats();
  EXPECT_EQ(stats.state, HIDEMU_COMPLETED);
  EXPECT_EQ(stats.blocks_done, 13u);
  EXPECT_EQ(stats.data_length, script.data.size());
  // The cable did spoil frames both ways, and the device asked again.
  EXPECT_GT(stats.frames_lost, 0u);
  EXPECT_GT(stats.frames_corrupted, 0u);
  EXPECT_GT(stats.frames_rejected, 0u);
  EXPECT_GT(log.unsound, 0);
  EXPECT_GT(stats.block_repeats, 0u);
}

TEST_F(Hidemu, AsksForEverySliceOfAFullBlockAndOnlyTheRestOfTheLast) {
  HostScript full = Serving(TestData(kBlockBytes));
  HostLog log = Download(full);
  ASSERT_EQ(log.terminal, kComplete);
  ASSERT_EQ(log.Requests(kBlock).size(), 1u);
  std::vector<int> all(32);
  for (int i = 0; i < 32; ++i) all[i] = i;
  EXPECT_EQ(Wanted(log.BlockRequests(0).at(0).frame), all);
  EXPECT_EQ(Received(), full.data);

  hidemu_reset();
  HostScript oneMore = Serving(TestData(kBlockBytes + 1));
  log = Download(oneMore);
  ASSERT_EQ(log.terminal, kComplete);
  // Block 1: one data byte and two CRC bytes, one slice.
  const Frame last = log.BlockRequests(1).at(0).frame;
  EXPECT_EQ(last[7], 1);
  EXPECT_EQ(Wanted(last), std::vector<int>{0});
  EXPECT_EQ(Received(), oneMore.data);
}

TEST_F(Hidemu, AsksAgainOnlyForTheMissingSlices) {
  HostScript script = Serving(TestData(3 * kBlockBytes));
  script.sendSlice = [](uint32_t block, uint32_t slice, int ask) {
    return !(block == 1 && ask == 0 && (slice == 7 || slice == 20));
  };
  const HostLog log = Download(script);
  ASSERT_EQ(log.terminal, kComplete);
  const auto asks = log.BlockRequests(1);
  ASSERT_EQ(asks.size(), 2u);
  EXPECT_EQ(asks[1].frame[7], 32);
  EXPECT_EQ(Wanted(asks[1].frame), (std::vector<int>{7, 20}));
  // The answer's last slice arrived, so the device did not wait out its timeout.
  EXPECT_LT(asks[1].at - asks[0].answeredAt, 40ms);
  EXPECT_EQ(Received(), script.data);
}

TEST_F(Hidemu, TakesOnlySlicesThatBelongToTheBlock) {
  HostScript script = Serving(TestData(3 * kBlockBytes));
  script.spoilSlice = [](uint32_t block, int ask, Frame& frame) {
    if (block != 1 || ask != 0) return;
    if (frame[7] == 5) frame[3] = 0;  // echoes block 0
    if (frame[7] == 9) frame[8] = 54;  // one byte short of a full slice
  };
  const HostLog log = Download(script);
  ASSERT_EQ(log.terminal, kComplete);
  const auto asks = log.BlockRequests(1);
  ASSERT_EQ(asks.size(), 2u);
  EXPECT_EQ(Wanted(asks[1].frame), (std::vector<int>{5, 9}));
  EXPECT_EQ(Stats().frames_rejected, 1u);
  EXPECT_EQ(Received(), script.data);
}

TEST_F(Hidemu, AsksForTheWholeBlockWhenItsCrcFails) {
  HostScript script = Serving(TestData(3 * kBlockBytes));
  // A wrong data byte in a frame whose checksum is right: only the CRC-16 sees it.
  script.spoilSlice = [](uint32_t block, int ask, Frame& frame) {
    if (block == 1 && ask == 0 && frame[7] == 3) frame[20] ^= 0x40;
  };
  const HostLog log = Download(script);
  ASSERT_EQ(log.terminal, kComplete);
  const auto asks = log.BlockRequests(1);
  ASSERT_EQ(asks.size(), 2u);
  EXPECT_EQ(Wanted(asks[1].frame).size(), 32u);
  EXPECT_EQ(Stats().block_crc_failures, 1u);
  EXPECT_EQ(Received(), script.data);
}

TEST_F(Hidemu, FailsWhenThePackageCrcDoesNotMatch) {
  const std::string out = OutPath();
  HostScript script = Serving(TestData(2 * kBlockBytes));
  script.crc = PackageCrc(script.data) ^ 1;
  const HostLog log = Download(script);
  EXPECT_EQ(log.terminal, kFailed);
  EXPECT_EQ(Stats().state, HIDEMU_CRC_FAILED);
  EXPECT_EQ(Stats().blocks_done, 2u);
  EXPECT_TRUE(Received().empty());
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(Hidemu, RefusesAPackageLargerThanItsCapacity) {
  Set("TABRELIUM_EMU_CAPACITY", "2000");
  HostScript script = Serving(TestData(2001));
  const HostLog log = Download(script);
  EXPECT_EQ(log.terminal, kFailed);
  ASSERT_FALSE(log.Requests(kHeader).empty());
  EXPECT_EQ(Le32(&log.Requests(kHeader)[0].frame[3]), 2000u);
  EXPECT_TRUE(log.Requests(kBlock).empty());
  EXPECT_EQ(Stats().state, HIDEMU_REFUSED);

  // Exactly the capacity fits.
  hidemu_reset();
  script.data.pop_back();
  EXPECT_EQ(Download(script).terminal, kComplete);
}

TEST_F(Hidemu, AsksAgainAtOnceWhenRefusedAsOutOfSequence) {
  HostScript script = Serving(TestData(3 * kBlockBytes));
  script.refuseBlock = [](uint32_t block, int ask) { return block == 1 && ask < 2; };
  const HostLog log = Download(script);
  ASSERT_EQ(log.terminal, kComplete);
  const auto asks = log.BlockRequests(1);
  ASSERT_EQ(asks.size(), 3u);
  EXPECT_EQ(Wanted(asks[2].frame).size(), 32u);
  EXPECT_LT(asks[2].at - asks[1].answeredAt, 40ms);
  EXPECT_EQ(Stats().out_of_sequence, 2u);
}

TEST_F(Hidemu, StartsOverAfterRefusalsThatDoNotEnd) {
  HostScript script = Serving(TestData(3 * kBlockBytes));
  script.refuseBlock = [](uint32_t block, int ask) { return block == 2 && ask < 5; };
  const HostLog log = Download(script);
  ASSERT_EQ(log.terminal, kComplete);
  EXPECT_EQ(log.Requests(kHeader).size(), 2u);
  EXPECT_EQ(Received(), script.data);
}

TEST_F(Hidemu, AsksAgainWhenTheHostIsSilent) {
  HostScript script = Serving(TestData(2 * kBlockBytes));
  script.answerHeader = [](int ask) { return ask >= 2; };
  script.answerBlock = [](uint32_t block, int ask) { return !(block == 0 && ask == 0); };
  const HostLog log = Download(script);
  ASSERT_EQ(log.terminal, kComplete);
  const auto headers = log.Requests(kHeader);
  ASSERT_EQ(headers.size(), 3u);
  // (The first request may have waited for the host to start reading.)
  EXPECT_GE(headers[2].at - headers[1].at, 90ms);
  if (kCheckSpeed) {
    EXPECT_LT(headers[2].at - headers[1].at, 150ms);
  }
  const auto asks = log.BlockRequests(0);
  ASSERT_EQ(asks.size(), 2u);
  EXPECT_EQ(asks[1].frame, asks[0].frame);
  EXPECT_GE(asks[1].at - asks[0].at, 45ms);
}

// --- Unplugging and closing --------------------------------------------------

TEST_F(Hidemu, VanishesAtTheGivenBlock) {
  Set("TABRELIUM_EMU_UNPLUG_AT_BLOCK", "2");
  const std::string out = OutPath();
  ASSERT_NE(Open(), nullptr);
  HostScript script = Serving(TestData(5 * kBlockBytes));
  const HostLog log = Serve(dev_, script, 5s);
  EXPECT_EQ(log.readFailure, 1);
  EXPECT_EQ(log.terminal, 0);
  EXPECT_FALSE(log.BlockRequests(1).empty());
  EXPECT_TRUE(log.BlockRequests(2).empty());

  std::array<uint8_t, 65> buffer{};
  EXPECT_EQ(hid_read_timeout(dev_, buffer.data(), buffer.size(), 10), -1);
  EXPECT_NE(std::wcsstr(hid_error(dev_), L"device disconnected"), nullptr);
  EXPECT_EQ(WriteFrame(dev_, MakeHostFrame(kOutOfSequence, {})), -1);
  EXPECT_NE(std::wcsstr(hid_error(dev_), L"device disconnected"), nullptr);
  EXPECT_EQ(hidemu_wait_for_end(0), HIDEMU_UNPLUGGED);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(Hidemu, CloseEndsAReadAndAWriteWaitingInOtherThreads) {
  // Nothing reaches the host and every write stalls: both calls stay inside.
  Set("TABRELIUM_EMU_LOSS", "1");
  Set("TABRELIUM_EMU_STALL_MS", "10000");
  hid_device* dev = Open();
  ASSERT_NE(dev, nullptr);
  std::atomic<int> readResult{1};
  std::atomic<int> writeResult{1};
  std::thread reader([&] {
    std::array<uint8_t, 65> buffer{};
    readResult = hid_read_timeout(dev, buffer.data(), buffer.size(), -1);
  });
  std::thread writer([&] { writeResult = WriteFrame(dev, MakeHostFrame(kOutOfSequence, {})); });
  std::this_thread::sleep_for(100ms);
  const auto start = Clock::now();
  Close();
  EXPECT_LT(Clock::now() - start, 2s);
  reader.join();
  writer.join();
  EXPECT_EQ(readResult, -1);
  EXPECT_EQ(writeResult, -1);
  EXPECT_EQ(Stats().closes, 1u);
}

}  // namespace
}  // namespace hidemu_test
