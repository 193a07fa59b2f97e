// tabrelium-cli as a process: its output formats, exit statuses and
// messages; and the terminal escaping it uses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cli/escape.h"
#include "config/config_file.h"
#include "config/field_table.h"
#include "device/download_package.h"
#include "common/gbk_utf8.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

using testing::ReadFile;
using testing::TempDir;

using CliRun = testing::CommandResult;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never read the developer's own configuration.
    setenv("XDG_CONFIG_HOME", (dir_.path() / "xdg").c_str(), 1);
  }

  CliRun Cli(const std::string& args) {
    return testing::RunCommand(std::string(TABRELIUM_CLI_PATH) + " " + args, dir_);
  }

  std::string File(const std::string& name, std::string_view bytes) {
    return dir_.Write(name, bytes);
  }

  TempDir dir_;
};

TEST_F(CliTest, CellsSummaryAndEscapedUtf8Rows) {
  const auto csv = File("d.csv", "h1,h2,h3\r\n1,\xD6\xD0\xCE\xC4,a\\b\r\n2,\xFF,x\ty\r\n");
  CliRun r = Cli("cells " + csv);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "separator=1 start_line=1 lines=3 rows=2 columns=3 widths=1,4,3\n"
            "1\t中文\ta\\\\b\n"
            "2\t\xEF\xBF\xBD\tx\\ty\n");
  r = Cli("cells --raw " + csv);
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1, 7), "1\t\xD6\xD0\xCE\xC4\t");
}

TEST_F(CliTest, ComboChoicesApplyInOrder) {
  const auto csv = File("d.csv", "h1;h2;h3,x\r\na;b,c\r\nd;e,f\r\n");
  auto summary = [&](const std::string& options) {
    CliRun r = Cli("cells " + csv + " " + options);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.substr(0, r.out.find('\n'));
  };
  EXPECT_EQ(summary(""), "separator=1 start_line=1 lines=3 rows=2 columns=2 widths=3,1");
  // The recount reads the line before the first data line at that moment.
  EXPECT_EQ(summary("--start-line 2 --separator 3"),
            "separator=3 start_line=2 lines=3 rows=1 columns=2 widths=1,3");
  EXPECT_EQ(summary("--separator 3 --start-line 2"),
            "separator=3 start_line=2 lines=3 rows=1 columns=3 widths=1,3,0");
  EXPECT_EQ(summary("--start-line 7"), "separator=1 start_line=2 lines=3 rows=1 columns=2 widths=3,1");
  EXPECT_EQ(summary("--separator 1"), summary(""));
}

TEST_F(CliTest, PreviewShowsTheDisplayLines) {
  const auto csv = File("d.csv", Utf8ToGbk("code,name\r\n6901234567890,农夫山泉天然矿泉水\r\n"
                                           "6901234567891,水\r\n"));
  CliRun r = Cli("preview " + csv);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "  1\t条码:6901234567890\n"
            "  2\t名称:农夫山泉天然矿\n"
            "\t泉水\n");
  r = Cli("preview " + csv + " --row 2");
  EXPECT_EQ(r.out, "  1\t条码:6901234567891\n  2\t名称:水\n\t\n");
  r = Cli("preview " + csv + " --row 3");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("record 3"), std::string::npos) << r.err;
}

TEST_F(CliTest, ImageAndPackage) {
  const auto csv = File("d.csv", "code,name\r\n222,b\r\n1,aa\r\n,\r\n");
  const auto img = (dir_.path() / "t.img").string();
  CliRun r = Cli("image " + csv + " -o " + img);
  ASSERT_EQ(r.status, 0) << r.err;
  // Two fields: header 97 bytes; records 1 + 3 + 2 = 6 bytes; the empty row dropped.
  EXPECT_EQ(r.out, "records=2 size=109 kb=1\n");
  const std::string image = ReadFile(img);
  ASSERT_EQ(image.size(), 109u);
  EXPECT_EQ(image.substr(97), " 1  aa 222b ");

  const auto pkg = (dir_.path() / "t.pkg").string();
  r = Cli("image --package " + csv + " -o " + pkg);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string package = ReadFile(pkg);
  ASSERT_EQ(package.size(), 8 + image.size());
  DownloadPackage expected;
  BuildDownloadPackage(std::span(reinterpret_cast<const uint8_t*>(package.data() + 8), image.size()),
                       expected);
  EXPECT_EQ(package.substr(0, 8), std::string(expected.bytes.begin(), expected.bytes.begin() + 8));
  EXPECT_EQ(package.substr(8, 97), image.substr(0, 97));  // same build, same date
}

