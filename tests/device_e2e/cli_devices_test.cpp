// Several emulated devices under tabrelium-cli: listing them, serving them
// all at once or one chosen, each device's ending told apart, and the
// download log the runs leave.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "device/download_log.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

using testing::ReadFile;
using testing::TempDir;
using CliRun = testing::CommandResult;

class CliDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string csv = "code,name\r\n";
    for (int i = 0; i < 1500; ++i) csv += std::to_string(6900000000000LL + i) + ",item\r\n";
    csv_ = dir_.Write("products.csv", csv);
    out_ = (dir_.path() / "got").string();
  }

  CliRun Cli(const std::string& knobs, const std::string& args, const std::string& prefix = "") {
    return testing::RunCommand(
        "env XDG_CONFIG_HOME=" + (dir_.path() / "xdg").string() +
            " XDG_STATE_HOME=" + (dir_.path() / "state").string() +
            " LD_PRELOAD=" TABRELIUM_HIDEMU_PATH
            " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 TABRELIUM_EMU_FRAME_US=20"
            " TABRELIUM_EMU_OUT=" + out_ + " " + knobs + " " + prefix + " " TABRELIUM_CLI_PATH " " +
            args,
        dir_);
  }

  std::vector<DownloadLogEntry> Log() {
    std::vector<std::string> lines;
    EXPECT_TRUE(ReadDownloadLog((dir_.path() / "state/tabrelium/downloads.log").string(), lines).ok());
    std::vector<DownloadLogEntry> entries;
    for (const std::string& line : lines) {
      auto entry = ParseLogLine(line);
      EXPECT_TRUE(entry) << line;
      if (entry) entries.push_back(*entry);
    }
    return entries;
  }

  std::string Image() {
    const auto image = (dir_.path() / "t.img").string();
    EXPECT_EQ(Cli("", "image " + csv_ + " -o " + image).status, 0);
    return ReadFile(image);
  }

  TempDir dir_;
  std::string csv_;
  std::string out_;
};

TEST_F(CliDevices, ListsEachDeviceWithWhetherItMayBeOpened) {
  CliRun r = Cli("TABRELIUM_EMU_COUNT=3 TABRELIUM_EMU_ACCESS_1=denied", "devices");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(
                "/dev/hidraw-emu0\tEMU0001\tTabrelium hidemu\tEmulated download device\tmay open(可以打开)\n"
                "/dev/hidraw-emu1\tEMU0002\tTabrelium hidemu\tEmulated download device\tnot permitted to open(无权打开)\n"
                "/dev/hidraw-emu2\tEMU0003\t",
                0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("The device /dev/hidraw-emu1 is connected, but this user may not open it"),
            std::string::npos)
      << r.out;

  r = Cli("TABRELIUM_EMU_COUNT=2 TABRELIUM_EMU_PRESENT_0=0", "devices --json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "[{\"path\":\"/dev/hidraw-emu1\",\"serial\":\"EMU0002\",\"manufacturer\":\"Tabrelium "
            "hidemu\",\"product\":\"Emulated download device\",\"may_open\":true}]\n");
  r = Cli("TABRELIUM_EMU_PRESENT=0", "devices");
  EXPECT_EQ(r.out, "No device(未连接设备)\n");
  EXPECT_EQ(Cli("TABRELIUM_EMU_PRESENT=0", "devices --json").out, "[]\n");
}

// Three devices at once: one well, one unplugged mid-way, one too small.
// The well one gets the exact table; the others are told apart; the log
// has a line for each; the exit status says not all completed.
TEST_F(CliDevices, AllDevicesAtOnceEachEndingOnItsOwn) {
  const std::string image = Image();
  CliRun r = Cli("TABRELIUM_EMU_COUNT=3 TABRELIUM_EMU_UNPLUG_AT_BLOCK_1=3 TABRELIUM_EMU_CAPACITY_2=100",
                 "download " + csv_ + " --all");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(ReadFile(out_ + "0") == image);
  EXPECT_TRUE(ReadFile(out_ + "1").empty() && ReadFile(out_ + "2").empty());
  EXPECT_NE(r.err.find("progress: /dev/hidraw-emu0 100%\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("tabrelium-cli: /dev/hidraw-emu1: The device was disconnected"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("tabrelium-cli: /dev/hidraw-emu2: The device has too little room: 100 bytes"),
            std::string::npos)
      << r.err;
  const std::string bytes = std::to_string(image.size());
  EXPECT_NE(r.out.find("/dev/hidraw-emu0\tEMU0001\tCompleted(完成)\t" + bytes + "\t"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("/dev/hidraw-emu1\tEMU0002\tUnplugged(已拔出)\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("/dev/hidraw-emu2\tEMU0003\tToo little room(空间不足)\t0\t"),
            std::string::npos)
      << r.out;

  const std::vector<DownloadLogEntry> log = Log();
  ASSERT_EQ(log.size(), 3u);
  std::vector<std::pair<std::string, DownloadOutcome>> endings;
  for (const auto& e : log) {
    endings.emplace_back(e.devicePath, e.outcome);
    EXPECT_EQ(e.dataFile, csv_);
    EXPECT_EQ(e.bytes, image.size());
  }
  std::sort(endings.begin(), endings.end());
  EXPECT_EQ(endings, (std::vector<std::pair<std::string, DownloadOutcome>>{
                         {"/dev/hidraw-emu0", DownloadOutcome::kCompleted},
                         {"/dev/hidraw-emu1", DownloadOutcome::kDisconnected},
                         {"/dev/hidraw-emu2", DownloadOutcome::kCapacityRefused}}));

  // The log as a table: a heading and one row per line.
  r = Cli("", "log");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
  EXPECT_NE(r.out.find("\tCompleted(完成)\t/dev/hidraw-emu0\tEMU0001\t" + csv_), std::string::npos)
      << r.out;
}

TEST_F(CliDevices, OneChosenDeviceAndEveryOneCompleting) {
  const std::string image = Image();
  CliRun r = Cli("TABRELIUM_EMU_COUNT=3", "download " + csv_ + " --device /dev/hidraw-emu2");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadFile(out_ + "2") == image);
  EXPECT_TRUE(ReadFile(out_ + "0").empty());
  r = Cli("TABRELIUM_EMU_COUNT=4 TABRELIUM_EMU_LOSS_3=0.05", "download " + csv_ + " --all");
  EXPECT_EQ(r.status, 0) << r.err;
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(ReadFile(out_ + std::to_string(i)) == image) << i;
  EXPECT_EQ(Log().size(), 5u);
  r = Cli("TABRELIUM_EMU_COUNT=3", "download " + csv_ + " --device /dev/hidraw-emu7");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No device is connected"), std::string::npos) << r.err;
}

TEST_F(CliDevices, CtrlCStopsEveryDevice) {
  CliRun r = Cli("TABRELIUM_EMU_COUNT=2 TABRELIUM_EMU_FRAME_US=5000", "download " + csv_ + " --all",
                 "timeout --foreground --preserve-status -s INT 0.8");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;  // size, heading, 2 devices
  EXPECT_EQ(r.out.find("Completed"), std::string::npos) << r.out;
  EXPECT_TRUE(ReadFile(out_ + "0").empty() && ReadFile(out_ + "1").empty());
}

}  // namespace
}  // namespace tabrelium
