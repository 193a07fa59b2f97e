// The configuration file: what the reader makes of hand-edited files, the
// writer's exact bytes, save/load round trips and the atomic save.
#include "config/config_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>

#include "common/file_replace.h"
#include "config/config_line_reader.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

using testing::ReadFile;
using testing::TempDir;

const std::string kBarcode = "\xCC\xF5\xC2\xEB";  // 条码
const std::string kName = "\xC3\xFB\xB3\xC6";     // 名称
const std::string kDefaultFields = " " + kBarcode + "/1/1 " + kName + "/2/2";

FieldTable Parse(std::string_view bytes) {
  FieldTable table;
  ParseFieldConfig(bytes, table);
  return table;
}

// Everything the reader decides, on one line: start line, separator index,
// custom separator, then each field as name/column/lines.
std::string Summary(const FieldTable& t) {
  std::string s = std::to_string(t.startLine) + " " + std::to_string(t.separatorIndex);
  if (t.separatorCount > 7) {
    char code[8];
    std::snprintf(code, sizeof code, " 0x%02X=", t.separators[7].code);
    s += code + std::string(t.separators[7].name);
  }
  for (int32_t i = 0; i < t.fieldCount; ++i) {
    const FieldSpec& f = t.fields[i];
    s += " " + std::string(f.displayName) + "/" + std::to_string(f.extractColn) + "/" +
         std::to_string(f.displayRows);
  }
  return s;
}

std::string EmptyFieldLines(int from) {
  std::string out;
  for (int n = from; n <= 32; ++n) out += (n < 10 ? "F0" : "F") + std::to_string(n) + "=\r\n";
  return out;
}

