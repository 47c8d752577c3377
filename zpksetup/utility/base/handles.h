// RAII owners for the handle kinds the installer opens, COM references and COM itself.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
 public:
  using H = typename Traits::Handle;
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, Traits::Invalid()));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  H get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  void reset(H h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }
  H release() { return std::exchange(h_, Traits::Invalid()); }

 private:
  H h_ = Traits::Invalid();
};

struct KernelHandleTraits {  // CreateThread, OpenProcess, CreateMutex...: null when failed
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile, CreateToolhelp32Snapshot: INVALID_HANDLE_VALUE
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { FindClose(h); }
};
struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;

// Owns one reference to a COM interface. out() hands the slot to a creating call.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void** out() { return reinterpret_cast<void**>(&p_); }
  T** put() { return &p_; }

 private:
  T* p_ = nullptr;
};

// COM for the calling thread while this lives. A thread that already chose another
// apartment keeps it: only a successful initialisation is undone.
class ComScope {
 public:
  ComScope() : hr_(CoInitialize(nullptr)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};
