// An allocator for the engine's big byte blocks (the loaded text, the cell
// references, the table image). Those blocks are tens of MiB, are written in
// full right after they are sized, and are read many times:
// - resize() leaves new elements uninitialised, because zero-filling 64 MiB
//   only to overwrite it costs as much as the read that follows;
// - blocks of 4 MiB or more are aligned to 2 MiB and offered to the kernel
//   for huge pages, which cuts the first-touch page faults (the largest
//   single cost of filling such a block on a virtual machine) by 500 times.
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
    const size_t bytes = n * sizeof(T);
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    void* p = nullptr;
    if (bytes >= kHugeBlockBytes) {
      const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
      p = std::aligned_alloc(kHugePage, rounded);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
      if (p != nullptr) madvise(p, rounded, MADV_HUGEPAGE);
#endif
    } else {
      p = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }

  void deallocate(T* p, size_t) noexcept { std::free(p); }

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
  static constexpr size_t kHugeBlockBytes = size_t{4} << 20;
};

template <typename T>
using BulkVector = std::vector<T, BulkAllocator<T>>;

}  // namespace tabrelium