TEST(ConfigFile, ReadsHandEditedFilesLikeTheWindow) {
  const std::string d = "1 0" + kDefaultFields, pad52(52, ' '), gbk6 = kName + kName + kName;
  const std::pair<std::string, std::string> cases[] = {
      {"", d},
      {"F01=a,1,1\r\nSTARTLINE=5\r\n", d},  // no section header
      {"#FIELD", d},
      // A file saved with LF alone, or CR alone, reads like its CR LF twin.
      {"#EXT\nSTARTLINE=5\n#FIELD\nF01=a,1,1\n", "5 0 a/1/1"},
      {"#EXT\rSTARTLINE=5\r#FIELD\rF01=a,1,1", "5 0 a/1/1"},
      // In a CR LF file only CR ends a line, and the byte after it is
      // skipped; LF is ordinary.
      {"#EXT\r\nSTARTLINE=5\rXSTARTLINE=6", "6 0" + kDefaultFields},
      {"#EXT\r\nSTARTLINE=5\n#FIELD\r\nF01=a,1,1", "5 0" + kDefaultFields},
      {std::string("#FIELD\r\nF01=a\0,1,1", 18), d},  // text ends at a NUL
      // Lines keep 63 bytes: the second one loses its "5".
      {"#EXT\r\n" + pad52 + "STARTLINE=5", "5 0" + kDefaultFields},
      {"#EXT\r\n " + pad52 + "STARTLINE=5", "0 0" + kDefaultFields},
      // Comments, blanks, and "# " which is too short to end a section.
      {"// F01=x,1,1\r\n#FIELD // f\r\n# \r\n\t F01=a,2,1 // n \r\nF02=b//c,1,1", "1 0 a/2/1"},
      // F01＝名称，2，1; then ． and ～ in a name.
      {"#FIELD\r\nF01\xA3\xBD" + kName + "\xA3\xAC" "2\xA3\xAC" "1\r\nF02=a\xA3\xAE" "b\xA1\xAB,1,1",
       "1 0 " + kName + "/2/1 a.b~/1/1"},
      // 埃珸 holds A3 AC across two characters: no full-width comma there.
      {"#FIELD\r\nF01=\xB0\xA3\xAC\x40,1,1", "1 0 \xB0\xA3\xAC\x40/1/1"},
      // F lines run F01, F02, ... with three pieces each, or the section ends.
      {"#FIELD\r\nF02=x,1,1\r\nF01=a,1,1", d},
      {"#FIELD\r\nF01=a,1,1\r\nF03=b,2,2\r\nF02=b,1,1", "1 0 a/1/1"},
      {"#FIELD\r\nF01=a,1,", d},
      {"#FIELD\r\nF01=a,1,1\r\nF02=b,1\r\nF02=c,1,1", "1 0 a/1/1"},
      {"#FIELD\r\nF01=a,1,1\r\nF02=b,1,1,1\r\nF02=c,1,1", "1 0 a/1/1"},
      {"#FIELD\r\nF01=a,1,1\r\nF02=\r\nF03=c,1,1", "1 0 a/1/1"},
      {"#FIELD\r\nF01=a,1,1\r\n#OTHER\r\nF02=b,1,1", "1 0 a/1/1"},
      {"#FIELD\r\nF00=x,1,1\r\nF33=x,1,1\r\nX01=x\r\nno equals\r\nF1=a=b,,1\r\nF002=c,1,1",
       "1 0 a=b/0/1 c/1/1"},
      {"#FIELD\r\nF257=a,1,1", "1 0 a/1/1"},  // the slot is kept as 8 bits
      // Names: quotes, then 10 bytes, never half a character; numbers: 5 bytes, low 8 bits.
      {"#FIELD\r\nF01=\"abc\",258,-1\r\nF02=ABCDEFGHIJKL,000003, 7\r\nF03=\"ABCDEFGHIJKLMNOP\",1,1",
       "1 0 abc/2/255 ABCDEFGHIJ/0/7 \"ABCDEFGHI/1/1"},
      {"#FIELD\r\nF01=a" + gbk6 + ",1,1", "1 0 a" + kName + kName + "/1/1"},
      // The 16-byte cap drops the straddling character, so the quotes enclose.
      {"#FIELD\r\nF01=\"ABCDEFGHIJKLM\"" + gbk6 + ",1,1", "1 0 ABCDEFGHIJ/1/1"},
      // Sections in any order; only the first custom separator counts.
      {"#FIELD\r\nF01=a,3,4\r\n#EXT\r\nSTARTLINE=7\r\n#SEPARATOR\r\nINDEX=300\r\n"
       "0x3B=semi // n\r\n0x7C=x",
       "7 44 0x3B=semi a/3/4"},
      {"#SEPARATOR\r\n0x7c=\"bar\"\r\nINDEX=3", "1 0 0x7C=bar" + kDefaultFields},
      {"#SEPARATOR\r\n0xG1=" + std::string(20, 'n') + kName, "1 0 0x01=" + std::string(20, 'n') +
       kDefaultFields},
      {"#SEPARATOR\r\n0x5=a\r\n", "1 0 0x50=a" + kDefaultFields},
      {"#SEPARATOR\r\nINDEX=9", "1 9" + kDefaultFields},  // kept as read
      // atoi: blanks and sign, then digits; wraps modulo 2^32.
      {"#EXT\r\nSTARTLINE= \t-12abc", "-12 0" + kDefaultFields},
      {"#EXT\r\nSTARTLINE=- 7", "0 0" + kDefaultFields},
      {"#EXT\r\nSTARTLINE=2147483648", "-2147483648 0" + kDefaultFields},
      {"#EXT\r\nSTARTLINE=99999999999999999999", "1661992959 0" + kDefaultFields},
  };
  for (const auto& [file, table] : cases) EXPECT_EQ(Summary(Parse(file)), table) << file;
}

TEST(ConfigFile, ReaderCutsLinesAndValuesAtTheirBuffers) {
  size_t pos = 0;
  std::string_view line;
  const std::string file = std::string(62, 'a') + kName + "\r\nnext";
  ASSERT_TRUE(ReadConfigLine(file, pos, line));
  EXPECT_EQ(line, std::string(62, 'a') + "\xC3");  // a plain byte cut
  ASSERT_TRUE(ReadConfigLine(file, pos, line));
  EXPECT_EQ(line, "next");
  EXPECT_EQ(SplitKeyValue("k=" + std::string(30, 'v') + kName)->value, std::string(30, 'v'));
  // A line of megabytes without a CR costs one pass.
  EXPECT_EQ(Summary(Parse("#FIELD\r\nF01=a,1,1\r\n" + std::string(8 << 20, 'z'))), "1 0 a/1/1");
}

