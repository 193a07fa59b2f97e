#include "data/prefix_sort.h"

#include <algorithm>

#include "common/byte_order.h"

namespace tabrelium {
namespace {

constexpr uint8_t kPad = 0x20;
// Buckets this small are left to a comparison sort.
constexpr size_t kSmallBucket = 64;

// A function object rather than a function, so that the sort inlines it.
struct PrefixThenRowLess {
  bool operator()(const PrefixEntry& a, const PrefixEntry& b) const {
    const uint64_t a0 = a.Word(0), b0 = b.Word(0);
    if (a0 != b0) return a0 < b0;
    const uint64_t a1 = a.Word(1), b1 = b.Word(1);
    if (a1 != b1) return a1 < b1;
    return a.row < b.row;
  }
};

// Most-significant-byte radix sort in place (American flag sort), for
// entries whose prefixes agree before `byte`. Each level is one counting
// pass and one pass that swaps entries into their buckets; a byte that is the
// same everywhere (the "69" of Chinese barcodes) costs the counting pass only.
void SortFromByte(std::span<PrefixEntry> entries, size_t byte) {
  while (entries.size() > kSmallBucket && byte < kPrefixBytes) {
    std::array<uint32_t, 256> count{};
    for (const PrefixEntry& e : entries) ++count[e.Byte(byte)];
    if (count[entries[0].Byte(byte)] == entries.size()) {
      ++byte;
      continue;
    }
    std::array<uint32_t, 257> start{};
    for (size_t b = 0; b < 256; ++b) start[b + 1] = start[b] + count[b];
    std::array<uint32_t, 256> next;
    std::copy_n(start.begin(), 256, next.begin());
    for (size_t b = 0; b < 256; ++b) {
      while (next[b] < start[b + 1]) {
        PrefixEntry moving = entries[next[b]];
        for (uint8_t d = moving.Byte(byte); d != b; d = moving.Byte(byte))
          std::swap(moving, entries[next[d]++]);
        entries[next[b]++] = moving;
      }
    }
    for (size_t b = 0; b < 256; ++b)
      if (count[b] > 1) SortFromByte(entries.subspan(start[b], count[b]), byte + 1);
    return;
  }
  // A small bucket, or one whose prefixes are all equal: then only the rows
  // still differ.
  std::sort(entries.begin(), entries.end(), PrefixThenRowLess{});
}

}  // namespace

void SetPrefix(PrefixEntry& entry, std::string_view key, size_t keyLength, size_t from) {
  uint8_t padded[kPrefixBytes];
  std::memset(padded, kPad, kPrefixBytes);
  const size_t end = std::min(key.size(), keyLength);
  if (from < end) std::memcpy(padded, key.data() + from, std::min(end - from, kPrefixBytes));
  const uint64_t words[2] = {GetBe64(padded), GetBe64(padded + 8)};
  std::memcpy(entry.words.data(), words, sizeof words);
}

void SortByPrefixThenRow(std::span<PrefixEntry> entries) {
  // Entries are collected in row order, so equal keys are already in order.
  if (std::is_sorted(entries.begin(), entries.end(), PrefixThenRowLess{})) return;
  SortFromByte(entries, 0);
}

}  // namespace tabrelium
