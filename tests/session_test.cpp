// The session both front ends run: loading by extension, what a failed load
// leaves, the choices that cut again, and the fields, the image and the
// package it builds.
#include "data/session.h"

#include <array>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace tabrelium {
namespace {

constexpr std::string_view kInvalid = "Invalid data file(无效数据文件)";

TEST(Session, LoadsByExtensionAndKeepsTheDataWhenAFileCannotBeRead) {
  testing::TempDir dir;
  Session session;
  ASSERT_TRUE(session.LoadDataFile(dir.Write("a.CSV", "h1,h2\r\n1,x\r\n2,y\r\n")).ok());
  EXPECT_FALSE(session.FromSpreadsheet());
  EXPECT_EQ(session.Fields().separatorIndex, 1);  // the comma, detected
  EXPECT_EQ(session.Cells().rowCount, 2);

  const std::string damaged = dir.Write("b.xlsx", "not a zip");
  for (const std::string& path :
       {dir.Write("a.dat", "h1,h2\r\n"), (dir.path() / "missing.txt").string(), damaged}) {
    const Status failed = session.LoadDataFile(path);
    EXPECT_EQ(failed.code(), Status::Code::kFailed) << path;
    if (path == damaged)
      EXPECT_EQ(failed.message().rfind(std::string(kInvalid) + "\nnot an XLSX", 0), 0u)
          << failed.message();
    else if (path.ends_with(".dat"))  // the types that are read are named
      EXPECT_EQ(failed.message().rfind(std::string(kInvalid) + "\nFiles of type .dat are not read", 0),
                0u)
          << failed.message();
    else
      EXPECT_EQ(failed.message(), kInvalid) << path;
    EXPECT_EQ(session.Cells().rowCount, 2) << path;
  }
}

// A NUL byte ends the data; what it leaves out is told, never silent.
TEST(Session, ANulByteThatEndsTheDataIsTold) {
  struct Case {
    std::string text;
    std::string told;
  };
  const Case cases[] = {
      {std::string("h,x\r\na,b\r\nc\0d,e\r\nf,g\r\nh,i\r\n", 23),
       "A NUL byte in line 3 ends the data: the rest of that line and the 2 line(s) after it"},
      {std::string("h,x\na,b\nc\0d\nf,g", 16),
       "A NUL byte in line 3 ends the data: the rest of that line and the 1 line(s) after it"},
      {std::string("h,x\r\na,b\r\n\0", 11),
       "A NUL byte in line 3 ends the data: the rest of that line and the 0 line(s) after it"},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    Session session;
    ASSERT_TRUE(session.LoadDataFile(dir.Write("n.csv", c.text)).ok());
    const std::vector<std::string> losses = session.LossTexts();
    ASSERT_EQ(losses.size(), 1u) << c.told;
    EXPECT_EQ(losses[0].rfind(c.told, 0), 0u) << losses[0];
  }
}

TEST(Session, ChoicesCutAgainOnlyWhenTheyChangeSomething) {
  Session session;
  ASSERT_TRUE(session.LoadText("h1,h2\r\na,b\r\nc,d\r\n").ok());
  EXPECT_FALSE(session.ChooseSeparator(session.Fields().separatorIndex));
  EXPECT_FALSE(session.ChooseSeparator(session.Fields().separatorCount));
  EXPECT_TRUE(session.ChooseSeparator(0));  // TAB: one column
  EXPECT_EQ(session.Cells().columnCount, 1);

  EXPECT_FALSE(session.ChooseStartLine(-1));
  EXPECT_FALSE(session.ChooseStartLine(session.Fields().startLine));
  EXPECT_FALSE(session.StartLineLowered());
  EXPECT_TRUE(session.ChooseStartLine(8));
  EXPECT_TRUE(session.StartLineLowered());
  EXPECT_EQ(session.StartLineInForce(), 2);  // the last of three lines
  EXPECT_EQ(session.Fields().startLine, 8);  // the user's, kept
  EXPECT_EQ(session.Cells().rowCount, 1);
  EXPECT_FALSE(session.ChooseStartLine(8));
  EXPECT_FALSE(session.ChooseStartLine(2));  // the same cut, now the user's own start line
  EXPECT_EQ(session.Fields().startLine, 2);
}

// A short file lowers the start line for itself only: the next file is cut
// from the user's start line, and that is what is saved.
TEST(Session, AShortFileLowersTheStartLineForItselfOnly) {
  Session session;
  ASSERT_TRUE(session.LoadText("only,line\r\n").ok());
  EXPECT_TRUE(session.StartLineLowered());
  EXPECT_EQ(session.StartLineInForce(), 0);
  EXPECT_EQ(session.Fields().startLine, 1);
  ASSERT_TRUE(session.LoadText("h1,h2\r\na,b\r\nc,d\r\n").ok());
  EXPECT_FALSE(session.StartLineLowered());
  EXPECT_EQ(session.StartLineInForce(), 1);
  EXPECT_EQ(session.Cells().rowCount, 2);  // the heading is no record
  ASSERT_TRUE(session.ChooseSeparator(0));  // a recut keeps the start line in force
  EXPECT_EQ(session.Cells().rowCount, 2);
}

TEST(Session, AConfigurationErrorSaysWhichRowAndWhy) {
  Session session;
  ASSERT_TRUE(session.LoadText("h1,h2,h3\r\na,b,c\r\nd,e,f\r\n").ok());
  ASSERT_EQ(session.Cells().columnCount, 3);
  struct Case {
    const char* name;
    std::array<const char*, 3> row3;  // name, column, rows of grid row 3
    std::string second;
  } cases[] = {
      {"column", {"c", "9", "1"}, "row 3: column 9, but the file has 3 column(s); "},
      {"rows", {"c", "1", "11"}, "row 3: 11 display rows; a field shows on 1 to 10 rows("},
  };
  for (const Case& c : cases) {
    FieldGridTexts grid = session.GridTexts();  // rows 1 and 2 hold the default fields
    grid[2] = {c.row3[0], c.row3[1], c.row3[2]};
    const std::string message = session.ApplyGridTexts(grid).message();
    EXPECT_EQ(message.rfind("Configuration error(请检查配置信息)\n" + c.second, 0), 0u)
        << c.name << ": " << message;
  }
  FieldGridTexts none;
  EXPECT_EQ(session.ApplyGridTexts(none).message().rfind(
                "Configuration error(请检查配置信息)\nNo row of the grid has a display name", 0),
            0u);
  // A row without a name is dropped: the misfit is told by the row it is in.
  FieldGridTexts gap;
  gap[4] = {"x", "7", "1"};
  EXPECT_NE(session.ApplyGridTexts(gap).message().find("row 5: column 7"), std::string::npos);
}

TEST(Session, FieldsThatDoNotFitBuildNothingAndFittingOnesBuildThePackage) {
  Session session;
  ASSERT_TRUE(session.LoadText("code,name\r\n2," + std::string(70, 'n') + "\r\n1,b\r\n").ok());
  ASSERT_EQ(session.LossTexts().size(), 1u);
  EXPECT_NE(session.LossTexts()[0].find("1 cell(s) longer than 63 bytes were cut"),
            std::string::npos);

  FieldGridTexts grid = session.GridTexts();
  grid[1].extractColn = "3";  // beyond the two columns
  const Status misfit = session.ApplyGridTexts(grid);
  EXPECT_EQ(misfit.message().rfind("Configuration error(请检查配置信息)\nrow 2: column 3,", 0), 0u)
      << misfit.message();
  EXPECT_EQ(session.BuildImageForDownload().message(), misfit.message());
  EXPECT_EQ(session.Image().imageSize, 0);

  grid[1].extractColn = "2";
  ASSERT_TRUE(session.ApplyGridTexts(grid).ok());
  ASSERT_TRUE(session.BuildImageForDownload().ok());
  session.BuildPackage();
  EXPECT_EQ(session.Package().DataLength(), static_cast<uint32_t>(session.Image().imageSize));
  EXPECT_EQ(GetRecordCount(session.Image().bytes), 2u);
  EXPECT_EQ(session.DescribeRecord(2)[0].text, "\xCC\xF5\xC2\xEB:1");  // 条码:1, as loaded
}

}  // namespace
}  // namespace tabrelium
