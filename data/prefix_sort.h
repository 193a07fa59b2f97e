// Sorting rows by a 16-byte key prefix. The table image sorts these small
// entries (20 bytes each) instead of whole records, then writes each record
// once into its sorted slot; keys longer than 16 bytes are ordered in further
// rounds over the runs whose prefixes are equal.
//
// Thread-safety: plain functions on caller-owned entries.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace tabrelium {

inline constexpr size_t kPrefixBytes = 16;

struct PrefixEntry {
  // Key bytes as two 64-bit words, first byte most significant, so that
  // comparing the words compares the bytes as unsigned. Kept as bytes so the
  // entry needs 4-byte alignment only and packs into 20 bytes.
  std::array<uint8_t, kPrefixBytes> words;
  uint32_t row;

  uint64_t Word(int i) const {
    uint64_t v;
    std::memcpy(&v, words.data() + 8 * i, 8);
    return v;
  }
  uint8_t Byte(size_t i) const {
    return static_cast<uint8_t>(Word(static_cast<int>(i / 8)) >> (56 - 8 * (i % 8)));
  }
};
static_assert(sizeof(PrefixEntry) == 20 && alignof(PrefixEntry) == 4);

// Puts bytes [from, from + 16) of `key` as a record holds it (cut to
// `keyLength` bytes, padded with spaces) into the entry.
void SetPrefix(PrefixEntry& entry, std::string_view key, size_t keyLength, size_t from);

inline bool SamePrefix(const PrefixEntry& a, const PrefixEntry& b) {
  return a.Word(0) == b.Word(0) && a.Word(1) == b.Word(1);
}

// Leading prefix bytes two prefixes share, from the bits in which their
// words differ (first word, second word): kPrefixBytes when none do.
size_t LeadingEqualBytes(uint64_t differ0, uint64_t differ1);

// True when `a` sorts before `b` by prefix, or has the same prefix.
inline bool PrefixAtMost(const PrefixEntry& a, const PrefixEntry& b) {
  const uint64_t a0 = a.Word(0), b0 = b.Word(0);
  return a0 != b0 ? a0 < b0 : a.Word(1) <= b.Word(1);
}

// Finishes the sort of entries that agree before prefix byte `byte` and are
// already grouped by it: the entries with byte value d fill
// [start[d], start[d + 1]) (257 starts), each group in ascending row order.
// Gives the order SortByPrefixThenRow gives.
void SortGroupedByPrefixThenRow(std::span<PrefixEntry> entries, size_t byte,
                                std::span<const uint32_t> start, int parts);

// Sorts entries that come in ascending row order by the prefix bytes,
// compared as unsigned, keeping row order among equal prefixes; the order
// does not depend on `parts`, the number of threads (data/work_parts.h) the
// buckets are sorted on. Sorting through a scratch block keeps that order;
// the larger buckets are split in place, which does not, and then sort on
// the row too.
void SortByPrefixThenRow(std::span<PrefixEntry> entries, int parts = 1);

}  // namespace tabrelium
