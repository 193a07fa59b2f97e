#include "data/text_cutter.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/gbk.h"
#include "data/work_parts.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tabrelium {
namespace {

// Every cell's offset must fit the bits a stored cell gives it.
static_assert(kMaxTextBytes <= int64_t{1} << kCellOffsetBits);

constexpr uint8_t kQuote = '"';

const uint8_t* Bytes(const TextView& view) {
  return reinterpret_cast<const uint8_t*>(view.text.data());
}

// Offset of the first terminator at or after `pos`, or the text's size.
size_t FindLineEnd(const TextView& view, size_t pos) {
  const std::string_view text = view.text;
  const std::string_view term = view.terminator;
  if (term.empty()) return text.size();
  while (pos < text.size()) {
    const void* hit = std::memchr(text.data() + pos, term[0], text.size() - pos);
    if (hit == nullptr) break;
    size_t at = static_cast<const char*>(hit) - text.data();
    if (text.compare(at, term.size(), term) == 0) return at;
    pos = at + 1;
  }
  return text.size();
}

size_t CountByte(const uint8_t* begin, const uint8_t* end, uint8_t b) {
  size_t n = 0;
  while (begin < end) {
    const void* hit = std::memchr(begin, b, end - begin);
    if (hit == nullptr) break;
    ++n;
    begin = static_cast<const uint8_t*>(hit) + 1;
  }
  return n;
}

// A separator that can be neither half of a two-byte character nor a quote
// is found with memchr; any other needs the character-by-character walk.
bool IsPlainSeparator(uint8_t sep) { return sep < 0x40 && sep != kQuote; }

// One line as every pass sees it. A quoted line's sections never reach past
// its first terminator: its quotes up to that terminator are even in number,
// so every section opened before it has closed.
struct LineScan {
  size_t begin = 0;
  size_t end = 0;  // the terminator's offset, or the text's size
  bool quoted = false;
  int64_t separators = 0;
  bool hasContent = false;
  // Every separator ends the field before it: true unless quoted sections
  // or a quote-aware separator complicate the line.
  bool simple = false;
};

void RecordSeparator(LineScan& scan, size_t pos, std::span<size_t> starts) {
  ++scan.separators;
  if (static_cast<size_t>(scan.separators) < starts.size()) starts[scan.separators] = pos + 1;
}

// The bytes of the line from `pos` to its terminator (or the text's end)
// that the simple scan must look at: the separator, quotes and the first
// byte of the terminator. Sixteen bytes are compared at once where the
// processor allows; every such byte is below 0x40 and so never half of a
// two-byte character.
class InterestingBytes {
 public:
  InterestingBytes(const uint8_t* text, size_t size, uint8_t sep, uint8_t terminator)
      : t_(text), size_(size), sep_(sep), term_(terminator) {}

  // The offset of the next interesting byte at or after `pos`, or size.
  size_t Next(size_t pos) const {
#if defined(__SSE2__)
    const __m128i sep = _mm_set1_epi8(static_cast<char>(sep_));
    const __m128i quote = _mm_set1_epi8(static_cast<char>(kQuote));
    const __m128i term = _mm_set1_epi8(static_cast<char>(term_));
    while (pos + 16 <= size_) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t_ + pos));
      const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, sep), _mm_cmpeq_epi8(v, quote)),
                                        _mm_cmpeq_epi8(v, term));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
      if (mask != 0) return pos + static_cast<size_t>(__builtin_ctz(mask));
      pos += 16;
    }
#endif
    for (; pos < size_; ++pos) {
      const uint8_t b = t_[pos];
      if (b == sep_ || b == kQuote || b == term_) return pos;
    }
    return size_;
  }

 private:
  const uint8_t* t_;
  size_t size_;
  uint8_t sep_;
  uint8_t term_;
};

#if defined(__SSE2__)
// The separators, quotes and terminators among the 64 bytes at `p`, one bit
// a byte. With a CR LF terminator, only a CR followed by LF counts, so the
// byte after the 64 is read too.
struct WindowMasks {
  uint64_t separators = 0;
  uint64_t quotes = 0;
  uint64_t terminators = 0;
};

