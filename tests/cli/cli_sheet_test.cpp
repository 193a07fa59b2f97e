// tabrelium-cli on spreadsheets, dBASE tables and Unicode text, written by
// independent writers (libxlsxwriter, shapelib) at test time.
#include <gtest/gtest.h>
#include <shapefil.h>
#include <xlsxwriter.h>

#include <string>

#include "tests/test_support.h"

namespace tabrelium {
namespace {

class CliSheets : public ::testing::Test {
 protected:
  testing::CommandResult Cli(const std::string& args) {
    return testing::RunCommand("env XDG_CONFIG_HOME=" + (dir_.path() / "xdg").string() + " " +
                                   TABRELIUM_CLI_PATH + " " + args,
                               dir_);
  }
  std::string Path(const std::string& name) { return (dir_.path() / name).string(); }
  testing::TempDir dir_;
};

TEST_F(CliSheets, XlsxFirstSheetFromItsFirstValue) {
  const std::string path = Path("Products.XLSX");
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
  worksheet_write_string(sheet, 1, 1, "条码", nullptr);
  worksheet_write_string(sheet, 1, 2, "名称", nullptr);
  worksheet_write_number(sheet, 2, 1, 6901234567890, nullptr);
  worksheet_write_string(sheet, 2, 2, " 矿泉水 ", nullptr);
  worksheet_write_number(sheet, 3, 1, 6901234567891, nullptr);
  worksheet_write_string(sheet, 3, 2, "饼干", nullptr);
  lxw_worksheet* other = workbook_add_worksheet(book, nullptr);
  worksheet_write_string(other, 0, 0, "not this one", nullptr);
  ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);

  const auto r = Cli("cells " + path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "separator=0 start_line=1 lines=3 rows=2 columns=2 widths=13,6\n"
            "6901234567890\t矿泉水\n"
            "6901234567891\t饼干\n");
  EXPECT_EQ(Cli("preview " + path).out, "  1\t条码:6901234567890\n  2\t名称:矿泉水\n\t\n");
}

TEST_F(CliSheets, DbfRecordsInTheirCodePage) {
  const std::string path = Path("stock.dbf");
  DBFHandle dbf = DBFCreateEx(path.c_str(), "LDID/77");  // code page 936
  ASSERT_NE(dbf, nullptr);
  DBFAddField(dbf, "CODE", FTString, 13, 0);
  DBFAddField(dbf, "NAME", FTString, 20, 0);
  DBFWriteStringAttribute(dbf, 0, 0, "6901234567890");
  DBFWriteStringAttribute(dbf, 0, 1, "\xCB\xAE");  // 水 in GBK
  DBFWriteStringAttribute(dbf, 1, 0, "6901234567891");
  DBFWriteStringAttribute(dbf, 1, 1, "gone");
  DBFMarkRecordDeleted(dbf, 1, 1);
  DBFWriteStringAttribute(dbf, 2, 0, "6901234567892");
  DBFWriteStringAttribute(dbf, 2, 1, "tea");
  DBFClose(dbf);

  const auto r = Cli("cells --raw " + path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "separator=0 start_line=1 lines=3 rows=2 columns=2 widths=13,3\n"
            "6901234567890\t\xCB\xAE\n"
            "6901234567892\ttea\n");
}

TEST_F(CliSheets, UnicodeCsvIsReportedAndDamagedSheetsAreInvalid) {
  const std::string csv = dir_.Write("u.csv", "\xEF\xBB\xBF" "code,name\r\n1,水\r\n2,😀\r\n");
  auto r = Cli("cells " + csv);
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("encoding: UTF-8 with BOM, converted to GBK"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("1 character(s) have no GBK form"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("2\t?\n"), std::string::npos) << r.out;

  for (const char* name : {"broken.xlsx", "broken.xls", "broken.dbf"}) {
    r = Cli("cells " + dir_.Write(name, "this is no spreadsheet at all"));
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.err.rfind("tabrelium-cli: Invalid data file(无效数据文件)\n", 0), 0u) << r.err;
    EXPECT_GT(r.err.size(), std::string("tabrelium-cli: Invalid data file(无效数据文件)\n").size() + 5)
        << name << ": no reason given";
  }
}

}  // namespace
}  // namespace tabrelium
