// An allocator for the engine's big byte blocks (the loaded text, the cell
// references, the table image). Those blocks are tens of MiB, are written in
// full right after they are sized, and are read many times:
// - resize() leaves new elements uninitialised, because zero-filling 64 MiB
//   only to overwrite it costs as much as the read that follows;
// - blocks of 1 MiB or more are mapped from the kernel, aligned to 2 MiB and
//   offered for huge pages, which cuts the first-touch page faults (the
//   largest single cost of filling such a block on a virtual machine) by 500
//   times, and are unmapped when freed.
// Both are only optimisations: the contents and sizes are those of a plain
// std::vector.
//
// Thread-safety: stateless; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tabrelium {

template <typename T>
class BulkAllocator {
 public:
  static_assert(std::is_trivially_copyable_v<T>, "for plain data only");
  using value_type = T;

  BulkAllocator() = default;
  template <typename U>
  BulkAllocator(const BulkAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    const size_t bytes = n * sizeof(T);
    void* p = bytes >= kHugeBlockBytes ? MapBlock(bytes) : std::malloc(bytes == 0 ? 1 : bytes);
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }

  void deallocate(T* p, size_t n) noexcept {
    if (n * sizeof(T) >= kHugeBlockBytes)
      UnmapBlock(p, n * sizeof(T));
    else
      std::free(p);
  }

  // Default-initialise: no zero fill on resize().
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  friend bool operator==(const BulkAllocator&, const BulkAllocator&) { return true; }

 private:
  static constexpr size_t kHugePage = size_t{2} << 20;
  static constexpr size_t kHugeBlockBytes = size_t{1} << 20;

  // The kernel backs a block's whole 2 MiB extents with huge pages. A short
  // tail stays in small pages, so that it costs what it holds; a long one
  // (over 256 KiB, 64 or more small faults) is rounded up to a huge page,
  // one fault instead of hundreds.
  static constexpr size_t kPage = 4096;
  static constexpr size_t kLongTail = size_t{1} << 20;
  static size_t Rounded(size_t bytes) {
    const size_t tail = bytes % kHugePage;
    if (tail == 0) return bytes;
    const size_t unit = tail > kLongTail ? kHugePage : kPage;
    return (bytes + unit - 1) / unit * unit;
  }

  // A big block comes straight from the kernel and goes straight back when
  // freed: through malloc, a freed block of tens of MiB could stay in the
  // heap and keep counting in the process's memory.
  static void* MapBlock(size_t bytes) {
#if defined(__linux__)
    const size_t rounded = Rounded(bytes);
    // Over-ask by one huge page, then trim, so that the block starts on one.
    const size_t asked = rounded + kHugePage;
    void* area = mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(area);
    const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start) munmap(area, aligned - start);
    const size_t after = start + asked - (aligned + rounded);
    if (after > 0) munmap(reinterpret_cast<void*>(aligned + rounded), after);
#if defined(MADV_HUGEPAGE)
    madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
#else
    return std::aligned_alloc(kHugePage, (bytes + kHugePage - 1) / kHugePage * kHugePage);
#endif
  }

  static void UnmapBlock(void* p, size_t bytes) noexcept {
#if defined(__linux__)
    munmap(p, Rounded(bytes));
#else
    (void)bytes;
    std::free(p);
#endif
  }
};

template <typename T>
using BulkVector = std::vector<T, BulkAllocator<T>>;

// Empties `v` and gives its block back at once. (`v = {}` keeps the block:
// it assigns an empty list.)
template <typename T>
void ReleaseBlock(BulkVector<T>& v) {
  BulkVector<T>().swap(v);
}

}  // namespace tabrelium
