#include "data/table_image.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/byte_order.h"
#include "common/gbk.h"
#include "data/prefix_sort.h"
#include "data/work_parts.h"

namespace tabrelium {
namespace {

constexpr uint8_t kTableWithoutMemo = 0x03;
constexpr uint8_t kCharacterField = 'C';
constexpr uint8_t kHeaderTerminator = 0x0D;
constexpr uint8_t kLiveRecord = 0x20;  // the deletion flag of a record that is not deleted
constexpr uint8_t kPad = 0x20;
constexpr size_t kBlockBytes = 32;  // the header and each descriptor
constexpr size_t kNameBytes = 11;
// Rows are split over threads in parts of at least this many.
constexpr size_t kMinRowsPerPart = size_t{1} << 15;

struct FieldLayout {
  uint8_t column;   // source column, 0 = none
  uint16_t offset;  // within a record
  uint8_t length;   // bytes
};

struct Layout {
  int32_t fieldCount = 0;
  std::array<FieldLayout, kMaxFields> fields{};
  uint16_t headerLength = 0;
  uint16_t recordLength = 0;
};

Layout MakeLayout(const CellTable& cells, const FieldTable& table) {
  Layout layout;
  // The fields array has 32 slots; a larger count can only come from a
  // corrupted table and must not read past them.
  layout.fieldCount = std::clamp<int32_t>(table.fieldCount, 0, kMaxFields);
  uint16_t offset = 1;  // byte 0 of a record is its deletion flag
  for (int32_t j = 0; j < layout.fieldCount; ++j) {
    const uint8_t column = table.fields[j].extractColn;
    uint8_t length = 1;  // a field without source column is one space
    if (column != 0) length = column <= kMaxColumns ? GetColumnWidth(cells, column) : 0;
    layout.fields[j] = {column, offset, length};
    offset = static_cast<uint16_t>(offset + length);
  }
  layout.headerLength = static_cast<uint16_t>(kBlockBytes * (layout.fieldCount + 1) + 1);
  layout.recordLength = offset;
  return layout;
}

void WriteHeader(const Layout& layout, const FieldTable& table, const std::tm& date,
                 uint32_t recordCount, uint8_t* out) {
  std::memset(out, 0, layout.headerLength);
  out[0] = kTableWithoutMemo;
  out[1] = static_cast<uint8_t>(date.tm_year);
  out[2] = static_cast<uint8_t>(date.tm_mon + 1);
  out[3] = static_cast<uint8_t>(date.tm_mday);
  PutLe32(out + 4, recordCount);
  PutLe16(out + 8, layout.headerLength);
  PutLe16(out + 10, layout.recordLength);
  for (int32_t j = 0; j < layout.fieldCount; ++j) {
    uint8_t* d = out + kBlockBytes * (j + 1);
    const FieldSpec& fieldSpec = table.fields[j];
    static_assert(sizeof fieldSpec.displayName <= kNameBytes);
    const std::string_view name(fieldSpec.displayName,
                                strnlen(fieldSpec.displayName, sizeof fieldSpec.displayName));
    std::memcpy(d, name.data(), name.size());
    // Capitals for ASCII letters only; the second byte of a two-byte
    // character may lie in a..z and must stay, or the character changes.
    for (size_t i = 0; i < name.size(); i += GbkCharLength(name, i))
      if (d[i] >= 'a' && d[i] <= 'z') d[i] = static_cast<uint8_t>(d[i] - 0x20);
    d[11] = kCharacterField;
    PutLe32(d + 12, layout.fields[j].offset);
    d[16] = layout.fields[j].length;
    d[17] = 0;  // decimal count
    d[18] = fieldSpec.displayRows;
  }
  out[kBlockBytes * (layout.fieldCount + 1)] = kHeaderTerminator;
}

std::string_view FieldText(const CellTable& cells, int32_t row, const FieldLayout& field) {
  return field.column == 0 ? std::string_view() : cells.CellText(row, field.column);
}

bool RowHasText(const CellTable& cells, const Layout& layout, int32_t row) {
  for (int32_t j = 0; j < layout.fieldCount; ++j)
    if (!FieldText(cells, row, layout.fields[j]).empty()) return true;
  return false;
}

void SortByKeyFrom(std::span<PrefixEntry> entries, const CellTable& cells,
                   const FieldLayout& key, size_t from, int parts);

// Entries sorted by their prefixes of bytes [from, from + 16): runs that
// still agree are given their next 16 bytes and sorted again, so each cell
// is read once per round instead of at every comparison; keys of at most 63
// bytes need at most four rounds.
void SortLongKeys(std::span<PrefixEntry> entries, const CellTable& cells, const FieldLayout& key,
                  size_t from) {
  const size_t next = from + kPrefixBytes;
  if (next >= key.length) return;
  for (size_t i = 0; i < entries.size();) {
    size_t j = i + 1;
    while (j < entries.size() && SamePrefix(entries[i], entries[j])) ++j;
    if (j - i > 1) {
      std::span<PrefixEntry> run = entries.subspan(i, j - i);
      for (PrefixEntry& e : run)
        SetPrefix(e, FieldText(cells, static_cast<int32_t>(e.row), key), key.length, next);
      SortByKeyFrom(run, cells, key, next, 1);
    }
    i = j;
  }
}

// Sorts entries whose keys agree before byte `from` and whose prefixes hold
// bytes [from, from + 16).
void SortByKeyFrom(std::span<PrefixEntry> entries, const CellTable& cells,
                   const FieldLayout& key, size_t from, int parts) {
  SortByPrefixThenRow(entries, parts);
  SortLongKeys(entries, cells, key, from);
}

void WriteRecord(const CellTable& cells, const Layout& layout, int32_t row, uint8_t* record) {
  // Spaces first, in one go; then each field's text over its start.
  record[0] = kLiveRecord;
  std::memset(record + 1, kPad, layout.recordLength - 1u);
  for (int32_t j = 0; j < layout.fieldCount; ++j) {
    const FieldLayout& field = layout.fields[j];
    std::string_view text = FieldText(cells, row, field);
    // A column's width is its longest cell, so the cut never happens on a
    // consistent table; if it did, it must not leave half a character.
    if (text.size() > field.length) text = CutGbk(text, field.length);
    if (!text.empty()) std::memcpy(record + field.offset, text.data(), text.size());
  }
}

// Keys are grouped on one of their first bytes as they are collected.
constexpr size_t kGroupableBytes = 4;

// What one part's rows tell before the entries are made: how many have
// text, and of their keys' prefixes the first, the last, the bits in which
// any differs from the first, whether they already come in order, and how
// often each value stands in each of the first bytes.
struct KeySurvey {
  size_t rows = 0;
  PrefixEntry first{};
  PrefixEntry last{};
  uint64_t differ0 = 0;
  uint64_t differ1 = 0;
  bool ordered = true;
  std::array<std::array<uint32_t, 256>, kGroupableBytes> digits{};
};

void SurveyRows(const CellTable& cells, const Layout& layout, bool keyed, int32_t firstRow,
                int32_t endRow, KeySurvey& survey) {
  KeySurvey mine;  // filled apart: the parts' surveys share cache lines
  const FieldLayout& key = layout.fields[0];
  for (int32_t row = firstRow; row < endRow; ++row) {
    if (!RowHasText(cells, layout, row)) continue;
    ++mine.rows;
    if (!keyed) continue;
    PrefixEntry entry;
    SetPrefix(entry, FieldText(cells, row, key), key.length, 0);
    if (mine.rows == 1) {
      mine.first = entry;
    } else {
      mine.ordered = mine.ordered && PrefixAtMost(mine.last, entry);
      mine.differ0 |= entry.Word(0) ^ mine.first.Word(0);
      mine.differ1 |= entry.Word(1) ^ mine.first.Word(1);
    }
    for (size_t b = 0; b < kGroupableBytes; ++b) ++mine.digits[b][entry.Byte(b)];
    mine.last = entry;
  }
  survey = mine;
}

// The first byte on which the keys differ, when the entries are worth
// grouping on it: not when they already come in order, all agree, or
// differ only after the bytes surveyed.
std::optional<size_t> GroupingByte(std::span<const KeySurvey> surveys, int parts) {
  const KeySurvey* reference = nullptr;
  const KeySurvey* previous = nullptr;
  bool ordered = true;
  uint64_t differ0 = 0, differ1 = 0;
  for (int k = 0; k < parts; ++k) {
    const KeySurvey& s = surveys[k];
    if (s.rows == 0) continue;
    if (reference == nullptr) reference = &s;
    ordered = ordered && s.ordered && (previous == nullptr || PrefixAtMost(previous->last, s.first));
    differ0 |= s.differ0 | (s.first.Word(0) ^ reference->first.Word(0));
    differ1 |= s.differ1 | (s.first.Word(1) ^ reference->first.Word(1));
    previous = &s;
  }
  if (reference == nullptr || ordered) return std::nullopt;
  const size_t shared = LeadingEqualBytes(differ0, differ1);
  if (shared >= kGroupableBytes) return std::nullopt;
  return shared;
}

// Puts the entries of the rows in [firstRow, endRow) that have text into
// their groups of byte `byte`, each at its group's cursor, in row order.
void CollectGrouped(const CellTable& cells, const Layout& layout, int32_t firstRow,
                       int32_t endRow, size_t byte, std::array<uint32_t, 256>& cursor,
                       std::span<PrefixEntry> entries) {
  const FieldLayout& key = layout.fields[0];
  for (int32_t row = firstRow; row < endRow; ++row) {
    if (!RowHasText(cells, layout, row)) continue;
    PrefixEntry entry;
    entry.row = static_cast<uint32_t>(row);
    SetPrefix(entry, FieldText(cells, row, key), key.length, 0);
    entries[cursor[entry.Byte(byte)]++] = entry;
  }
}

// Fills `entries` from the first entries.size() rows in [firstRow, endRow)
// that have text, in row order, with their first 16 key bytes.
void CollectEntries(const CellTable& cells, const Layout& layout, int32_t firstRow,
                       int32_t endRow, std::span<PrefixEntry> entries) {
  const FieldLayout& key = layout.fields[0];
  size_t collected = 0;
  for (int32_t row = firstRow; row < endRow && collected < entries.size(); ++row) {
    if (!RowHasText(cells, layout, row)) continue;
    PrefixEntry& entry = entries[collected++];
    entry.row = static_cast<uint32_t>(row);
    SetPrefix(entry, FieldText(cells, row, key), key.length, 0);
  }
}

uint32_t Load32(const uint8_t* at) {
  uint32_t v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

void Store32(uint8_t* at, uint32_t v) { std::memcpy(at, &v, sizeof v); }

// Writes every record once, straight into its slot in `sorted` order, while
// the rows are walked in order: the cells are then read front to back and
// only the writes jump around. The walk needs each row's slot; that map
// lives in the image's own block, in front of the entries, when there is
// room for it there. The records whose slots cover the map are then noted
// on the way, with their rows, and written after the walk, still in row
// order and now into the few MiB at the image's start. The entries are read
// in full before the first record is written.
void WriteRecords(const CellTable& cells, const Layout& layout,
                  std::span<const PrefixEntry> sorted, size_t rows, uint8_t* records, int parts) {
  constexpr uint32_t kNoRecord = UINT32_MAX;  // all bytes 0xFF
  const size_t count = sorted.size();
  const size_t recordLength = layout.recordLength;
  const size_t mapBytes = rows * sizeof(uint32_t);
  const size_t room =
      static_cast<size_t>(reinterpret_cast<const uint8_t*>(sorted.data()) - records);
  // The first `front` slots cover the map.
  size_t front = 0;
  uint8_t* map = nullptr;
  BulkVector<uint32_t> mapOfItsOwn;
  if (mapBytes <= room) {
    map = records;
    front = std::min(count, (mapBytes + recordLength - 1) / recordLength);
  } else {
    mapOfItsOwn.resize(rows);
    map = reinterpret_cast<uint8_t*>(mapOfItsOwn.data());
  }

  RunParts(parts, [&](int k) {
    const PartRange range = RangeOfPart(rows, parts, k);
    std::memset(map + range.begin * 4, 0xFF, (range.end - range.begin) * 4);
  });
  RunParts(parts, [&](int k) {
    const PartRange range = RangeOfPart(count, parts, k);
    for (size_t p = range.begin; p < range.end; ++p)
      Store32(map + (sorted[p].row - 1) * 4, static_cast<uint32_t>(p));
  });
  // The walk writes only slots from `front` on, which lie past the map; the
  // others wait, each part's in a list sized for them.
  struct Late {
    uint32_t slot;
    uint32_t row;
  };
  std::array<std::vector<Late>, kMaxWorkParts> late;
  std::array<size_t, kMaxWorkParts> lateRows{};
  for (size_t p = 0; p < front; ++p) {
    const size_t row = sorted[p].row - 1;
    int k = 0;
    while (k + 1 < parts && row >= RangeOfPart(rows, parts, k + 1).begin) ++k;
    ++lateRows[k];
  }
  for (int k = 0; k < parts; ++k) late[k].reserve(lateRows[k]);
  // The entries are spent from here on.
  constexpr size_t kPrefetchAhead = 32;
  RunParts(parts, [&](int k) {
    const PartRange range = RangeOfPart(rows, parts, k);
    for (size_t r = range.begin; r < range.end; ++r) {
      if (r + kPrefetchAhead < range.end) {
        const uint32_t ahead = Load32(map + (r + kPrefetchAhead) * 4);
        if (ahead != kNoRecord && ahead >= front) {
          // A record may span two cache lines: ask for both ends.
          uint8_t* slot = records + size_t{ahead} * recordLength;
          __builtin_prefetch(slot, 1);
          __builtin_prefetch(slot + recordLength - 1, 1);
        }
      }
      const uint32_t slot = Load32(map + r * 4);
      if (slot == kNoRecord) continue;
      if (slot >= front)
        WriteRecord(cells, layout, static_cast<int32_t>(r + 1), records + size_t{slot} * recordLength);
      else
        late[k].push_back({slot, static_cast<uint32_t>(r + 1)});
    }
  });
  RunParts(parts, [&](int k) {
    for (const Late& l : late[k])
      WriteRecord(cells, layout, static_cast<int32_t>(l.row), records + size_t{l.slot} * recordLength);
  });
}

std::tm LocalDateNow() {
  const std::time_t now = std::time(nullptr);
  std::tm date{};
#if defined(_WIN32)
  localtime_s(&date, &now);
#else
  localtime_r(&now, &date);
#endif
  return date;
}

}  // namespace

uint32_t GetRecordCount(std::span<const uint8_t> image) {
  if (image.size() < 8) return 0;
  return GetLe32(image.data() + 4);
}

uint16_t GetHeaderLength(std::span<const uint8_t> image) {
  if (image.size() < 10) return 0;
  return GetLe16(image.data() + 8);
}

uint16_t GetRecordLength(std::span<const uint8_t> image) {
  if (image.size() < 12) return 0;
  return GetLe16(image.data() + 10);
}

void BuildTableImage(const CellTable& cells, const FieldTable& table, TableImage& image,
                     std::optional<std::tm> buildDate) {
  const Layout layout = MakeLayout(cells, table);
  const size_t headerLength = layout.headerLength;
  const size_t recordLength = layout.recordLength;

  // A record is appended only while it ends below 64 MiB.
  const size_t maxRecords = (kMaxImageBytes - 1 - headerLength) / recordLength;
  const size_t rows = static_cast<size_t>(std::max(GetRowCount(cells), 0));
  const int parts = WorkParts(rows, kMinRowsPerPart);
  const FieldLayout& key = layout.fields[0];
  // Without a source column or with an empty one, every key is the same.
  const bool keyed = key.column != 0 && key.length != 0;
  std::array<KeySurvey, kMaxWorkParts> surveys;
  RunParts(parts, [&](int k) {
    const PartRange range = RangeOfPart(rows, parts, k);
    SurveyRows(cells, layout, keyed, static_cast<int32_t>(range.begin + 1),
               static_cast<int32_t>(range.end + 1), surveys[k]);
  });
  size_t rowsWithText = 0;
  for (int k = 0; k < parts; ++k) rowsWithText += surveys[k].rows;
  const size_t recordCount = std::min(rowsWithText, maxRecords);
  const size_t imageSize = headerLength + recordCount * recordLength;

  // The sort entries live in the image's own buffer, after the header, so
  // the sort needs no second block of memory; records shorter than an entry
  // get a buffer sized for the entries.
  const size_t entryBytes = recordCount * sizeof(PrefixEntry);
  const size_t bufferSize =
      headerLength + std::max(recordCount * recordLength, entryBytes) + alignof(PrefixEntry);
  BulkVector<uint8_t>& bytes = image.bytes;
  bytes.clear();
  bytes.reserve(bufferSize);
  bytes.resize(bufferSize);
  const size_t entriesAt = (bufferSize - entryBytes) / alignof(PrefixEntry) * alignof(PrefixEntry);
  // The vector's storage is suitably aligned for any object.
  std::span<PrefixEntry> entries(reinterpret_cast<PrefixEntry*>(bytes.data() + entriesAt),
                                 recordCount);

  const std::optional<size_t> groupByte =
      keyed && recordCount == rowsWithText ? GroupingByte(surveys, parts) : std::nullopt;
  if (groupByte) {
    // The entries go straight into their groups of the first byte on which
    // keys differ, each part into its own share of every group, so that the
    // sort's first and longest pass is done by the parts together.
    std::array<std::array<uint32_t, 256>, kMaxWorkParts> cursor;
    std::array<uint32_t, 257> start{};
    for (size_t d = 0; d < 256; ++d) {
      uint32_t at = start[d];
      for (int k = 0; k < parts; ++k) {
        cursor[k][d] = at;
        at += surveys[k].digits[*groupByte][d];
      }
      start[d + 1] = at;
    }
    RunParts(parts, [&](int k) {
      const PartRange range = RangeOfPart(rows, parts, k);
      CollectGrouped(cells, layout, static_cast<int32_t>(range.begin + 1),
                     static_cast<int32_t>(range.end + 1), *groupByte, cursor[k], entries);
    });
    SortGroupedByPrefixThenRow(entries, *groupByte, start, parts);
    SortLongKeys(entries, cells, key, 0);
  } else {
    // Each part collects its rows' entries where the rows before it end;
    // rows past the 64 MiB cut get none.
    RunParts(parts, [&](int k) {
      size_t at = 0;
      for (int before = 0; before < k; ++before) at += surveys[before].rows;
      if (at >= recordCount) return;
      const PartRange range = RangeOfPart(rows, parts, k);
      CollectEntries(cells, layout, static_cast<int32_t>(range.begin + 1),
                     static_cast<int32_t>(range.end + 1),
                     entries.subspan(at, std::min(surveys[k].rows, recordCount - at)));
    });
    if (keyed) SortByKeyFrom(entries, cells, key, 0, parts);
  }
  WriteRecords(cells, layout, entries, rows, bytes.data() + headerLength, parts);
  WriteHeader(layout, table, buildDate ? *buildDate : LocalDateNow(),
              static_cast<uint32_t>(recordCount), bytes.data());

  bytes.resize(imageSize);  // keeps the block; drops the spent entries
  image.imageSize = static_cast<int32_t>(imageSize);
  image.droppedRows = static_cast<int64_t>(rowsWithText - recordCount);
}

}  // namespace tabrelium
