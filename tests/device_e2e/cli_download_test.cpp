// tabrelium-cli download as a user runs it, with the emulated device put
// under it through LD_PRELOAD: what it prints, what the device receives, and
// how each ending is reported.
#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace tabrelium {
namespace {

using testing::ReadFile;
using testing::TempDir;

using CliRun = testing::CommandResult;

class CliDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    csv_ = dir_.Write("products.csv", Products(2000));
    received_ = (dir_.path() / "received.bin").string();
  }

  static std::string Products(int rows) {
    std::string csv = "code,name,price\r\n";
    for (int i = 0; i < rows; ++i)
      csv += std::to_string(6900000000000LL + (i * 7919) % 100000) + ",\xC9\xCC\xC6\xB7" +
             std::to_string(i) + "," + std::to_string(i % 97) + ".50\r\n";
    return csv;
  }

  // Runs the CLI with the emulator preloaded; `prefix` may hold knobs or a
  // `timeout` command that interrupts it.
  CliRun Cli(const std::string& knobs, const std::string& args, const std::string& prefix = "") {
    return testing::RunCommand(
        "env XDG_CONFIG_HOME=" + (dir_.path() / "xdg").string() +
            " XDG_STATE_HOME=" + (dir_.path() / "state").string() +
            " LD_PRELOAD=" TABRELIUM_HIDEMU_PATH
            " ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 TABRELIUM_EMU_OUT=" +
            received_ + " " + knobs + " " + prefix + " " TABRELIUM_CLI_PATH " " + args,
        dir_);
  }

  TempDir dir_;
  std::string csv_;
  std::string received_;
};

TEST_F(CliDownload, CompletesAndTheDeviceHoldsTheImage) {
  const auto image = (dir_.path() / "t.img").string();
  ASSERT_EQ(Cli("", "image " + csv_ + " -o " + image).status, 0);
  const std::string expected = ReadFile(image);

  CliRun r = Cli("TABRELIUM_EMU_FRAME_US=20 TABRELIUM_EMU_LOSS=0.02 TABRELIUM_EMU_SEED=5",
                 "download " + csv_);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(received_), expected);
  const std::string kb = std::to_string((expected.size() + 1023) / 1024) + " KB\n";
  EXPECT_EQ(r.out.rfind(kb + "complete: " + std::to_string(expected.size()) + " bytes, CRC-32 0x", 0),
            0u)
      << r.out;
  EXPECT_EQ(r.err.rfind("progress:  0%\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("progress: 100%\n"), std::string::npos) << r.err;
}

TEST_F(CliDownload, ADeviceThatPausesStillCompletes) {
  CliRun r = Cli("TABRELIUM_EMU_FRAME_US=20 TABRELIUM_EMU_PAUSE_MS=2000", "download " + csv_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("complete: "), std::string::npos) << r.out;
}

TEST_F(CliDownload, CtrlCStopsTheDownloadAndNeverReportsSuccess) {
  // A slow bus: the table takes seconds, the interrupt comes after 0.8 s.
  CliRun r = Cli("TABRELIUM_EMU_FRAME_US=1000", "download " + csv_,
                 "timeout --foreground --preserve-status -s INT 0.8");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("stopped"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("complete"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(received_), "");
}

TEST_F(CliDownload, EachFailureHasItsMessage) {
  struct Case {
    std::string knobs;
    std::string message;
    std::string options = {};
  };
  const Case cases[] = {
      {"TABRELIUM_EMU_PRESENT=0",
       "Connection failed(连接失败)\nNo device is connected (vendor id 2018, product id 0101)"},
      {"TABRELIUM_EMU_FRAME_US=20 TABRELIUM_EMU_CAPACITY=100",
       "The device has too little room: 100 bytes for a table of"},
      {"TABRELIUM_EMU_FRAME_US=20 TABRELIUM_EMU_UNPLUG_AT_BLOCK=2", "disconnected"},
      // A hung device, and one whose every closing frame is lost.
      {"TABRELIUM_EMU_MUTE=1", "The device stopped answering: nothing for 1 s", " --idle-timeout 1"},
      {"TABRELIUM_EMU_FRAME_US=20 TABRELIUM_EMU_LOSE_ENDING=1",
       "nothing for 1 s(设备停止应答:1秒没有回应); every block was sent, so the device may hold the table",
       " --idle-timeout 1"},
  };
  for (const Case& c : cases) {
    CliRun r = Cli(c.knobs, "download " + csv_ + c.options);
    EXPECT_EQ(r.status, 1) << c.knobs;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.knobs << ": " << r.err;
    EXPECT_EQ(r.out.find("complete"), std::string::npos) << c.knobs;
  }
}

}  // namespace
}  // namespace tabrelium