TEST(ConfigFile, WriterBytes) {
  FieldTable t = MakeDefaultFieldTable();
  EXPECT_EQ(FormatFieldConfig(t), "#EXT\r\nSTARTLINE=1\r\n#SEPARATOR\r\nINDEX=0\r\n#FIELD\r\nF01=" +
                                      kBarcode + ",1,1\r\nF02=" + kName + ",2,2\r\n" +
                                      EmptyFieldLines(3));
  EXPECT_EQ(std::string(t.separators[6].name), "Space(\xBF\xD5\xB8\xF1)");
  t.startLine = -3;
  t.separatorIndex = 200;
  t.separatorCount = 8;
  t.separators[7] = {0x0A, "semi"};
  t.fieldCount = 1;
  t.fields[0] = {"n", 200, 255};
  EXPECT_EQ(FormatFieldConfig(t), "#EXT\r\nSTARTLINE=-3\r\n#SEPARATOR\r\nINDEX=200\r\n0x0A=semi\r\n"
                                  "#FIELD\r\nF01=n,200,255\r\n" + EmptyFieldLines(2));
}

TEST(ConfigFile, SaveThenLoadReproducesTheTable) {
  FieldTable saved = MakeDefaultFieldTable();
  saved.startLine = -42;
  saved.separatorIndex = 6;
  saved.separatorCount = 8;
  saved.separators[7].code = 0xA3;
  CopyFieldText(saved.separators[7].name, 21, " bar=" + kName + "\"");
  saved.fieldCount = 32;
  for (int i = 0; i < 32; ++i) {  // blanks around names, '=', one quote, empty names
    saved.fields[i] = {{}, static_cast<uint8_t>(i * 8), static_cast<uint8_t>(255 - i)};
    const std::string name = i % 3 == 0 ? " x" + std::to_string(i) + "\t " : i % 3 == 1 ? kName + "=\"" : "";
    CopyFieldText(saved.fields[i].displayName, 10, name);
  }
  TempDir dir;
  const std::string path = (dir.path() / "new" / "folder" / "c.ini").string();
  ASSERT_TRUE(SaveFieldConfig(path, saved).ok());
  FieldTable loaded;
  ASSERT_TRUE(LoadFieldConfig(path, loaded));
  EXPECT_EQ(Summary(loaded), Summary(saved));
  EXPECT_EQ(ReadFile(path), FormatFieldConfig(saved));

  // A comma in a name is written as is and ends the section on the next load.
  CopyFieldText(saved.fields[1].displayName, 10, "b,c");
  ASSERT_TRUE(SaveFieldConfig(path, saved).ok());
  ASSERT_TRUE(LoadFieldConfig(path, loaded));
  EXPECT_EQ(loaded.fieldCount, 1);

  EXPECT_FALSE(LoadFieldConfig(path + ".missing", loaded));
  EXPECT_EQ(Summary(loaded), "1 0" + kDefaultFields);
  EXPECT_FALSE(LoadFieldConfig(dir.path().string(), loaded));  // a folder
}

TEST(ConfigFile, FailedSaveLeavesTheOldFileWhole) {
  TempDir dir;
  const std::string path = dir.Write("c.ini", "old bytes");
  // The write fails part-way: files may not grow beyond 16 bytes.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tiny = saved;
  tiny.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const bool ok = SaveFieldConfig(path, MakeDefaultFieldTable()).ok();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadFile(path), "old bytes");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temp left

  EXPECT_FALSE(SaveFieldConfig(path + "/under-a-file.ini", MakeDefaultFieldTable()).ok());
  // A good save replaces the file and keeps its permissions.
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ASSERT_TRUE(SaveFieldConfig(path, MakeDefaultFieldTable()).ok());
  EXPECT_EQ(ReadFile(path), FormatFieldConfig(MakeDefaultFieldTable()));
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write);
}

