// tabrelium-cli when its output cannot be written or its input is no file
// to read: the exit status says so, the message gives the reason, and no
// file the user named is lost, replaced by the image, or waited on for ever.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/test_support.h"

namespace tabrelium {
namespace {

namespace fs = std::filesystem;

class CliFailures : public ::testing::Test {
 protected:
  // `command` is a shell command line in which CLI stands for the program,
  // run under `timeout 10` so that a blocking open fails the test instead
  // of hanging it (timeout's status: 124).
  testing::CommandResult Run(const std::string& command) {
    std::string line = command;
    const std::string program = "env XDG_CONFIG_HOME=" + Path("xdg") + " timeout 10 " +
                                std::string(TABRELIUM_CLI_PATH);
    for (size_t at; (at = line.find("CLI")) != std::string::npos;) line.replace(at, 3, program);
    return testing::RunCommand(line, dir_);
  }
  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }
  std::string File(const std::string& name, std::string_view bytes) const {
    return dir_.Write(name, bytes);
  }
  // The folder's names, but the captured stdout and stderr.
  std::string Listing() const {
    std::string names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name != "stdout" && name != "stderr") names += name + " ";
    }
    return names;
  }

  testing::TempDir dir_;
};

bool IsSymlink(const std::string& path) { return fs::is_symlink(fs::symlink_status(path)); }

TEST_F(CliFailures, LostOutputFailsAndRemovesNothing) {
  // An image larger than 512 bytes, which `ulimit -f 1` lets no file reach.
  std::string rows = "code,name\r\n";
  for (int i = 0; i < 100; ++i) rows += std::to_string(i) + ",name" + std::to_string(i) + "\r\n";
  const std::string csv = File("d.csv", rows);
  const std::string old = File("old.img", "old bytes");
  const std::string config = File("c.ini", "#FIELD\r\nF01=code,1,1\r\n");
  fs::create_symlink("/dev/full", Path("full-link"));
  fs::create_symlink(old, Path("old-link"));
  fs::create_symlink(config, Path("config-link"));
  fs::create_hard_link(csv, Path("data-link.csv"));
  const std::string readOnly = File("read-only.img", "old bytes");
  fs::permissions(readOnly, fs::perms::owner_read);
  // Writes past the limit then fail with EFBIG instead of killing the process.
  const std::string tiny = "( trap '' XFSZ; ulimit -f 1; CLI image " + csv + " -o ";

  const std::string noSpace = "cannot write the output: No space left on device";
  struct Case {
    std::string command;
    std::string err;
    std::function<void()> check;  // what must still stand afterwards
    bool needsUnprivileged = false;
  };
  const std::function<void()> none = [] {};
  const auto unchanged = [](const std::string& path, const std::string& bytes) {
    return [=] { EXPECT_EQ(testing::ReadFile(path), bytes) << path; };
  };
  const Case cases[] = {
      {"{ CLI cells " + csv + " >/dev/full; }", noSpace, none},
      {"{ CLI preview " + csv + " >/dev/full; }", noSpace, none},
      {"{ CLI config >/dev/full; }", noSpace, none},
      {"{ CLI config " + csv + " >/dev/full; }", noSpace, none},
      {"{ CLI image " + csv + " -o - >/dev/full; }", noSpace, none},
      {"CLI image " + csv + " -o /dev/full", "cannot write /dev/full: No space left on device",
       [] {
         struct stat info {};
         EXPECT_TRUE(::stat("/dev/full", &info) == 0 && S_ISCHR(info.st_mode));
       }},
      {"CLI image " + csv + " -o " + Path("full-link"), "No space left on device",
       [&] { EXPECT_TRUE(IsSymlink(Path("full-link"))); }},
      {tiny + old + " )", "File too large", unchanged(old, "old bytes")},
      {tiny + Path("old-link") + " )", "File too large",
       [&] {
         EXPECT_TRUE(IsSymlink(Path("old-link")));
         EXPECT_EQ(testing::ReadFile(old), "old bytes");
       }},
      {"CLI image " + csv + " -o " + readOnly, "Permission denied",
       unchanged(readOnly, "old bytes"), true},
      {"CLI image " + csv + " -o " + csv, "is the data file; nothing was written",
       unchanged(csv, rows)},
      {"CLI image " + csv + " -o " + Path("data-link.csv"), "is the data file",
       unchanged(csv, rows)},
      {"CLI image " + csv + " --config " + config + " -o " + Path("config-link"),
       "is the configuration file; nothing was written",
       unchanged(config, "#FIELD\r\nF01=code,1,1\r\n")},
  };
  const std::string listing = Listing();
  for (const Case& c : cases) {
    // Root may write a read-only file; the permission is not tested then.
    if (c.needsUnprivileged && ::geteuid() == 0) continue;
    const testing::CommandResult r = Run(c.command);
    EXPECT_EQ(r.status, 1) << c.command;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.command << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.command;
    c.check();
    // No temporary left behind, nothing removed.
    EXPECT_EQ(Listing(), listing) << c.command;
  }
}

TEST_F(CliFailures, ImageReplacesTheFileALinkNamesAndKeepsItsPermissions) {
  const std::string csv = File("d.csv", "code,name\r\n222,b\r\n1,aa\r\n");
  const std::string target = File("t.img", "old bytes");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("t.img", Path("link.img"));
  testing::CommandResult r = Run("CLI image " + csv + " -o " + Path("new.img"));
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run("CLI image " + csv + " -o " + Path("link.img"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(IsSymlink(Path("link.img")));
  EXPECT_EQ(testing::ReadFile(target), testing::ReadFile(Path("new.img")));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(CliFailures, NoRegularFileIsWaitedOn) {
  const std::string csv = File("d.csv", "code,name\r\n1,a\r\n");
  ASSERT_EQ(::mkfifo(Path("fifo.csv").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(Path("fifo.ini").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", Path("zero.csv"));
  fs::create_directory(Path("folder.csv"));
  struct Case {
    std::string args;
    std::string err;
  };
  const std::string noFile = " is not a regular file ";
  const Case cases[] = {
      {"cells " + Path("fifo.csv"),
       "Invalid data file(无效数据文件)\n" + Path("fifo.csv") + noFile + "(a FIFO)"},
      {"cells " + csv + " --config " + Path("fifo.ini"),
       "cannot read the configuration file " + Path("fifo.ini") + "\n" + Path("fifo.ini") + noFile +
           "(a FIFO)"},
      {"cells " + Path("zero.csv"), Path("zero.csv") + noFile + "(a character device)"},
      {"config --config /dev/zero", "/dev/zero" + noFile + "(a character device)"},
      {"preview " + Path("folder.csv"), Path("folder.csv") + noFile + "(a folder)"},
  };
  for (const Case& c : cases) {
    const testing::CommandResult r = Run("CLI " + c.args);
    EXPECT_EQ(r.status, 1) << c.args;  // 124: it waited until timeout ended it
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.args;
  }
}

}  // namespace
}  // namespace tabrelium
