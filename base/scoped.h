#pragma once

// Scoped owners for what the platform hands out to be released by hand: each releases on every
// path out of its scope. COM references are Microsoft::WRL::ComPtr's; these are the rest. Header
// only: the simulated device kit uses it too without linking the program's library.
#include <dshow.h>
#include <oleauto.h>
#include <windows.h>

#include <type_traits>
#include <utility>

namespace scoped {

// A pointer or handle released by `Close` (CloseHandle, RegCloseKey, CoTaskMemFree, a GDI+
// GdipDelete... function); null is "nothing".
template <typename T, auto Close>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T* value) : value_(value) {}
  Owned(Owned&& other) noexcept : value_(other.release()) {}
  Owned& operator=(Owned&& other) noexcept {
    reset(other.release());
    return *this;
  }
  ~Owned() { reset(); }

  T* get() const { return value_; }
  T* operator->() const { return value_; }
  explicit operator bool() const { return value_ != nullptr; }
  // For a call that writes a new value: the old one is released first.
  T** put() {
    reset();
    return &value_;
  }
  T* release() { return std::exchange(value_, nullptr); }
  void reset(T* value = nullptr) {
    if (value_ != nullptr) Close(value_);
    value_ = value;
  }

 private:
  T* value_ = nullptr;
};

using Handle = Owned<std::remove_pointer_t<HANDLE>, CloseHandle>;
using RegistryKey = Owned<std::remove_pointer_t<HKEY>, RegCloseKey>;
template <typename T>
using TaskMemory = Owned<T, CoTaskMemFree>;

// A PIN_INFO, whose filter reference QueryPinInfo hands over.
struct PinInfo {
  PIN_INFO info{};
  PinInfo() = default;
  PinInfo(const PinInfo&) = delete;
  PinInfo& operator=(const PinInfo&) = delete;
  ~PinInfo() {
    if (info.pFilter != nullptr) info.pFilter->Release();
  }
};

// A VARIANT, cleared whatever its type.
struct Variant {
  VARIANT value;
  Variant() { VariantInit(&value); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value); }
};

// The page array ISpecifyPropertyPages::GetPages fills.
struct PageArray {
  CAUUID pages{};
  PageArray() = default;
  PageArray(const PageArray&) = delete;
  PageArray& operator=(const PageArray&) = delete;
  ~PageArray() { CoTaskMemFree(pages.pElems); }
};

// GetDC's device context of a window, released with ReleaseDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), context_(GetDC(window)) {}
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  ~WindowDC() {
    if (context_ != nullptr) ReleaseDC(window_, context_);
  }
  HDC get() const { return context_; }

 private:
  HWND window_;
  HDC context_;
};

// Runs `cleanup` when the scope ends, unless dismissed: for multi-step work whose failure
// branches must all undo the same steps.
template <typename Cleanup>
class ScopeExit {
 public:
  explicit ScopeExit(Cleanup cleanup) : cleanup_(std::move(cleanup)) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  ~ScopeExit() {
    if (active_) cleanup_();
  }
  void Dismiss() { active_ = false; }

 private:
  Cleanup cleanup_;
  bool active_ = true;
};

}  // namespace scoped