TEST_F(CliTest, ImageOverSixteenMebibytesIsRefused) {
  std::string data = "k,v\r\n";
  const std::string value(60, 'v');
  for (int i = 0; i < 250000; ++i) data += std::to_string(1000000 + i) + "," + value + "\r\n";
  const auto csv = File("big.csv", data);
  const auto img = (dir_.path() / "big.img").string();
  CliRun r = Cli("image " + csv + " -o " + img);
  EXPECT_EQ(r.status, 1);
  // The table's size, how much fits, and what to do, under the old words.
  EXPECT_EQ(r.err.rfind("tabrelium-cli: Generate data files larger than 16M(生成数据文件大于16M)\n"
                        "The table of 250000 records is ",
                        0),
            0u)
      << r.err;
  EXPECT_NE(r.err.find("the device takes 16777216 bytes, about "), std::string::npos) << r.err;
}

TEST_F(CliTest, ConfigPrintsWhatTheWindowWouldSave) {
  CliRun r = Cli("config");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, FormatFieldConfig(MakeDefaultFieldTable()));
  const auto csv = File("d.csv", "a;b;c\r\n1;2;3\r\n4;5;6\r\n");
  r = Cli("config " + csv);
  EXPECT_NE(r.out.find("INDEX=3\r\n"), std::string::npos);  // detection chose ';'
}

TEST_F(CliTest, FailuresAndTheirStatuses) {
  const auto csv = File("d.csv", "a,b\r\n1,2\r\n3,4\r\n");
  struct Case {
    std::string args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"cells " + File("d.dat", "a,b\r\n"), 1,
       "Invalid data file(无效数据文件)\nFiles of type .dat are not read; the data file must be "
       "txt, csv, xls, xlsx, ods or dbf("},
      {"cells " + File("empty.txt", ""), 1, "Invalid data file(无效数据文件)"},
      {"cells " + (dir_.path() / "missing.csv").string(), 1, "Invalid data file(无效数据文件)"},
      {"preview " + csv + " --config " + File("c.ini", "#FIELD\r\nF01=x,5,1\r\n"), 1,
       "Configuration error(请检查配置信息)\nrow 1: column 5, but the file has 2 column(s); "},
      {"cells " + csv + " --config " + (dir_.path() / "none.ini").string(), 1, "none.ini"},
      {"frobnicate", 2, "unknown command"},
      {"image " + csv, 2, "-o OUT"},
      {"cells " + csv + " --separator 7", 2, "not in the separator list"},
      {"cells " + csv + " --start-line -1", 2, "--start-line"},
      {"cells", 2, "needs a data file"},
      {"devices " + csv, 2, "devices takes no data file"},
      {"download " + csv + " --all --device /dev/hidraw0", 2, "exclude each other"},
      {"preview " + csv + " --all", 2, "go with download only"},
      {"download " + csv + " --device", 2, "--device needs a value"},
  };
  for (const Case& c : cases) {
    CliRun r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.args;
  }
}

TEST_F(CliTest, WarnsAboutCutCells) {
  const auto csv = File("d.csv", "a,b\r\n" + std::string(70, 'x') + ",1\r\n");
  CliRun r = Cli("cells " + csv);
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("1 cell(s) longer than 63 bytes were cut, the first at row 1, column 1"),
            std::string::npos)
      << r.err;
}

TEST_F(CliTest, HelpForEveryCommand) {
  for (std::string command : {"cells", "preview", "image", "config", "download", "devices", "log"}) {
    CliRun r = Cli(command + " --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: tabrelium-cli " + command, 0), 0u) << r.out;
  }
  EXPECT_NE(Cli("help").out.find("Commands:"), std::string::npos);
  EXPECT_EQ(Cli("--version").out, "tabrelium-cli " TABRELIUM_VERSION "\n");
}

TEST(Escape, ControlBytesBackslashesAndPairs) {
  std::string out;
  cli::AppendEscaped(std::string("a\\\t\r\n\x01\x7F\x1F", 8), true, out);
  EXPECT_EQ(out, "a\\\\\\t\\r\\n\\x01\\x7f\\x1f");
  out.clear();
  cli::AppendEscaped("\x81\x5C\\", true, out);  // the pair's 0x5C is no backslash
  EXPECT_EQ(out, "\x81\x5C\\\\");
  out.clear();
  cli::AppendEscaped("\xD6\xD0\x81\n\xFF", false, out);
  EXPECT_EQ(out, "中\xEF\xBF\xBD\\n\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tabrelium