WindowMasks MasksOf(const uint8_t* p, uint8_t sep, uint8_t first, bool pair) {
  const __m128i sepByte = _mm_set1_epi8(static_cast<char>(sep));
  const __m128i quoteByte = _mm_set1_epi8(static_cast<char>(kQuote));
  const __m128i firstByte = _mm_set1_epi8(static_cast<char>(first));
  const __m128i lf = _mm_set1_epi8('\n');
  WindowMasks m;
  for (int i = 0; i < 4; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const int shift = 16 * i;
    auto bits = [shift](__m128i eq) {
      return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(eq))) << shift;
    };
    __m128i term = _mm_cmpeq_epi8(v, firstByte);
    if (pair) {
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i + 1));
      term = _mm_and_si128(term, _mm_cmpeq_epi8(next, lf));
    }
    m.separators |= bits(_mm_cmpeq_epi8(v, sepByte));
    m.quotes |= bits(_mm_cmpeq_epi8(v, quoteByte));
    m.terminators |= bits(term);
  }
  return m;
}
#endif

// The common case in one pass over the line's bytes: a CR LF, LF or CR
// terminator and a separator that is never part of a two-byte character or
// a quote. Gives false, having found only the line's end, when the line
// turns out to be a quoted line with quotes in it.
bool ScanSimpleLine(const TextView& view, uint8_t sep, std::span<size_t> starts,
                    LineScan& scan) {
  const uint8_t* t = Bytes(view);
  const size_t size = view.text.size();
  const auto first = static_cast<uint8_t>(view.terminator[0]);
  const bool pair = view.terminator.size() == 2;
  size_t quotes = 0;
  size_t pos = scan.begin;
  bool ended = false;
#if defined(__SSE2__)
  // Sixty-four bytes at a time while they and the byte after them lie in
  // the text: the line's separators are taken from one mask, in order,
  // instead of one search each.
  while (!ended && pos + 65 <= size) {
    const WindowMasks m = MasksOf(t + pos, sep, first, pair);
    // Only what lies before the line's terminator belongs to the line.
    const uint64_t before = m.terminators != 0 ? (m.terminators & (0 - m.terminators)) - 1 : ~uint64_t{0};
    for (uint64_t seps = m.separators & before; seps != 0; seps &= seps - 1)
      RecordSeparator(scan, pos + static_cast<size_t>(__builtin_ctzll(seps)), starts);
    for (uint64_t q = m.quotes & before; q != 0; q &= q - 1) ++quotes;
    if (m.terminators != 0) {
      pos += static_cast<size_t>(__builtin_ctzll(m.terminators));
      ended = true;
    } else {
      pos += 64;
    }
  }
#endif
  if (!ended) {
    InterestingBytes interesting(t, size, sep, first);
    for (pos = interesting.Next(pos); pos < size; pos = interesting.Next(pos + 1)) {
      const uint8_t b = t[pos];
      if (b == first && (!pair || (pos + 1 < size && t[pos + 1] == '\n'))) break;
      if (b == sep)
        RecordSeparator(scan, pos, starts);
      else if (b == kQuote)
        ++quotes;
    }
  }
  scan.end = pos;
  scan.quoted = quotes % 2 == 0;
  if (scan.quoted && quotes > 0) {
    scan.separators = 0;
    return false;
  }
  scan.hasContent = static_cast<int64_t>(scan.end - scan.begin) > scan.separators;
  scan.simple = true;
  return true;
}

