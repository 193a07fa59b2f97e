// Splitting the engine's long passes (cutting the text, building the table
// image) over the machine's cores. A pass is cut into parts that share no
// writes; part 0 runs on the calling thread, the others on threads of their
// own that end before RunParts returns. One part is the plain single-thread
// path, taken on one core, for small inputs, and whenever the thread count
// is set to 1.
//
// Thread-safety: SetEngineThreads is for start-up and tests; RunParts may be
// called from any thread.
#pragma once

#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace tabrelium {

inline constexpr int kMaxWorkParts = 8;

// 0 (the default) uses the machine's cores, at most kMaxWorkParts; 1 keeps
// every pass on the calling thread.
void SetEngineThreads(int threads);
int EngineThreads();

// How many parts `items` split into when each part should have at least
// `minItemsPerPart` of them to be worth a thread: 1 to EngineThreads().
int WorkParts(size_t items, size_t minItemsPerPart);

// The half-open range [begin, end) of part `k` of `parts` over `items`.
struct PartRange {
  size_t begin;
  size_t end;
};
inline PartRange RangeOfPart(size_t items, int parts, int k) {
  return {items * static_cast<size_t>(k) / static_cast<size_t>(parts),
          items * static_cast<size_t>(k + 1) / static_cast<size_t>(parts)};
}

// Runs part(k) for k in [0, parts) at the same time and returns when all
// have ended; a part that gets no thread of its own runs on the calling one. An exception thrown by a part (an allocation that failed) is
// thrown again here, after every part has ended.
template <typename Part>
void RunParts(int parts, Part&& part) {
  if (parts <= 1) {
    part(0);
    return;
  }
  std::vector<std::exception_ptr> failures(static_cast<size_t>(parts));
  auto guarded = [&](int k) {
    try {
      part(k);
    } catch (...) {
      failures[static_cast<size_t>(k)] = std::current_exception();
    }
  };
  {
    std::vector<std::jthread> threads;
    std::vector<int> here = {0};  // parts run on this thread
    threads.reserve(static_cast<size_t>(parts - 1));
    for (int k = 1; k < parts; ++k) {
      try {
        threads.emplace_back(guarded, k);
      } catch (const std::system_error&) {
        here.push_back(k);  // no thread to be had: the part is done here
      }
    }
    for (const int k : here) guarded(k);
  }  // joined here
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace tabrelium
