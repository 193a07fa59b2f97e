#include "data/prefix_sort.h"

#include <algorithm>
#include <vector>

#include "common/bulk_allocator.h"
#include "common/byte_order.h"
#include "data/work_parts.h"

namespace tabrelium {
namespace {

constexpr uint8_t kPad = 0x20;
// Buckets this small are left to a comparison sort.
constexpr size_t kSmallBucket = 256;

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

// Buckets up to this many entries (5 MiB) are sorted out of place, through
// a scratch block of their size that each thread keeps.
constexpr size_t kStableSortEntries = size_t{1} << 18;

// A thread's scratch block for the out-of-place sort, grown on demand.
class SortScratch {
 public:
  std::span<PrefixEntry> Get(size_t n) {
    if (block_.size() < n) {
      ReleaseBlock(block_);
      block_.resize(n);
    }
    return {block_.data(), n};
  }

 private:
  BulkVector<PrefixEntry> block_;
};

void SortFromByte(std::span<PrefixEntry> entries, size_t byte, bool inRowOrder, int parts,
                  SortScratch& scratch);

// Sorts the buckets (start[b], count[b]) that hold more than one entry, from
// `byte` on. With several parts, a bucket larger than the rest together is
// sorted first with all of them; the others are dealt out, largest first, to
// the part with the least work so far.
void SortBuckets(std::span<PrefixEntry> entries, size_t byte, bool inRowOrder, int parts,
                 std::span<const uint32_t> start, SortScratch& scratch) {
  std::array<uint32_t, 256> order;
  size_t buckets = 0;
  for (uint32_t b = 0; b < 256; ++b)
    if (start[b + 1] - start[b] > 1) order[buckets++] = b;
  auto bucket = [&](uint32_t b) { return entries.subspan(start[b], start[b + 1] - start[b]); };
  if (parts <= 1 || buckets <= 1) {
    for (size_t i = 0; i < buckets; ++i)
      SortFromByte(bucket(order[i]), byte, inRowOrder, parts, scratch);
    return;
  }
  std::sort(order.begin(), order.begin() + buckets,
            [&](uint32_t a, uint32_t b) { return bucket(a).size() > bucket(b).size(); });
  size_t first = 0;
  if (2 * bucket(order[0]).size() > entries.size()) {
    SortFromByte(bucket(order[0]), byte, inRowOrder, parts, scratch);
    first = 1;
  }
  std::array<std::vector<uint32_t>, kMaxWorkParts> dealt;
  std::array<size_t, kMaxWorkParts> load{};
  for (size_t i = first; i < buckets; ++i) {
    const auto least = std::min_element(load.begin(), load.begin() + parts) - load.begin();
    dealt[least].push_back(order[i]);
    load[least] += bucket(order[i]).size();
  }
  RunParts(parts, [&](int k) {
    SortScratch own;  // part 0 may use the caller's; the others need their own
    SortScratch& mine = k == 0 ? scratch : own;
    for (const uint32_t b : dealt[k]) SortFromByte(bucket(b), byte, inRowOrder, 1, mine);
  });
}

// One byte a stable pass sorts on: of the row (`word` 2) or of a prefix word.
struct DigitPlace {
  int word;
  int shift;
  uint32_t Of(const PrefixEntry& e) const {
    return word == 2 ? (e.row >> shift) & 0xFF
                     : static_cast<uint32_t>(e.Word(word) >> shift) & 0xFF;
  }
};

// Sorts entries that agree before prefix byte `byte` least significant
// byte first: a stable pass through `scratch` for every byte in which any
// entry differs from the first, so a byte that is the same everywhere costs
// nothing. Entries not in row order get passes over their row's bytes first.
void SortStable(std::span<PrefixEntry> entries, size_t byte, bool inRowOrder,
                std::span<PrefixEntry> scratch) {
  const PrefixEntry& head = entries[0];
  const uint64_t first0 = head.Word(0), first1 = head.Word(1);
  const uint32_t firstRow = head.row;
  uint64_t differ0 = 0, differ1 = 0;
  uint32_t differRow = 0;
  for (const PrefixEntry& e : entries) {
    differ0 |= e.Word(0) ^ first0;
    differ1 |= e.Word(1) ^ first1;
    differRow |= e.row ^ firstRow;
  }
  // Least significant first: the row's low bytes, then the key's last bytes.
  std::array<DigitPlace, 4 + kPrefixBytes> places;
  size_t passes = 0;
  if (!inRowOrder)
    for (int shift = 0; shift < 32; shift += 8)
      if ((differRow >> shift) & 0xFF) places[passes++] = {2, shift};
  for (size_t pos = kPrefixBytes; pos-- > byte;) {
    const int word = static_cast<int>(pos / 8);
    const int shift = static_cast<int>(56 - 8 * (pos % 8));
    if (((word == 0 ? differ0 : differ1) >> shift) & 0xFF) places[passes++] = {word, shift};
  }
  if (passes == 0) return;

  // Every pass's counts in one read.
  std::vector<std::array<uint32_t, 256>> count(passes);
  for (auto& c : count) c.fill(0);
  for (const PrefixEntry& e : entries)
    for (size_t p = 0; p < passes; ++p) ++count[p][places[p].Of(e)];

  std::span<PrefixEntry> from = entries;
  std::span<PrefixEntry> to = scratch;
  for (size_t p = 0; p < passes; ++p) {
    std::array<uint32_t, 256> next;
    uint32_t at = 0;
    for (size_t d = 0; d < 256; ++d) {
      next[d] = at;
      at += count[p][d];
    }
    const DigitPlace place = places[p];
    for (const PrefixEntry& e : from) to[next[place.Of(e)]++] = e;
    std::swap(from, to);
  }
  if (from.data() != entries.data()) std::copy(from.begin(), from.end(), entries.begin());
}

// Most-significant-byte radix sort (American flag sort) for entries whose
// prefixes agree before `byte`: buckets small enough for the scratch block
// are sorted stably out of place; a larger one is split in place on its first
// byte that varies, one counting pass and one pass that swaps entries into
// their buckets, which leaves the buckets out of row order.
void SortFromByte(std::span<PrefixEntry> entries, size_t byte, bool inRowOrder, int parts,
                  SortScratch& scratch) {
  while (entries.size() > kStableSortEntries && byte < kPrefixBytes) {
    std::array<uint32_t, 256> count{};
    const int countParts = std::min(parts, WorkParts(entries.size(), 1 << 16));
    if (countParts <= 1) {
      for (const PrefixEntry& e : entries) ++count[e.Byte(byte)];
    } else {
      // Counting splits cleanly: each part counts its own share.
      std::array<std::array<uint32_t, 256>, kMaxWorkParts> counts{};
      RunParts(countParts, [&](int k) {
        const PartRange range = RangeOfPart(entries.size(), countParts, k);
        for (size_t i = range.begin; i < range.end; ++i) ++counts[k][entries[i].Byte(byte)];
      });
      for (int k = 0; k < countParts; ++k)
        for (size_t b = 0; b < 256; ++b) count[b] += counts[k][b];
    }
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
    SortBuckets(entries, byte + 1, false, parts, start, scratch);
    return;
  }
  if (entries.size() <= kSmallBucket || byte >= kPrefixBytes) {
    // A small bucket, or one whose prefixes are all equal: then only the
    // rows may still differ.
    std::sort(entries.begin(), entries.end(), PrefixThenRowLess{});
    return;
  }
  SortStable(entries, byte, inRowOrder, scratch.Get(entries.size()));
}

// How many leading prefix bytes every entry shares (the "69" of Chinese
// barcodes): one pass instead of one counting pass per such byte.
size_t CommonLeadingBytes(std::span<const PrefixEntry> entries, int parts) {
  if (entries.empty()) return 0;
  const uint64_t first0 = entries[0].Word(0), first1 = entries[0].Word(1);
  std::array<uint64_t, kMaxWorkParts> diff0{}, diff1{};
  const int diffParts = std::min(parts, WorkParts(entries.size(), 1 << 16));
  RunParts(diffParts, [&](int k) {
    const PartRange range = RangeOfPart(entries.size(), diffParts, k);
    uint64_t d0 = 0, d1 = 0;
    for (size_t i = range.begin; i < range.end; ++i) {
      d0 |= entries[i].Word(0) ^ first0;
      d1 |= entries[i].Word(1) ^ first1;
    }
    diff0[k] = d0;
    diff1[k] = d1;
  });
  uint64_t d0 = 0, d1 = 0;
  for (int k = 0; k < diffParts; ++k) {
    d0 |= diff0[k];
    d1 |= diff1[k];
  }
  return LeadingEqualBytes(d0, d1);
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

size_t LeadingEqualBytes(uint64_t differ0, uint64_t differ1) {
  // The words hold their first byte in the most significant place.
  if (differ0 != 0) return static_cast<size_t>(__builtin_clzll(differ0)) / 8;
  if (differ1 != 0) return 8 + static_cast<size_t>(__builtin_clzll(differ1)) / 8;
  return kPrefixBytes;
}

void SortGroupedByPrefixThenRow(std::span<PrefixEntry> entries, size_t byte,
                                std::span<const uint32_t> start, int parts) {
  SortScratch scratch;
  SortBuckets(entries, byte + 1, true, parts, start, scratch);
}

void SortByPrefixThenRow(std::span<PrefixEntry> entries, int parts) {
  // Entries are collected in row order, so equal keys are already in order.
  if (std::is_sorted(entries.begin(), entries.end(), PrefixThenRowLess{})) return;
  SortScratch scratch;
  SortFromByte(entries, CommonLeadingBytes(entries, parts), true, parts, scratch);
}

}  // namespace tabrelium