// Walks the line at `begin`, counting separators and content and recording
// the starts of the first `starts.size()` fields (those that exist).
LineScan ScanLine(const TextView& view, size_t begin, uint8_t sep, std::span<size_t> starts) {
  const uint8_t* t = Bytes(view);
  LineScan scan;
  scan.begin = begin;
  if (!starts.empty()) starts[0] = begin;
  if (IsPlainSeparator(sep) && (view.terminator == "\r\n" || view.terminator == "\n" ||
                                view.terminator == "\r")) {
    if (ScanSimpleLine(view, sep, starts, scan)) return scan;
  } else {
    scan.end = FindLineEnd(view, begin);
    scan.quoted = CountByte(t + begin, t + scan.end, kQuote) % 2 == 0;
  }

  const uint8_t* end = t + scan.end;
  size_t pos = begin;
  while (pos < scan.end) {
    const uint8_t b = t[pos];
    if (scan.quoted && b == kQuote) {
      const void* close = std::memchr(t + pos + 1, kQuote, scan.end - pos - 1);
      size_t after = close ? static_cast<const uint8_t*>(close) - t + 1 : scan.end;
      if (after - pos > 2 || (!close && after > pos + 1)) scan.hasContent = true;
      pos = after;
      continue;
    }
    const size_t len = GbkCharLength(t + pos, end);
    if (len == 1 && b == sep)
      RecordSeparator(scan, pos, starts);
    else
      scan.hasContent = true;
    pos += len;
  }
  return scan;
}

struct FieldValue {
  size_t offset = 0;
  size_t length = 0;     // as copied into a cell
  bool wasCut = false;   // longer than the cell could hold
};

// The value of field `n` of `line`, cut to fit a cell of `capacity` bytes.
// `starts` are the field starts ScanLine recorded; on a simple line the
// next field's start, when recorded, marks where this value ends.
FieldValue ValueAt(const TextView& view, const LineScan& line, std::span<const size_t> starts,
                   size_t n, uint8_t sep, size_t capacity) {
  const uint8_t* t = Bytes(view);
  const size_t start = starts[n];
  FieldValue v;
  v.offset = start;
  if (start >= line.end) return v;
  size_t stop;
  if (line.simple && static_cast<int64_t>(n) < line.separators && n + 1 < starts.size()) {
    stop = starts[n + 1] - 1;
  } else if (line.quoted && t[start] == kQuote) {
    // A quoted value runs to the next quote; a doubled quote is no escape.
    v.offset = start + 1;
    const void* close = std::memchr(t + v.offset, kQuote, line.end - v.offset);
    stop = close ? static_cast<const uint8_t*>(close) - t : line.end;
  } else if (t[start] == sep && GbkCharLength(t + start, t + line.end) == 1) {
    return v;
  } else if (IsPlainSeparator(sep)) {
    // Quotes inside an unquoted value are ordinary bytes here.
    const void* hit = std::memchr(t + start, sep, line.end - start);
    stop = hit ? static_cast<const uint8_t*>(hit) - t : line.end;
  } else {
    const uint8_t* end = t + line.end;
    stop = start;
    while (stop < line.end) {
      const size_t len = GbkCharLength(t + stop, end);
      // In a quoted line a quote is never a separator, not even here.
      if (len == 1 && t[stop] == sep && !(line.quoted && sep == kQuote)) break;
      stop += len;
    }
  }
  const size_t limit = capacity > 0 ? capacity - 1 : 0;
  const size_t length = stop - v.offset;
  v.length = length <= limit ? length : CutGbk(view.text.substr(v.offset, length), limit).size();
  v.wasCut = v.length < length;
  return v;
}

int32_t CountFieldsOfScan(const LineScan& scan) {
  // A 32-bit count, wrapping as one; DetectSeparator looks at its low 8 bits.
  return static_cast<int32_t>(static_cast<uint32_t>(scan.separators + (scan.hasContent ? 1 : 0)));
}

int32_t ClampFieldCount(int64_t count) {
  return static_cast<int32_t>(std::clamp<int64_t>(count, 1, kMaxColumns));
}

}  // namespace

TextView ViewOf(const TextBuffer& buffer, const FieldTable& table) {
  TextView view;
  view.text = std::string_view(reinterpret_cast<const char*>(buffer.text.data()),
                               static_cast<size_t>(buffer.textEnd));
  const int32_t termLength =
      std::clamp<int32_t>(table.lineTerminatorLength, 0, sizeof table.lineTerminator - 1);
  view.terminator = std::string_view(table.lineTerminator, static_cast<size_t>(termLength));
  // The usual CR LF stands for the file's own line end: a file without any
  // CR LF is cut at LF (or CR), as it was written.
  if (view.terminator == "\r\n") view.terminator = buffer.lineEnd;
  return view;
}

