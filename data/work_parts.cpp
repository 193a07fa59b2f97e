#include "data/work_parts.h"

#include <algorithm>
#include <atomic>

namespace tabrelium {
namespace {
std::atomic<int> g_engineThreads{0};
}  // namespace

void SetEngineThreads(int threads) { g_engineThreads = std::clamp(threads, 0, kMaxWorkParts); }

int EngineThreads() {
  const int set = g_engineThreads;
  if (set > 0) return set;
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores, 1, kMaxWorkParts);
}

int WorkParts(size_t items, size_t minItemsPerPart) {
  const size_t worth = minItemsPerPart == 0 ? items : items / minItemsPerPart;
  return static_cast<int>(std::clamp<size_t>(worth, 1, static_cast<size_t>(EngineThreads())));
}

}  // namespace tabrelium
