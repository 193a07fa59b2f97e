// The key sort against a plain stable sort, on inputs that take each of its
// paths: small buckets, buckets sorted out of place, buckets too large for
// that which are split in place first (and so lose their row order).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "data/prefix_sort.h"

namespace tabrelium {
namespace {

struct SortCase {
  size_t entries;
  int alphabet;      // distinct byte values in a key
  size_t keyLength;  // bytes, before the spaces that pad it to 16
};

TEST(PrefixSort, AgreesWithAStableSortOfThePrefixes) {
  const SortCase cases[] = {
      {200, 3, 16},     // small: the comparison sort alone
      {5000, 4, 10},    // out of place, with many equal keys
      {400000, 10, 7},  // split in place first: ties must still keep row order
      {400000, 256, 16},
  };
  for (const SortCase& c : cases) {
    std::mt19937 rng(static_cast<unsigned>(c.entries + c.alphabet));
    std::vector<PrefixEntry> entries(c.entries);
    for (size_t i = 0; i < entries.size(); ++i) {
      std::string key(c.keyLength, '\0');
      // A shared first byte, as barcodes have, so the sort must skip it.
      key[0] = '6';
      for (size_t b = 1; b < key.size(); ++b) key[b] = static_cast<char>(0x20 + rng() % c.alphabet);
      SetPrefix(entries[i], key, 16, 0);
      entries[i].row = static_cast<uint32_t>(i + 1);
    }
    std::vector<PrefixEntry> expected = entries;
    std::stable_sort(expected.begin(), expected.end(), [](const PrefixEntry& a, const PrefixEntry& b) {
      return PrefixAtMost(a, b) && !SamePrefix(a, b);
    });
    for (const int parts : {1, 2}) {
      std::vector<PrefixEntry> actual = entries;
      SortByPrefixThenRow(actual, parts);
      for (size_t i = 0; i < actual.size(); ++i)
        ASSERT_EQ(actual[i].row, expected[i].row)
            << "entry " << i << " of " << c.entries << ", alphabet " << c.alphabet << ", parts " << parts;
    }
  }
}

}  // namespace
}  // namespace tabrelium