int32_t CountQuotes(const TextView& view, size_t pos) {
  if (pos >= view.text.size()) return 0;
  const uint8_t* t = Bytes(view);
  return static_cast<int32_t>(CountByte(t + pos, t + FindLineEnd(view, pos), kQuote));
}

namespace {
// The start of the line after the one whose terminator is at `end`.
std::optional<size_t> LineAfter(const TextView& view, size_t end) {
  if (end >= view.text.size()) return std::nullopt;
  const size_t next = end + view.terminator.size();
  if (next >= view.text.size()) return std::nullopt;
  return next;
}
}  // namespace

std::optional<size_t> NextLine(const TextView& view, size_t pos) {
  return LineAfter(view, FindLineEnd(view, pos));
}

std::optional<size_t> SkipLines(const TextView& view, size_t pos, int32_t n) {
  std::optional<size_t> line = pos;
  for (int32_t i = 0; i < n && line; ++i) line = NextLine(view, *line);
  return line;
}

int32_t CountFields(const TextView& view, std::optional<size_t> pos, uint8_t separator) {
  if (!pos) return 0;
  return CountFieldsOfScan(ScanLine(view, *pos, separator, {}));
}

std::string_view ExtractField(const TextView& view, size_t pos, uint8_t separator, int32_t n,
                              size_t capacity) {
  if (n < 0) return {};
  std::vector<size_t> starts(static_cast<size_t>(n) + 2);
  const LineScan scan = ScanLine(view, pos, separator, starts);
  if (scan.separators < n) return {};
  const FieldValue v = ValueAt(view, scan, starts, static_cast<size_t>(n), separator, capacity);
  return view.text.substr(v.offset, v.length);
}

namespace {

// The CR LF, LF or CR terminators that start in [begin, end) and have a
// byte after them: each begins a line. None of the three can overlap
// itself, so counting them where they stand counts what the line-by-line
// walk finds.
int64_t CountLineStarts(const TextView& view, size_t begin, size_t end) {
  const uint8_t* t = Bytes(view);
  const size_t size = view.text.size();
  const bool pair = view.terminator.size() == 2;
  const auto first = static_cast<uint8_t>(view.terminator[0]);
  // A terminator must end before the last byte.
  const size_t stop = std::min(end, size >= view.terminator.size() + 1
                                        ? size - view.terminator.size() : 0);
  int64_t count = 0;
  size_t i = begin;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8(static_cast<char>(first));
  const __m128i lf = _mm_set1_epi8('\n');
  while (i + 17 <= stop + 1 && i + 17 <= size) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, cr)));
    if (pair) {
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + 1));
      mask &= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(next, lf)));
    }
    // Line ends are a few in sixteen bytes: clearing them one by one beats
    // the library's population count on processors without the instruction.
    for (; mask != 0; mask &= mask - 1) ++count;
    i += 16;
  }
#endif
  for (; i < stop; ++i)
    if (t[i] == first && (!pair || t[i + 1] == '\n')) ++count;
  return count;
}

}  // namespace

void CountTextLines(const TextBuffer& buffer, const FieldTable& table, CellTable& cells) {
  const TextView view = ViewOf(buffer, table);
  int64_t lines = 1;
  if (view.terminator == "\r\n" || view.terminator == "\n" || view.terminator == "\r") {
    const size_t size = view.text.size();
    const int parts = WorkParts(size, size_t{2} << 20);
    std::array<int64_t, kMaxWorkParts> counts{};
    RunParts(parts, [&](int k) {
      const PartRange range = RangeOfPart(size, parts, k);
      counts[k] = CountLineStarts(view, range.begin, range.end);
    });
    for (int k = 0; k < parts; ++k) lines += counts[k];
  } else {
    for (std::optional<size_t> line = NextLine(view, 0); line; line = NextLine(view, *line)) ++lines;
  }
  cells.lineCount = static_cast<int32_t>(lines);
}

