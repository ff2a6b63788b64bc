// The one owning handle type: closes what it holds exactly once.
#pragma once
#include <windows.h>

#include <type_traits>
#include <utility>

namespace tarvex {

// Move-only owner of a handle-like value, closed with Close. NULL and
// INVALID_HANDLE_VALUE both count as empty. Closing keeps GetLastError intact, so
// an error captured after a failed call survives the cleanup of its handles.
template <typename T, auto Close>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const { return value_; }
  explicit operator bool() const { return !is_empty(value_); }
  T release() { return std::exchange(value_, T{}); }
  void reset(T value = T{}) {
    T old = std::exchange(value_, value);
    if (!is_empty(old)) {
      DWORD error = GetLastError();
      Close(old);
      SetLastError(error);
    }
  }

 private:
  static bool is_empty(T v) {
    if constexpr (std::is_pointer_v<T>) {
      return v == nullptr || reinterpret_cast<HANDLE>(v) == INVALID_HANDLE_VALUE;
    } else {
      return v == T{};
    }
  }
  T value_{};
};

using Handle = UniqueHandle<HANDLE, CloseHandle>;
using FindHandle = UniqueHandle<HANDLE, FindClose>;
using LocalMemory = UniqueHandle<HLOCAL, LocalFree>;

}  // namespace tarvex
