// The three inputs every benchmark runs on, by the file names bench/run.sh
// gives them: a file as large as a load takes (64 MiB), one of a million
// products, and one of 440,000 products, whose barcode and name image stays
// just under the 16 MiB a download accepts.
#pragma once

#include <array>
#include <string_view>

#include "bench/generate_products.h"

namespace tabrelium::bench {

struct ProductInput {
  std::string_view label;     // the benchmark name's second part
  std::string_view fileName;  // within the inputs folder
  ProductFileLimit limit;
};

inline const std::array<ProductInput, 3> kProductInputs = {{
    {"64MiB", "products_64mib.csv", ProductFileLimit::Bytes(67108864)},
    {"1M_rows", "products_1000000.csv", ProductFileLimit::Rows(1000000)},
    {"440k_rows", "products_440000.csv", ProductFileLimit::Rows(440000)},
}};

}  // namespace tabrelium::bench
