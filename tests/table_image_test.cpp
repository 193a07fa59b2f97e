// The table image: the bytes of a known table, which rows become records,
// the byte-wise sort against sorting whole records, and the 64 MiB limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/table_image.h"

namespace tabrelium {
namespace {

using Strings = std::vector<std::string>;

// A cell table made by hand, owning the text its cells point into.
struct HandTable {
  explicit HandTable(const std::vector<Strings>& rows) {
    for (const auto& row : rows)
      for (const auto& cell : row) text += cell;
    size_t offset = 0;
    cells.rowFirstCell = {0};
    for (const auto& row : rows) {
      for (size_t col = 0; col < row.size(); ++col) {
        cells.cellRef.push_back(MakeCellRef(offset, row[col].size()));
        uint8_t& width = cells.columnWidths[col];
        width = std::max(width, static_cast<uint8_t>(row[col].size()));
        offset += row[col].size();
      }
      cells.rowFirstCell.push_back(static_cast<uint32_t>(cells.cellRef.size()));
      cells.columnCount = std::max(cells.columnCount, static_cast<int32_t>(row.size()));
    }
    cells.rowCount = static_cast<int32_t>(rows.size());
    cells.storedRows = cells.rowCount;
    cells.text = reinterpret_cast<const uint8_t*>(text.data());
  }
  std::string text;
  CellTable cells;
};

struct Field {
  std::string name;
  uint8_t column, rows;
};

FieldTable Fields(const std::vector<Field>& fields) {
  FieldTable table{};
  table.fieldCount = static_cast<int32_t>(fields.size());
  for (size_t j = 0; j < fields.size(); ++j) {
    fields[j].name.copy(table.fields[j].displayName, kMaxDisplayNameBytes);
    table.fields[j].extractColn = fields[j].column;
    table.fields[j].displayRows = fields[j].rows;
  }
  return table;
}

std::tm Date(int year, int month, int day) {
  std::tm d{};
  d.tm_year = year - 1900, d.tm_mon = month - 1, d.tm_mday = day;
  return d;
}

TableImage Build(const std::vector<Strings>& rows, const std::vector<Field>& fields,
                 std::tm date = Date(1999, 12, 31)) {
  HandTable t(rows);
  TableImage image;
  BuildTableImage(t.cells, Fields(fields), image, date);
  return image;
}

std::string Bytes(const TableImage& image, size_t from, size_t count) {
  return std::string(reinterpret_cast<const char*>(image.bytes.data()) + from, count);
}

Strings Records(const TableImage& image) {
  Strings out;
  const size_t length = GetRecordLength(image.bytes);
  for (uint32_t i = 0; i < GetRecordCount(image.bytes); ++i)
    out.push_back(Bytes(image, GetHeaderLength(image.bytes) + i * length, length));
  return out;
}

const std::string kBarcode = "\xcc\xf5\xc2\xeb";  // 条码
const std::string kName = "\xc3\xfb\xb3\xc6";     // 名称
const std::string kZeros(32, '\0');

TEST(TableImage, BarcodeAndNameTable) {
  const std::string name(20, 'n');
  TableImage image = Build({{"6901234567890", name}, {"6900000000001", "short"}},
                           {{kBarcode, 1, 1}, {kName, 2, 2}});
  ASSERT_EQ(image.imageSize, 97 + 2 * 34);  // nothing after the last record
  ASSERT_EQ(image.bytes.size(), 97u + 2 * 34);
  EXPECT_EQ(Bytes(image, 0, 32), std::string("\x03\x63\x0c\x1f\x02\0\0\0\x61\0\x22\0", 12) +
                                     kZeros.substr(12));
  EXPECT_EQ(Bytes(image, 32, 32), kBarcode + kZeros.substr(0, 7) +
                                      std::string("C\x01\0\0\0\x0d\0\x01", 8) + kZeros.substr(19));
  EXPECT_EQ(Bytes(image, 64, 32), kName + kZeros.substr(0, 7) +
                                      std::string("C\x0e\0\0\0\x14\0\x02", 8) + kZeros.substr(19));
  EXPECT_EQ(image.bytes[96], 0x0D);
  EXPECT_EQ(Records(image), (Strings{" 6900000000001short" + std::string(15, ' '),
                                     " 6901234567890" + name}));
}

TEST(TableImage, NamesGetCapitalAsciiLettersOnly) {
  // "\x81\x61" is one GBK character whose second byte is 'a'.
  TableImage image = Build({{"x"}}, {{"id9\x81\x61z", 1, 1}});
  EXPECT_EQ(Bytes(image, 32, 11), std::string("ID9\x81\x61Z\0\0\0\0\0", 11));
}

TEST(TableImage, WhichRowsBecomeRecordsAndFieldLengths) {
  // Column 3 is not configured; column 2 is empty throughout (length 0); a
  // field without source column is one space and is never text.
  TableImage image = Build({{"", "", "x"}, {"b", ""}, {" ", ""}, {"", ""}},
                           {{"k", 1, 1}, {"e", 2, 1}, {"n", 0, 1}});
  EXPECT_EQ(Bytes(image, 64 + 12, 5), std::string("\x02\0\0\0\0", 5));
  EXPECT_EQ(Bytes(image, 96 + 12, 5), std::string("\x02\0\0\0\x01", 5));
  EXPECT_EQ(Records(image), (Strings{"   ", " b "}));
  EXPECT_EQ(Records(Build({{""}}, {{"k", 1, 1}})).size(), 0u);
}

TEST(TableImage, KeysCompareAsUnsignedPaddedBytes) {
  EXPECT_EQ(Records(Build({{"200"}, {"10"}, {"3"}}, {{"k", 1, 1}})),
            (Strings{" 10 ", " 200", " 3  "}));
  // 0x01 is below the padding space, 0xB0 above every ASCII byte.
  EXPECT_EQ(Records(Build({{"\xb0"}, {"a"}, {"a\x01"}}, {{"k", 1, 1}})),
            (Strings{" a\x01", " a ", " \xb0 "}));
}

// Keys of 0 to 40 bytes with a common start and a few byte values, so that
// the sort often has to look past its 16-byte key prefix.
TEST(TableImage, SortAgreesWithSortingWholeRecords) {
  std::mt19937 rng(7);
  const std::string alphabet("ab \x01\x7f\xb0\xff", 7);
  std::vector<Strings> rows;
  size_t keyLength = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string key(rng() % 41, 'a');
    for (size_t k = 12; k < key.size(); ++k) key[k] = alphabet[rng() % alphabet.size()];
    keyLength = std::max(keyLength, key.size());
    rows.push_back({key, std::to_string(i)});
  }
  TableImage image = Build(rows, {{"k", 1, 1}, {"n", 2, 1}});

