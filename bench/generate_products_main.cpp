// generate_products: writes one benchmark input, so that whole processes
// (tabrelium-cli) can be timed on the same bytes the benchmarks use.
//
//   generate_products ROWS OUT [--seed S]
//   generate_products --bytes N OUT [--seed S]
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "bench/generate_products.h"

namespace {

constexpr char kUsage[] =
    "usage: generate_products ROWS OUT [--seed S]\n"
    "       generate_products --bytes N OUT [--seed S]\n";

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

int main(int argc, char** argv) {
  using tabrelium::bench::ProductFileLimit;
  bool byBytes = false;
  uint64_t seed = tabrelium::bench::kDefaultProductSeed;
  std::string_view positional[2];
  int positionals = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--bytes") {
      byBytes = true;
    } else if (arg == "--seed" && i + 1 < argc) {
      if (!ParseNumber(std::string_view(argv[++i]), seed)) positionals = -1;
    } else if (positionals >= 0 && positionals < 2) {
      positional[positionals++] = arg;
    } else {
      positionals = -1;
    }
    if (positionals < 0) break;
  }
  int64_t count = 0;
  if (positionals != 2 || !ParseNumber(positional[0], count) || count < 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string out(positional[1]);
  const auto limit = byBytes ? ProductFileLimit::Bytes(count) : ProductFileLimit::Rows(count);
  const auto stats = tabrelium::bench::WriteProductFile(out, limit, seed);
  if (!stats) {
    std::fprintf(stderr, "generate_products: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("%s rows=%lld bytes=%lld\n", out.c_str(), static_cast<long long>(stats->rows),
              static_cast<long long>(stats->bytes));
  return 0;
}
