// The LCD preview: the 20-byte wrap with its double-byte rule, and the lines
// each field of a record takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/lcd_preview.h"
#include "tests/test_support.h"

namespace tabrelium {
namespace {

using Strings = std::vector<std::string>;

struct Field {
  std::string name;
  uint8_t column, rows;
};

// The preview of `record` of a file of two lines that hold `row`, cut at
// TABs (two, so that TAB is detected as the separator).
std::vector<LcdLine> Preview(const Strings& row, const std::vector<Field>& fields,
                             int32_t record = 1) {
  FieldTable table = MakeDefaultFieldTable();
  table.startLine = 0;
  std::string line = row[0];
  for (size_t i = 1; i < row.size(); ++i) line += "\t" + row[i];
  testing::LoadedText loaded;
  testing::LoadAndCut(line + "\r\n" + line + "\r\n", table, loaded);
  table.fieldCount = static_cast<int32_t>(fields.size());
  for (size_t j = 0; j < fields.size(); ++j) {
    table.fields[j] = FieldSpec{};
    fields[j].name.copy(table.fields[j].displayName, kMaxDisplayNameBytes);
    table.fields[j].extractColn = fields[j].column;
    table.fields[j].displayRows = fields[j].rows;
  }
  return BuildLcdPreview(table, loaded.cells, record);
}

Strings Wrap(std::string_view text, int lines) {
  Strings out;
  size_t pos = 0;
  for (int i = 0; i < lines; ++i) out.push_back(WrapLcdLine(text, pos));
  return out;
}

const std::string kA19(19, 'a');
const std::string kZhong = "\xd6\xd0";  // 中

TEST(LcdWrap, TwentyColumnsAndTwoByteCharactersWhole) {
  EXPECT_EQ(Wrap(std::string(25, 'x'), 3), (Strings{std::string(20, 'x'), "xxxxx", ""}));
  EXPECT_EQ(Wrap(kA19 + kZhong + "b", 2), (Strings{kA19, kZhong + "b"}));
  const std::string a18 = kA19.substr(1);
  EXPECT_EQ(Wrap(a18 + kZhong + "b", 2), (Strings{a18 + kZhong, "b"}));
}

TEST(LcdWrap, BytesThatStartNoCharacterTakeOneColumn) {
  // A lead byte at the end of the text (nothing past it is read), a lead byte
  // before a byte that cannot follow it, 0x80 and 0xFF.
  const std::string longer = kA19 + kZhong;
  EXPECT_EQ(Wrap(std::string_view(longer).substr(0, 20), 2), (Strings{longer.substr(0, 20), ""}));
  EXPECT_EQ(Wrap(kA19 + "\x81 ", 2), (Strings{kA19 + "\x81", " "}));
  EXPECT_EQ(Wrap(kA19 + "\x80" "c", 2), (Strings{kA19 + "\x80", "c"}));
  EXPECT_EQ(Wrap(kA19 + "\xff" "c", 2), (Strings{kA19 + "\xff", "c"}));
}

TEST(LcdPreview, EachFieldTakesExactlyItsLines) {
  auto lines = Preview({"6901234567890", "cd", std::string(50, 'v')},
                       {{"\xcc\xf5\xc2\xeb", 1, 1}, {"ab", 2, 3}, {"n", 3, 2}, {"none", 0, 1}});
  std::vector<std::pair<std::string, std::string>> got;
  for (const auto& line : lines) got.push_back({line.rowsText, line.text});
  EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{
                     {"  1", "\xcc\xf5\xc2\xeb:6901234567890"},  // 18 bytes
                     {"  3", "ab:cd"}, {"", ""}, {"", ""},
                     {"  2", "n:" + std::string(18, 'v')}, {"", std::string(20, 'v')},  // rest cut
                     {"  1", "none:"}}));
}

TEST(LcdPreview, ThirtyTwoFieldsOfTenLinesInFieldOrder) {
  Strings row;
  std::vector<Field> fields;
  for (int j = 0; j < kMaxFields; ++j) {
    row.push_back(std::to_string(j));
    fields.push_back({"f", static_cast<uint8_t>(j + 1), 10});
  }
  auto lines = Preview(row, fields);
  ASSERT_EQ(lines.size(), 320u);
  for (int j = 0; j < kMaxFields; ++j) EXPECT_EQ(lines[10 * j].text, "f:" + std::to_string(j));
}

TEST(LcdPreview, RecordOutsideTheTableGivesNoLines) {
  EXPECT_TRUE(Preview({"x"}, {{"a", 1, 1}}, 0).empty());
  EXPECT_TRUE(Preview({"x"}, {{"a", 1, 1}}, 3).empty());
}

}  // namespace
}  // namespace tabrelium
