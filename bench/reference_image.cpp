// The plain program the CLI's `image` command is measured against: what a
// first attempt at the same job looks like. It reads the whole file, splits
// lines at CR LF and fields at the comma, skips the heading line, takes the
// chosen columns (1 and 2, or 1 alone), lays out the fixed-width records,
// sorts them whole with the C library's qsort (each record carries its row
// number behind it, so that equal keys keep the file's order) and writes the
// table image. No quotes, no cut cells, no encodings: on the generated
// product lists it writes the same bytes as the engine.
//
// With --huge-pages its three big blocks come from the kernel in 2 MiB
// pages, as the engine's do: on a virtual machine a first attempt spends
// most of its time in page faults, and this shows how much of the gap is
// that alone.
//
//   reference_image IN.csv OUT.img [1|1,2] [--huge-pages]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

#include <sys/mman.h>

namespace {

bool g_hugePages = false;

// Plain malloc, or with --huge-pages a block of the kernel's huge pages.
template <typename T>
struct BlockAllocator {
  using value_type = T;
  BlockAllocator() = default;
  template <typename U>
  BlockAllocator(const BlockAllocator<U>&) {}
  T* allocate(size_t n) {
    if (!g_hugePages) return static_cast<T*>(std::malloc(n * sizeof(T)));
    void* p = mmap(nullptr, n * sizeof(T), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    madvise(p, n * sizeof(T), MADV_HUGEPAGE);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) {
    if (g_hugePages)
      munmap(p, n * sizeof(T));
    else
      std::free(p);
  }
  friend bool operator==(const BlockAllocator&, const BlockAllocator&) { return true; }
};
template <typename T>
using Block = std::vector<T, BlockAllocator<T>>;

struct Field {
  const char* name;  // GBK
  uint8_t rows;
};
// The engine's default fields: "条码" (1 line) and "名称" (2 lines).
constexpr Field kFields[2] = {{"\xCC\xF5\xC2\xEB", 1}, {"\xC3\xFB\xB3\xC6", 2}};

struct Line {
  std::string_view cells[2];
};

size_t g_keyLength = 0;     // the first field's width, for the comparison
size_t g_recordLength = 0;  // a record's bytes, without the row behind it

int CompareRecords(const void* a, const void* b) {
  const auto* x = static_cast<const uint8_t*>(a);
  const auto* y = static_cast<const uint8_t*>(b);
  if (const int c = std::memcmp(x + 1, y + 1, g_keyLength); c != 0) return c;
  uint32_t rowX, rowY;
  std::memcpy(&rowX, x + g_recordLength, 4);
  std::memcpy(&rowY, y + g_recordLength, 4);
  return rowX < rowY ? -1 : rowX > rowY;
}

void PutLe(uint8_t* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: reference_image IN OUT [1|1,2] [--huge-pages]\n");
    return 2;
  }
  const int fieldCount = argc > 3 && std::string_view(argv[3]) == "1" ? 1 : 2;
  g_hugePages = argc > 4 && std::string_view(argv[4]) == "--huge-pages";

  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) return 1;
  std::fseek(in, 0, SEEK_END);
  const size_t size = static_cast<size_t>(std::ftell(in));
  std::fseek(in, 0, SEEK_SET);
  Block<char> text;
  text.reserve(size);
  text.resize(size);
  if (std::fread(text.data(), 1, size, in) != size) return 1;
  std::fclose(in);

  Block<Line> lines;
  lines.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  size_t widths[2] = {0, 0};
  const std::string_view all(text.data(), size);
  size_t pos = all.find("\r\n");  // the heading line
  pos = pos == std::string_view::npos ? all.size() : pos + 2;
  while (pos < all.size()) {
    size_t end = all.find("\r\n", pos);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view line = all.substr(pos, end - pos);
    Line cut;
    size_t start = 0;
    for (int c = 0; c < fieldCount; ++c) {
      const size_t from = std::min(start, line.size());
      const size_t comma = std::min(line.find(',', from), line.size());
      cut.cells[c] = line.substr(from, comma - from);
      widths[c] = std::max(widths[c], cut.cells[c].size());
      start = comma + 1;
    }
    lines.push_back(cut);
    pos = end + 2;
  }

  g_keyLength = widths[0];
  g_recordLength = 1;
  for (int c = 0; c < fieldCount; ++c) g_recordLength += widths[c];
  const size_t sortLength = g_recordLength + 4;
  Block<uint8_t> records(lines.size() * sortLength, ' ');
  for (size_t i = 0; i < lines.size(); ++i) {
    uint8_t* out = records.data() + i * sortLength;
    size_t at = 1;
    for (int c = 0; c < fieldCount; ++c) {
      std::memcpy(out + at, lines[i].cells[c].data(), lines[i].cells[c].size());
      at += widths[c];
    }
    const auto row = static_cast<uint32_t>(i);
    std::memcpy(out + g_recordLength, &row, 4);
  }
  std::qsort(records.data(), lines.size(), sortLength, CompareRecords);
  // Drop the rows from behind the sorted records, front to back in place.
  for (size_t i = 0; i < lines.size(); ++i)
    std::memmove(records.data() + i * g_recordLength, records.data() + i * sortLength,
                 g_recordLength);

  const size_t headerLength = 32 * (fieldCount + 1) + 1;
  uint8_t header[32 * 3 + 1] = {};
  const std::time_t now = std::time(nullptr);
  std::tm date{};
  localtime_r(&now, &date);
  header[0] = 0x03;
  header[1] = static_cast<uint8_t>(date.tm_year);
  header[2] = static_cast<uint8_t>(date.tm_mon + 1);
  header[3] = static_cast<uint8_t>(date.tm_mday);
  PutLe(header + 4, static_cast<uint32_t>(lines.size()), 4);
  PutLe(header + 8, static_cast<uint32_t>(headerLength), 2);
  PutLe(header + 10, static_cast<uint32_t>(g_recordLength), 2);
  size_t offset = 1;
  for (int c = 0; c < fieldCount; ++c) {
    uint8_t* d = header + 32 * (c + 1);
    std::memcpy(d, kFields[c].name, std::strlen(kFields[c].name));
    d[11] = 'C';
    PutLe(d + 12, static_cast<uint32_t>(offset), 4);
    d[16] = static_cast<uint8_t>(widths[c]);
    d[18] = kFields[c].rows;
    offset += widths[c];
  }
  header[32 * (fieldCount + 1)] = 0x0D;

  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) return 1;
  const size_t recordBytes = lines.size() * g_recordLength;
  const bool written = std::fwrite(header, 1, headerLength, file) == headerLength &&
                       std::fwrite(records.data(), 1, recordBytes, file) == recordBytes;
  return std::fclose(file) == 0 && written ? 0 : 1;
}
