// FloatBuffer: a vector of floats that growing leaves unset. The large tables are filled
// completely right after they are allocated; zeroing them first would touch hundreds of
// megabytes twice.
#pragma once

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace d2g {

template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  using std::allocator<T>::allocator;

  template <class U>
  void construct(U* at) noexcept(std::is_nothrow_default_constructible<U>::value) {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

using FloatBuffer = std::vector<float, DefaultInitAllocator<float>>;

}  // namespace d2g