void DetectSeparator(const TextBuffer& buffer, FieldTable& table, CellTable& cells) {
  const TextView view = ViewOf(buffer, table);
  cells.fieldsPerLine = 0;
  const std::optional<size_t> lineA = SkipLines(view, 0, table.startLine);
  const std::optional<size_t> lineB = lineA ? NextLine(view, *lineA) : std::nullopt;

  // Counts compare as 8-bit values (260 fields count as 4): lines that long
  // are far past the 32 columns kept, and the rule stays the same for all.
  auto count8 = [&](std::optional<size_t> line, uint8_t sep) {
    return static_cast<uint8_t>(CountFields(view, line, sep));
  };
  const uint8_t selected = SelectedSeparator(table).code;
  const uint8_t a = count8(lineA, selected);
  if (a > 2 && a == count8(lineB, selected)) {
    cells.fieldsPerLine = a;
  } else {
    int best = -1;
    uint8_t bestCount = 0;
    const int count = std::min<int>(table.separatorCount, kMaxSeparators);
    for (int i = 0; i < count; ++i) {
      const uint8_t code = table.separators[i].code;
      const uint8_t onA = count8(lineA, code);
      if (onA > 0 && onA == count8(lineB, code) && (best < 0 || onA > bestCount)) {
        best = i;
        bestCount = onA;
      }
    }
    if (best >= 0) {
      cells.fieldsPerLine = bestCount;
      table.separatorIndex = static_cast<uint8_t>(best);
    }
  }
  cells.fieldsPerLine = ClampFieldCount(cells.fieldsPerLine);
}

void RecountFields(const TextBuffer& buffer, const FieldTable& table, CellTable& cells) {
  const TextView view = ViewOf(buffer, table);
  const int64_t skip = static_cast<int64_t>(table.startLine) - 1;
  const std::optional<size_t> line =
      SkipLines(view, 0, static_cast<int32_t>(std::max<int64_t>(skip, 0)));
  const int64_t count =
      line ? [&] {
        const LineScan scan = ScanLine(view, *line, SelectedSeparator(table).code, {});
        return scan.separators + (scan.hasContent ? 1 : 0);
      }()
           : 0;
  cells.fieldsPerLine = ClampFieldCount(count);
}

bool ClampStartLine(FieldTable& table, const CellTable& cells) {
  if (static_cast<uint32_t>(table.startLine) < static_cast<uint32_t>(cells.lineCount)) return true;
  table.startLine = cells.lineCount - 1;
  return false;
}

