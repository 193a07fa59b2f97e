// The download log: its lines read back as written, whatever the names
// hold, and appends from many writers at once never mix within a line.
#include "device/download_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "common/user_texts.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

DownloadLogEntry Entry(std::string file, DownloadOutcome outcome) {
  DownloadLogEntry e;
  e.time = "2026-12-10T19:05:02+0800";
  e.dataFile = std::move(file);
  e.records = 3000;
  e.bytes = 123456;
  e.crc32 = 0x1A2B3C4D;
  e.devicePath = "/dev/hidraw3";
  e.serial = "A1\"23";
  e.outcome = outcome;
  e.seconds = 2.4;
  return e;
}

TEST(DownloadLog, LinesReadBackAsWritten) {
  EXPECT_EQ(FormatLogLine(Entry("products.csv", DownloadOutcome::kCompleted)),
            "{\"time\":\"2026-12-10T19:05:02+0800\",\"file\":\"products.csv\",\"records\":3000,"
            "\"bytes\":123456,\"crc32\":\"0x1A2B3C4D\",\"device\":\"/dev/hidraw3\","
            "\"serial\":\"A1\\\"23\",\"outcome\":\"completed\",\"seconds\":2.4}\n");
  const std::string names[] = {"plain.csv", "商品 表.xlsx", "quote\"back\\slash", "tab\tnew\nline\x01",
                               "\"file\":\"decoy\",", ""};
  for (const std::string& name : names) {
    for (DownloadOutcome outcome : {DownloadOutcome::kConnectionFailed, DownloadOutcome::kCompleted,
                                    DownloadOutcome::kFailed, DownloadOutcome::kEnded,
                                    DownloadOutcome::kCapacityRefused, DownloadOutcome::kDisconnected,
                                    DownloadOutcome::kStopped, DownloadOutcome::kDeviceSilent}) {
      const auto back = ParseLogLine(FormatLogLine(Entry(name, outcome)));
      ASSERT_TRUE(back) << name;
      EXPECT_EQ(back->dataFile, name);
      EXPECT_EQ(back->serial, "A1\"23");
      EXPECT_EQ(back->outcome, outcome);
      EXPECT_EQ(back->crc32, 0x1A2B3C4Du);
      EXPECT_EQ(back->records, 3000);
      EXPECT_DOUBLE_EQ(back->seconds, 2.4);
    }
  }
  for (const char* broken : {"", "{}", "not json", "{\"time\":\"x\"}",
                             "{\"time\":\"t\",\"file\":\"f\",\"records\":1,\"bytes\":2,\"crc32\":\"0x1\","
                             "\"device\":\"d\",\"serial\":\"s\",\"outcome\":\"exploded\",\"seconds\":1}"})
    EXPECT_FALSE(ParseLogLine(broken)) << broken;
}

TEST(DownloadLog, ManyWritersAtOnceNeverMixWithinALine) {
  testing::TempDir dir;
  const std::string path = (dir.path() / "state/tabrelium/downloads.log").string();
  // Long names, so that a line split into several writes would show.
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w)
    writers.emplace_back([&, w] {
      for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(AppendDownloadLog(Entry(std::string(3000, static_cast<char>('a' + w)),
                                            DownloadOutcome::kCompleted),
                                      path)
                        .ok());
    });
  for (auto& t : writers) t.join();
  std::vector<std::string> lines;
  ASSERT_TRUE(ReadDownloadLog(path, lines).ok());
  ASSERT_EQ(lines.size(), 200u);
  for (const std::string& line : lines) {
    const auto e = ParseLogLine(line);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->dataFile, std::string(3000, e->dataFile[0]));
  }
  // A log that does not exist yet is empty; one that cannot be made says where.
  EXPECT_TRUE(ReadDownloadLog((dir.path() / "none.log").string(), lines).ok());
  EXPECT_TRUE(lines.empty());
  const Status blocked = AppendDownloadLog(Entry("x", DownloadOutcome::kStopped),
                                           path + "/under-a-file/downloads.log");
  EXPECT_FALSE(blocked.ok());
  EXPECT_NE(blocked.message().find(path), std::string::npos) << blocked.message();
}

TEST(DownloadLog, ItsPlaceFollowsTheStateHome) {
  const char* savedState = std::getenv("XDG_STATE_HOME");
  const std::string saved = savedState ? savedState : "";
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("XDG_STATE_HOME", "/var/state", 1);
  EXPECT_EQ(DownloadLogPath(), "/var/state/tabrelium/downloads.log");
  setenv("XDG_STATE_HOME", "relative", 1);  // not absolute: ignored, as XDG says
  setenv("HOME", "/home/shop", 1);
  EXPECT_EQ(DownloadLogPath(), "/home/shop/.local/state/tabrelium/downloads.log");
  if (savedState)
    setenv("XDG_STATE_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_STATE_HOME");
  setenv("HOME", savedHome.c_str(), 1);
}

TEST(UserTexts, DeviceCounts) {
  EXPECT_EQ(texts::DeviceCountText(0), "No device(未连接设备)");
  EXPECT_EQ(texts::DeviceCountText(1), "1 device(1 台设备)");
  EXPECT_EQ(texts::DeviceCountText(3), "3 devices(3 台设备)");
  EXPECT_EQ(texts::DeviceCountLabelText(1, 1), "1 device(1 台设备), not permitted to open(无权打开)");
  EXPECT_EQ(texts::DeviceCountLabelText(3, 1),
            "3 devices(3 台设备), 1 not permitted to open(1 台无权打开)");
}

}  // namespace
}  // namespace tabrelium