  Strings expected;
  for (const auto& row : rows) {
    std::string record = " " + row[0] + std::string(keyLength - row[0].size(), ' ') + row[1];
    expected.push_back(record + std::string(GetRecordLength(image.bytes) - record.size(), ' '));
  }
  std::sort(expected.begin(), expected.end(), [&](const std::string& a, const std::string& b) {
    return a.compare(0, 1 + keyLength, b, 0, 1 + keyLength) < 0;  // char_traits: unsigned
  });
  Strings actual = Records(image);
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i)
    ASSERT_EQ(actual[i].substr(0, 1 + keyLength), expected[i].substr(0, 1 + keyLength)) << i;
  // Equal keys may come in any order, but every record must be there.
  std::sort(actual.begin(), actual.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(actual, expected);
}

// 43-byte records behind a 97-byte header: record 1,560,669 would end
// exactly at 64 MiB, which is not below it.
TEST(TableImage, RecordsStopBelow64MiBAndTheRestIsCounted) {
  const int32_t rows = 1560672;
  HandTable t({{std::string(41, 'k')}});
  CellTable& c = t.cells;
  c.rowCount = rows;
  for (int32_t r = 2; r <= rows; ++r) {
    if (r != 2) {  // row 2 is empty: neither a record nor dropped
      c.cellRef.push_back(MakeCellRef(0, 41));
    }
    c.rowFirstCell.push_back(static_cast<uint32_t>(c.cellRef.size()));
  }
  c.storedRows = rows;
  TableImage image;
  BuildTableImage(c, Fields({{"k", 1, 1}, {"n", 0, 1}}), image, Date(2026, 1, 1));
  EXPECT_EQ(GetRecordCount(image.bytes), 1560668u);
  EXPECT_EQ(image.imageSize, kMaxImageBytes - 43);
  EXPECT_EQ(image.bytes.size(), static_cast<size_t>(image.imageSize));
  EXPECT_EQ(image.droppedRows, rows - 1 - 1560668);
}

}  // namespace
}  // namespace tabrelium