// Saves through links update the file linked to; a temporary a killed
// save left behind goes; a folder that takes no new file still gets its
// file rewritten, after a backup.
TEST(ConfigFile, SaveThroughLinksLeftoversAndLockedFolders) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string bytes = FormatFieldConfig(MakeDefaultFieldTable());
  const std::string real = dir.Write("real.ini", "old");
  fs::create_symlink("real.ini", dir.path() / "link.ini");
  fs::create_symlink(dir.path() / "later.ini", dir.path() / "dangling.ini");
  for (const char* link : {"link.ini", "dangling.ini"}) {
    ASSERT_TRUE(SaveFieldConfig((dir.path() / link).string(), MakeDefaultFieldTable()).ok()) << link;
    EXPECT_TRUE(fs::is_symlink(dir.path() / link)) << link;
    EXPECT_EQ(ReadFile((dir.path() / link).string()), bytes) << link;
  }
  EXPECT_EQ(ReadFile(real), bytes);

  // A temporary of a process that is gone; one of a live process stays.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  const std::string stale = dir.Write(".real.ini.tmp-" + std::to_string(child) + "-0", "x");
  const std::string live = dir.Write(".real.ini.tmp-1-0", "x");
  ASSERT_TRUE(SaveFieldConfig(real, MakeDefaultFieldTable()).ok());
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(live));

  // The in-place rewrite a locked folder falls back to.
  const std::string locked = dir.Write("locked.ini", std::string(500, 'o'));
  ASSERT_TRUE(RewriteFileInPlace(locked, bytes).ok());
  EXPECT_EQ(ReadFile(locked), bytes);
  if (geteuid() != 0) {  // root writes into any folder
    setenv("XDG_CACHE_HOME", (dir.path() / "cache").c_str(), 1);
    const fs::path folder = dir.path() / "ro";
    fs::create_directory(folder);
    const std::string file = dir.Write("ro/c.ini", "old");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const Status saved = SaveFieldConfig(file, MakeDefaultFieldTable());
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(saved.ok()) << saved.message();
    EXPECT_EQ(ReadFile(file), bytes);
    EXPECT_EQ(ReadFile((dir.path() / "cache" / "tabrelium" / "c.ini.bak").string()), "old");
    unsetenv("XDG_CACHE_HOME");
  }
}

TEST(ConfigFile, DefaultPathFollowsXdg) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const bool hadXdg = xdg != nullptr, hadHome = home != nullptr;
  const std::string keptXdg = xdg ? xdg : "", keptHome = home ? home : "";
  setenv("HOME", "/home/u", 1);
  setenv("XDG_CONFIG_HOME", "/cfg/", 1);
  EXPECT_EQ(DefaultConfigPath(), "/cfg/tabrelium/tools_config_v1.31.ini");
  for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
    unusable ? setenv("XDG_CONFIG_HOME", unusable, 1) : unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultConfigPath(), "/home/u/.config/tabrelium/tools_config_v1.31.ini");
  }
  hadXdg ? setenv("XDG_CONFIG_HOME", keptXdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
  hadHome ? setenv("HOME", keptHome.c_str(), 1) : unsetenv("HOME");
}

TEST(ConfigFile, GarbageKeepsTheTableInsideItsLimits) {
  std::mt19937 random(7);
  const std::string alphabet = std::string("#F0123,=\"/ \t\r\n\0x", 16) + "\xA3\xAC\xC3\xFB";
  for (int round = 0; round < 300; ++round) {
    std::string bytes(random() % 400, '\0');
    for (char& c : bytes) c = alphabet[random() % alphabet.size()];
    const FieldTable t = Parse("#FIELD\r\n" + bytes);
    ASSERT_TRUE(t.fieldCount >= 1 && t.fieldCount <= 32 && t.separatorCount <= 8);
    for (const FieldSpec& f : t.fields) ASSERT_LT(strnlen(f.displayName, 11), 11u);
    ASSERT_LT(strnlen(t.separators[7].name, 22), 22u);
  }
}

}  // namespace
}  // namespace tabrelium
