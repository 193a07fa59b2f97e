#include "bench/generate_products.h"

#include <cstdio>
#include <memory>
#include <string>

namespace tabrelium::bench {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// "条码,名称,价格,库存" in GBK.
constexpr char kHeading[] =
    "\xCC\xF5\xC2\xEB,\xC3\xFB\xB3\xC6,\xBC\xDB\xB8\xF1,\xBF\xE2\xB4\xE6\r\n";

// Bytes gathered before each write; large enough that the write calls cost
// nothing next to making the lines.
constexpr size_t kChunkBytes = 1 << 20;

// Makes the product lines, all from one seed.
class LineMaker {
 public:
  explicit LineMaker(uint64_t seed) : state_(seed) {}

  void AppendLine(std::string& out) {
    AppendBarcode(out);
    out += ',';
    AppendName(out);
    char tail[32];
    const auto cents = Below(99901) + 100;  // 1.00 .. 999.99
    const auto stock = Below(10000);
    const int n = std::snprintf(tail, sizeof tail, ",%u.%02u,%u\r\n",
                                static_cast<unsigned>(cents / 100),
                                static_cast<unsigned>(cents % 100), static_cast<unsigned>(stock));
    out.append(tail, static_cast<size_t>(n));
  }

 private:
  // splitmix64: tiny, fast, and the same on every compiler, which the
  // standard library's distributions are not.
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t bound) { return Next() % bound; }

  // An EAN-13 of a Chinese maker ("69" prefix) with its check digit, in no
  // particular order, so the image's sort has real work to do.
  void AppendBarcode(std::string& out) {
    char digits[13];
    digits[0] = '6';
    digits[1] = '9';
    uint64_t r = Next();
    for (int i = 2; i < 12; ++i, r /= 10) digits[i] = static_cast<char>('0' + r % 10);
    int sum = 0;
    for (int i = 0; i < 12; ++i) sum += (digits[i] - '0') * (i % 2 == 0 ? 1 : 3);
    digits[12] = static_cast<char>('0' + (10 - sum % 10) % 10);
    out.append(digits, sizeof digits);
  }

  // 2 to 12 characters from GB2312's first level (rows 0xB0..0xD7), which
  // holds the common characters; the last five places of row 0xD7 are empty.
  void AppendName(std::string& out) {
    const auto length = 2 + Below(11);
    for (uint64_t i = 0; i < length; ++i) {
      const auto lead = static_cast<unsigned char>(0xB0 + Below(0xD7 - 0xB0 + 1));
      const auto lastTrail = lead == 0xD7 ? 0xF9 : 0xFE;
      const auto trail = static_cast<unsigned char>(0xA1 + Below(lastTrail - 0xA1 + 1));
      out += static_cast<char>(lead);
      out += static_cast<char>(trail);
    }
  }

  uint64_t state_;
};

bool WriteAll(std::FILE* f, const std::string& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

}  // namespace

std::optional<ProductFileStats> WriteProductFile(const std::string& path, ProductFileLimit limit,
                                                 uint64_t seed) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) return std::nullopt;
  const bool byRows = limit.kind == ProductFileLimit::Kind::kRows;

  ProductFileStats stats;
  std::string chunk = kHeading;
  if (!byRows && static_cast<int64_t>(chunk.size()) > limit.value) chunk.clear();
  stats.bytes = static_cast<int64_t>(chunk.size());
  LineMaker maker(seed);
  std::string line;
  for (;;) {
    if (byRows && stats.rows >= limit.value) break;
    line.clear();
    maker.AppendLine(line);
    if (!byRows && stats.bytes + static_cast<int64_t>(line.size()) > limit.value) break;
    chunk += line;
    stats.bytes += static_cast<int64_t>(line.size());
    ++stats.rows;
    if (chunk.size() >= kChunkBytes) {
      if (!WriteAll(file.get(), chunk)) return std::nullopt;
      chunk.clear();
    }
  }
  if (!WriteAll(file.get(), chunk)) return std::nullopt;
  if (std::fclose(file.release()) != 0) return std::nullopt;
  return stats;
}

}  // namespace tabrelium::bench
