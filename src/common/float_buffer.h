// FloatBuffer: a vector of floats for the large tables. Growing it leaves the values unset: the
// tables are filled completely right after they are allocated, and zeroing them first would touch
// hundreds of megabytes twice. Large buffers ask for transparent huge pages, since faulting in
// hundreds of megabytes 4 KiB at a time costs more than reading them.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace d2g {

// Raw storage for a large table: huge-page aligned and advised above a few megabytes.
void* allocate_table_bytes(std::size_t bytes);
void free_table_bytes(void* at) noexcept;

template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  using value_type = T;
  DefaultInitAllocator() noexcept = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(allocate_table_bytes(n * sizeof(T)));
  }
  void deallocate(T* at, std::size_t) noexcept { free_table_bytes(at); }

  template <class U>
  void construct(U* at) noexcept(std::is_nothrow_default_constructible<U>::value) {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

template <class T, class U>
bool operator==(const DefaultInitAllocator<T>&, const DefaultInitAllocator<U>&) {
  return true;
}
template <class T, class U>
bool operator!=(const DefaultInitAllocator<T>&, const DefaultInitAllocator<U>&) {
  return false;
}

// A large table of values, left unset until it is read into.
template <class T>
using Table = std::vector<T, DefaultInitAllocator<T>>;
using FloatBuffer = Table<float>;

}  // namespace d2g
