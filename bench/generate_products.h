// Synthetic product lists for the benchmarks: GBK CSV files shaped like the
// shop data the tool is made for (a heading line, then barcode, name, price
// and stock per line, CR LF line ends). The same seed always gives the same
// bytes, so runs on different days measure the same input.
//
// Thread-safety: plain functions; each call owns the file it writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tabrelium::bench {

inline constexpr uint64_t kDefaultProductSeed = 20240611;

// How long a file grows: a number of product lines, or as many whole lines
// as fit in a number of bytes (the heading line counts towards the bytes).
struct ProductFileLimit {
  enum class Kind { kRows, kBytes } kind = Kind::kRows;
  int64_t value = 0;

  static ProductFileLimit Rows(int64_t rows) { return {Kind::kRows, rows}; }
  static ProductFileLimit Bytes(int64_t bytes) { return {Kind::kBytes, bytes}; }
};

struct ProductFileStats {
  int64_t rows = 0;   // product lines, the heading not counted
  int64_t bytes = 0;  // file size
};

// Writes the file at `path`, replacing any file there. Returns nothing when
// the file cannot be created or written completely.
std::optional<ProductFileStats> WriteProductFile(const std::string& path, ProductFileLimit limit,
                                                 uint64_t seed = kDefaultProductSeed);

}  // namespace tabrelium::bench