namespace {

// Lines are cut on several threads only in parts of at least this many bytes.
constexpr size_t kMinBytesPerPart = size_t{1} << 20;

// What one part of the text was cut into: rows of lines that start in
// [begin, end), numbered from 1 within the part, their cells indexed from 0.
struct CutPart {
  size_t begin = 0;
  size_t end = 0;
  BulkVector<uint32_t> rowFirstCell;
  BulkVector<uint32_t> cellRef;
  // The fewest and the most cells a row of the part stores.
  size_t fewestCells = SIZE_MAX;
  size_t mostCells = 0;
  std::array<uint8_t, kMaxColumns> columnWidths{};
  CutReport report;
};

// Cuts the lines that start in [part.begin, part.end), at most `maxRows` of
// them, into the part's rows. Each stored cell holds at least one byte of
// text, so the part's bytes bound its cells however many columns there are.
// Part 0 is the table's own store, which takes the other parts after it:
// it is sized for the whole text from the start, so that it never moves.
void CutLines(const TextView& view, uint8_t sep, size_t columns, size_t maxRows, CutPart& part,
              bool holdsAll) {
  const size_t bytes = (holdsAll ? view.text.size() : part.end) - part.begin;
  part.rowFirstCell.reserve(std::min(maxRows, bytes) + 1);
  const size_t cellBound = std::min(std::min(maxRows, bytes) * columns, bytes);
  part.cellRef.reserve(cellBound);

  // One start more than the columns: a simple line's last value ends there.
  std::array<size_t, kMaxColumns + 1> starts{};
  std::array<FieldValue, kMaxColumns> values{};
  std::optional<size_t> line = part.begin;
  for (size_t row = 1; row <= maxRows && line && *line < part.end; ++row) {
    part.rowFirstCell.push_back(static_cast<uint32_t>(part.cellRef.size()));
    const LineScan scan = ScanLine(view, *line, sep, std::span(starts.data(), columns + 1));
    if (scan.separators + (scan.hasContent ? 1 : 0) > kMaxColumns) ++part.report.linesOverMaxColumns;
    const size_t present = static_cast<size_t>(std::min<int64_t>(scan.separators + 1, columns));
    size_t stored = 0;
    for (size_t c = 0; c < present; ++c) {
      values[c] = ValueAt(view, scan, std::span(starts.data(), columns + 1), c, sep,
                          kCellBufferSize);
      if (values[c].length > 0) stored = c + 1;
      if (values[c].length > part.columnWidths[c])
        part.columnWidths[c] = static_cast<uint8_t>(values[c].length);
      if (values[c].wasCut && part.report.cutCells++ == 0) {
        part.report.firstCutRow = static_cast<int32_t>(row);
        part.report.firstCutColumn = static_cast<int32_t>(c + 1);
      }
    }
    for (size_t c = 0; c < stored; ++c)
      part.cellRef.push_back(MakeCellRef(values[c].offset, values[c].length));
    part.fewestCells = std::min(part.fewestCells, stored);
    part.mostCells = std::max(part.mostCells, stored);
    line = LineAfter(view, scan.end);
  }
}

// Where part k of the lines from `first` on begins: the start of the first
// line after the middle of its share. Any terminator found is one the
// line-by-line walk finds too, since none of CR LF, LF and CR can overlap
// itself.
size_t PartStart(const TextView& view, size_t first, int parts, int k) {
  if (k == 0) return first;
  if (k == parts) return view.text.size();
  const size_t middle = first + RangeOfPart(view.text.size() - first, parts, k).begin;
  const std::optional<size_t> next = NextLine(view, middle);
  return next ? *next : view.text.size();
}

}  // namespace

