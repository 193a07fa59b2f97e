// The field table's checks and the configuration grid's read-back.
#include "config/field_grid_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace tabrelium {
namespace {

const std::string kName = "\xC3\xFB\xB3\xC6";  // 名称

std::string Fields(const FieldTable& t) {
  std::string s;
  for (int32_t i = 0; i < t.fieldCount; ++i) {
    const FieldSpec& f = t.fields[i];
    s += std::string(i ? " " : "") + f.displayName + "/" + std::to_string(f.extractColn) + "/" +
         std::to_string(f.displayRows);
  }
  return s;
}

TEST(FieldGridTexts, ReadBackDropsEmptyNamesAndTrims) {
  FieldTable t = MakeDefaultFieldTable();
  FieldGridTexts rows;
  rows[0] = {" \t ", "3", "3"};           // only white space: dropped
  rows[3] = {" a ", "", ""};              // empty texts count as 0 and 1
  rows[5] = {"b", " 257 ", "-1"};         // low 8 bits
  rows[9] = {"a" + kName + kName + "\xC3\xFB", "1", "1"};  // 名 would straddle byte 10
  rows[31] = {" ABCDEFGHIJK", "1", "1"};  // cut to 10 bytes before trimming
  ReadFieldsFromGridTexts(rows, t);
  EXPECT_EQ(Fields(t), "a/0/1 b/1/255 a" + kName + kName + "/1/1 ABCDEFGHI/1/1");
}

TEST(FieldGridTexts, RoundTripKeepsTheFields) {
  FieldTable t = MakeDefaultFieldTable();
  t.fieldCount = 3;
  t.fields[2] = {" c ", 200, 10};
  EXPECT_EQ(FillGridFromFields(t)[2].extractColn, "200");
  RoundTripThroughGrid(t);
  EXPECT_EQ(Fields(t), "\xCC\xF5\xC2\xEB/1/1 " + kName + "/2/2 c/200/10");
}

TEST(FieldTable, ValidityCheck) {
  // extractColn, displayRows, the cell table's column count, valid
  const std::tuple<uint8_t, uint8_t, int32_t, bool> cases[] = {
      {0, 1, 0, true},  {3, 10, 3, true},  {4, 1, 3, false},
      {0, 0, 3, false}, {0, 11, 3, false}, {200, 1, -1, false},
  };
  FieldTable t = MakeDefaultFieldTable();
  t.fieldCount = 1;
  t.fields[1].displayRows = 0;  // unused slots do not count
  for (const auto& [column, lines, columnCount, valid] : cases) {
    t.fields[0].extractColn = column;
    t.fields[0].displayRows = lines;
    EXPECT_EQ(IsFieldConfigValid(t, columnCount), valid) << int{column} << " " << int{lines};
  }
  t.fieldCount = 0;
  EXPECT_FALSE(IsFieldConfigValid(t, 3));
}

TEST(FieldTable, SelectedSeparatorStaysInsideTheTable) {
  FieldTable t = MakeDefaultFieldTable();
  t.separators[7].code = ';';
  for (uint8_t index : {7, 255}) {  // no custom separator loaded, or far beyond
    t.separatorIndex = index;
    EXPECT_EQ(SelectedSeparator(t).code, '\t');
  }
  t.separatorIndex = 7;
  t.separatorCount = 8;
  EXPECT_EQ(SelectedSeparator(t).code, ';');
}

}  // namespace
}  // namespace tabrelium
