// The plain program the CLI's `image` command is measured against: what a
// first attempt at the same job looks like. It reads the whole file, splits
// lines at CR LF and fields at the comma, skips the heading line, takes the
// chosen columns (1 and 2, or 1 alone), sorts whole records with std::sort
// and writes the table image. No quotes, no cut cells, no encodings: on the
// generated product lists it writes the same bytes as the engine.
//
//   reference_image IN.csv OUT.img [1|1,2]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Field {
  const char* name;  // GBK
  uint8_t rows;
};
// The engine's default fields: "条码" (1 line) and "名称" (2 lines).
constexpr Field kFields[2] = {{"\xCC\xF5\xC2\xEB", 1}, {"\xC3\xFB\xB3\xC6", 2}};

struct Record {
  std::string_view cells[2];
  uint32_t row;
};

// Compares as the records hold the keys: padded with spaces.
int ComparePadded(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  if (const int c = std::memcmp(a.data(), b.data(), common); c != 0) return c;
  const std::string_view rest = a.size() > common ? a.substr(common) : b.substr(common);
  for (const char ch : rest)
    if (ch != ' ') return (static_cast<unsigned char>(ch) < ' ') == (a.size() > common) ? -1 : 1;
  return 0;
}

void PutLe(uint8_t* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: reference_image IN OUT [1|1,2]\n");
    return 2;
  }
  const int fieldCount = argc > 3 && std::string_view(argv[3]) == "1" ? 1 : 2;

  std::FILE* in = std::fopen(argv[1], "rb");
  if (in == nullptr) return 1;
  std::fseek(in, 0, SEEK_END);
  const long size = std::ftell(in);
  std::fseek(in, 0, SEEK_SET);
  std::vector<char> text(static_cast<size_t>(size));
  if (std::fread(text.data(), 1, text.size(), in) != text.size()) return 1;
  std::fclose(in);

  std::vector<Record> records;
  size_t widths[2] = {0, 0};
  const std::string_view all(text.data(), text.size());
  size_t pos = all.find("\r\n");  // the heading line
  pos = pos == std::string_view::npos ? all.size() : pos + 2;
  for (uint32_t row = 1; pos < all.size(); ++row) {
    size_t end = all.find("\r\n", pos);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view line = all.substr(pos, end - pos);
    Record record{{}, row};
    size_t start = 0;
    for (int c = 0; c < fieldCount; ++c) {
      const size_t comma = std::min(line.find(',', start), line.size());
      record.cells[c] = line.substr(std::min(start, line.size()), comma - std::min(start, line.size()));
      widths[c] = std::max(widths[c], record.cells[c].size());
      start = comma + 1;
    }
    records.push_back(record);
    pos = end + 2;
  }

  std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    const int c = ComparePadded(a.cells[0], b.cells[0]);
    return c != 0 ? c < 0 : a.row < b.row;
  });

  const size_t headerLength = 32 * (fieldCount + 1) + 1;
  size_t recordLength = 1;
  for (int c = 0; c < fieldCount; ++c) recordLength += widths[c];
  std::vector<uint8_t> image(headerLength + records.size() * recordLength, ' ');
  uint8_t* h = image.data();
  std::memset(h, 0, headerLength);
  const std::time_t now = std::time(nullptr);
  std::tm date{};
  localtime_r(&now, &date);
  h[0] = 0x03;
  h[1] = static_cast<uint8_t>(date.tm_year);
  h[2] = static_cast<uint8_t>(date.tm_mon + 1);
  h[3] = static_cast<uint8_t>(date.tm_mday);
  PutLe(h + 4, static_cast<uint32_t>(records.size()), 4);
  PutLe(h + 8, static_cast<uint32_t>(headerLength), 2);
  PutLe(h + 10, static_cast<uint32_t>(recordLength), 2);
  size_t offset = 1;
  for (int c = 0; c < fieldCount; ++c) {
    uint8_t* d = h + 32 * (c + 1);
    std::memcpy(d, kFields[c].name, std::strlen(kFields[c].name));
    d[11] = 'C';
    PutLe(d + 12, static_cast<uint32_t>(offset), 4);
    d[16] = static_cast<uint8_t>(widths[c]);
    d[18] = kFields[c].rows;
    offset += widths[c];
  }
  h[32 * (fieldCount + 1)] = 0x0D;
  uint8_t* out = h + headerLength;
  for (const Record& record : records) {
    out[0] = ' ';
    size_t at = 1;
    for (int c = 0; c < fieldCount; ++c) {
      std::memcpy(out + at, record.cells[c].data(), record.cells[c].size());
      at += widths[c];
    }
    out += recordLength;
  }

  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) return 1;
  const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
  return std::fclose(file) == 0 && written ? 0 : 1;
}