void BuildCellTable(const TextBuffer& buffer, const FieldTable& table, CellTable& cells) {
  cells.rowFirstCell.clear();
  cells.rowFirstCell.shrink_to_fit();
  cells.cellRef.clear();
  cells.cellRef.shrink_to_fit();
  cells.storedRows = 0;
  cells.cellsPerRow = 0;
  cells.report = CutReport{};
  cells.text = buffer.text.data();
  cells.columnCount = std::clamp<int32_t>(cells.fieldsPerLine, 0, kMaxColumns);
  const int64_t rows = static_cast<int64_t>(cells.lineCount) - table.startLine;
  cells.rowCount = rows > 0 && rows <= std::numeric_limits<int32_t>::max()
                       ? static_cast<int32_t>(rows) : 0;
  std::fill(cells.columnWidths.begin(), cells.columnWidths.end(), 0);
  if (cells.rowCount == 0) return;

  const TextView view = ViewOf(buffer, table);
  const uint8_t sep = SelectedSeparator(table).code;
  const size_t columns = static_cast<size_t>(cells.columnCount);
  const size_t maxRows = static_cast<size_t>(std::min<int64_t>(cells.rowCount, cells.lineCount));
  const std::optional<size_t> first = SkipLines(view, 0, table.startLine);
  if (!first) return;
  // Parts need line ends that the middle of a line cannot fake.
  const bool splittable = view.terminator == "\r\n" || view.terminator == "\n" || view.terminator == "\r";
  int parts = splittable ? WorkParts(view.text.size() - *first, kMinBytesPerPart) : 1;
  std::array<CutPart, kMaxWorkParts> cut;
  for (int k = 0; k < parts; ++k) {
    cut[k].begin = PartStart(view, *first, parts, k);
    cut[k].end = PartStart(view, *first, parts, k + 1);
  }
  // Part 0 cuts straight into the table; the others are appended after it.
  cut[0].rowFirstCell = std::move(cells.rowFirstCell);
  cut[0].cellRef = std::move(cells.cellRef);
  RunParts(parts, [&](int k) { CutLines(view, sep, columns, maxRows, cut[k], k == 0); });
  size_t cutRows = 0;
  for (int k = 0; k < parts; ++k) cutRows += cut[k].rowFirstCell.size();
  if (parts > 1 && cutRows > maxRows) {
    // A line count older than the text: the walk stops after maxRows rows,
    // and so must the report; the one-part cut does exactly that.
    cut[0].rowFirstCell.clear();
    cut[0].cellRef.clear();
    cut[0].fewestCells = SIZE_MAX;
    cut[0].mostCells = 0;
    cut[0].columnWidths = {};
    cut[0].report = CutReport{};
    cut[0].end = view.text.size();
    parts = 1;
    CutLines(view, sep, columns, maxRows, cut[0], true);
  }

  // Where each part's rows and cells go.
  std::array<size_t, kMaxWorkParts + 1> rowAt{}, cellAt{};
  size_t fewestCells = SIZE_MAX, mostCells = 0;
  for (int k = 0; k < parts; ++k) {
    rowAt[k + 1] = rowAt[k] + cut[k].rowFirstCell.size();
    cellAt[k + 1] = cellAt[k] + cut[k].cellRef.size();
    fewestCells = std::min(fewestCells, cut[k].fewestCells);
    mostCells = std::max(mostCells, cut[k].mostCells);
  }
  // Rows that all store the same number of cells need no index: it would
  // only repeat one multiplication.
  const bool uniform = fewestCells == mostCells;
  cells.storedRows = static_cast<int32_t>(rowAt[parts]);
  cells.cellsPerRow = uniform ? static_cast<int32_t>(mostCells) : 0;
  cells.rowFirstCell = std::move(cut[0].rowFirstCell);
  cells.cellRef = std::move(cut[0].cellRef);
  if (uniform)
    ReleaseBlock(cells.rowFirstCell);
  else
    cells.rowFirstCell.resize(rowAt[parts] + 1);
  cells.cellRef.resize(cellAt[parts]);
  RunParts(parts, [&](int k) {
    if (k == 0) return;
    const CutPart& part = cut[k];
    if (!uniform)
      for (size_t r = 0; r < part.rowFirstCell.size(); ++r)
        cells.rowFirstCell[rowAt[k] + r] = static_cast<uint32_t>(cellAt[k] + part.rowFirstCell[r]);
    std::copy(part.cellRef.begin(), part.cellRef.end(), cells.cellRef.begin() + cellAt[k]);
  });
  if (!uniform) cells.rowFirstCell[rowAt[parts]] = static_cast<uint32_t>(cellAt[parts]);

  for (int k = 0; k < parts; ++k) {
    for (size_t c = 0; c < kMaxColumns; ++c)
      cells.columnWidths[c] = std::max(cells.columnWidths[c], cut[k].columnWidths[c]);
    const CutReport& part = cut[k].report;
    if (part.cutCells > 0 && cells.report.cutCells == 0) {
      cells.report.firstCutRow = static_cast<int32_t>(rowAt[k]) + part.firstCutRow;
      cells.report.firstCutColumn = part.firstCutColumn;
    }
    cells.report.cutCells += part.cutCells;
    cells.report.linesOverMaxColumns += part.linesOverMaxColumns;
  }
}

bool CutLoadedText(const TextBuffer& buffer, FieldTable& table, CellTable& cells) {
  CountTextLines(buffer, table, cells);
  DetectSeparator(buffer, table, cells);
  const bool kept = ClampStartLine(table, cells);
  BuildCellTable(buffer, table, cells);
  return kept;
}

void RecutForSeparator(const TextBuffer& buffer, const FieldTable& table, CellTable& cells) {
  RecountFields(buffer, table, cells);
  BuildCellTable(buffer, table, cells);
}

bool RecutForStartLine(const TextBuffer& buffer, FieldTable& table, CellTable& cells) {
  CountTextLines(buffer, table, cells);
  const bool kept = ClampStartLine(table, cells);
  BuildCellTable(buffer, table, cells);
  return kept;
}

}  // namespace tabrelium
