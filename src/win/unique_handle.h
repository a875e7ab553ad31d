// Owning wrappers for Win32 and COM resources: one move-only template parameterised by the function that
// closes the resource, its common instances (handles, registry keys, GDI objects, BSTR, SAFEARRAY, ...),
// a reference-counting com_ptr and an owning VARIANT. Every Win32/COM resource in the program lives in one.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <cstddef>
#include <utility>

namespace plenvo::win {

// The "no resource" value of a handle type. INVALID_HANDLE_VALUE is not a constant expression, so the
// invalid value is given by a function rather than by a template value.
template <typename T>
constexpr T nullInvalid() noexcept {
  return T{};
}
inline HANDLE invalidHandleValue() noexcept { return INVALID_HANDLE_VALUE; }

// Owns one resource of type T and closes it with Close (any function or function pointer taking a T; its
// result, if any, is ignored) unless it is the invalid value.
template <typename T, auto Close, auto Invalid = &nullInvalid<T>>
class unique_any {
 public:
  using pointer = T;

  unique_any() noexcept : value_(Invalid()) {}
  explicit unique_any(T value) noexcept : value_(value) {}
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_any() { reset(); }

  T get() const noexcept { return value_; }
  bool valid() const noexcept { return value_ != Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Closes the held resource and takes `value`.
  void reset(T value = Invalid()) noexcept {
    T old = std::exchange(value_, value);
    if (old != Invalid()) Close(old);
  }
  // Gives up ownership without closing.
  [[nodiscard]] T release() noexcept { return std::exchange(value_, Invalid()); }
  // For out-parameters: closes what is held and returns the address to write a new resource to.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_;
};

namespace detail {
inline void closeHandle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void regCloseKey(HKEY k) noexcept { ::RegCloseKey(k); }
inline void deleteObject(HGDIOBJ o) noexcept { ::DeleteObject(o); }
inline void destroyIcon(HICON i) noexcept { ::DestroyIcon(i); }
inline void destroyWindow(HWND w) noexcept { ::DestroyWindow(w); }
inline void freeLibrary(HMODULE m) noexcept { ::FreeLibrary(m); }
inline void localFree(HLOCAL m) noexcept { ::LocalFree(m); }
inline void globalFree(HGLOBAL m) noexcept { ::GlobalFree(m); }
inline void coTaskMemFree(void* p) noexcept { ::CoTaskMemFree(p); }
inline void sysFreeString(BSTR s) noexcept { ::SysFreeString(s); }
inline void safeArrayDestroy(SAFEARRAY* a) noexcept { ::SafeArrayDestroy(a); }
inline void unregisterWait(HANDLE h) noexcept { ::UnregisterWaitEx(h, INVALID_HANDLE_VALUE); }
}  // namespace detail

using unique_handle = unique_any<HANDLE, &detail::closeHandle>;  // events, processes, threads, mutexes
using unique_hfile = unique_any<HANDLE, &detail::closeHandle, &invalidHandleValue>;  // CreateFile results
using unique_hkey = unique_any<HKEY, &detail::regCloseKey>;
using unique_hgdiobj = unique_any<HGDIOBJ, &detail::deleteObject>;
using unique_hfont = unique_any<HFONT, &detail::deleteObject>;
using unique_hbrush = unique_any<HBRUSH, &detail::deleteObject>;
using unique_hbitmap = unique_any<HBITMAP, &detail::deleteObject>;
using unique_hicon = unique_any<HICON, &detail::destroyIcon>;
using unique_hwnd = unique_any<HWND, &detail::destroyWindow>;
using unique_hmodule = unique_any<HMODULE, &detail::freeLibrary>;
using unique_hlocal = unique_any<HLOCAL, &detail::localFree>;
using unique_hglobal = unique_any<HGLOBAL, &detail::globalFree>;
using unique_cotaskmem = unique_any<void*, &detail::coTaskMemFree>;
using unique_bstr = unique_any<BSTR, &detail::sysFreeString>;
using unique_safearray = unique_any<SAFEARRAY*, &detail::safeArrayDestroy>;

// A BSTR copy of UTF-16 text (null when out of memory).
inline unique_bstr makeBstr(const wchar_t* text, std::size_t length) {
  return unique_bstr(::SysAllocStringLen(text, static_cast<UINT>(length)));
}

// A counted reference to a COM interface. Copying adds a reference, destruction releases it.
template <typename T>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  com_ptr(std::nullptr_t) noexcept {}
  // Adopts a reference the caller already owns (e.g. from a factory function's out-parameter).
  static com_ptr attach(T* raw) noexcept {
    com_ptr p;
    p.ptr_ = raw;
    return p;
  }
  // Takes a new reference of its own.
  static com_ptr copyFrom(T* raw) noexcept {
    if (raw) raw->AddRef();
    return attach(raw);
  }
  com_ptr(const com_ptr& other) noexcept : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  com_ptr(com_ptr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  com_ptr& operator=(const com_ptr& other) noexcept {
    com_ptr(other).swap(*this);
    return *this;
  }
  com_ptr& operator=(com_ptr&& other) noexcept {
    com_ptr(std::move(other)).swap(*this);
    return *this;
  }
  ~com_ptr() { reset(); }

  void reset() noexcept {
    if (T* old = std::exchange(ptr_, nullptr)) old->Release();
  }
  void swap(com_ptr& other) noexcept { std::swap(ptr_, other.ptr_); }
  [[nodiscard]] T* detach() noexcept { return std::exchange(ptr_, nullptr); }

  T* get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  // For out-parameters: releases what is held and returns the address to write a new reference to.
  T** put() noexcept {
    reset();
    return &ptr_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  // QueryInterface for another interface; null when the object does not offer it.
  template <typename U>
  com_ptr<U> query() const noexcept {
    com_ptr<U> result;
    if (ptr_) ptr_->QueryInterface(__uuidof(U), result.put_void());
    return result;
  }

 private:
  T* ptr_ = nullptr;
};

// An owned VARIANT: starts VT_EMPTY and is cleared (VariantClear) when replaced or destroyed.
class unique_variant {
 public:
  unique_variant() noexcept { ::VariantInit(&value_); }
  unique_variant(const unique_variant&) = delete;
  unique_variant& operator=(const unique_variant&) = delete;
  unique_variant(unique_variant&& other) noexcept : value_(other.value_) { ::VariantInit(&other.value_); }
  unique_variant& operator=(unique_variant&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = other.value_;
      ::VariantInit(&other.value_);
    }
    return *this;
  }
  ~unique_variant() { reset(); }

  void reset() noexcept { ::VariantClear(&value_); }
  VARIANT* get() noexcept { return &value_; }
  const VARIANT* get() const noexcept { return &value_; }
  VARIANT* operator->() noexcept { return &value_; }
  const VARIANT* operator->() const noexcept { return &value_; }
  // For out-parameters: clears what is held and returns the VARIANT to be filled.
  VARIANT* put() noexcept {
    reset();
    return &value_;
  }
  VARTYPE type() const noexcept { return value_.vt; }
  // Hands the content over to the caller, who then owns it; this becomes VT_EMPTY.
  [[nodiscard]] VARIANT release() noexcept {
    VARIANT out = value_;
    ::VariantInit(&value_);
    return out;
  }

  // Owning constructors of the kinds the program passes.
  static unique_variant fromInt(LONG v) noexcept {
    unique_variant r;
    r.value_.vt = VT_I4;
    r.value_.lVal = v;
    return r;
  }
  static unique_variant fromDouble(double v) noexcept {
    unique_variant r;
    r.value_.vt = VT_R8;
    r.value_.dblVal = v;
    return r;
  }
  static unique_variant fromBool(bool v) noexcept {
    unique_variant r;
    r.value_.vt = VT_BOOL;
    r.value_.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
  }
  // Takes ownership of the BSTR.
  static unique_variant fromBstr(unique_bstr s) noexcept {
    unique_variant r;
    r.value_.vt = VT_BSTR;
    r.value_.bstrVal = s.release();
    return r;
  }
  // Takes ownership of the array; `elementType` is its element VARTYPE (VT_R8 for points).
  static unique_variant fromArray(unique_safearray a, VARTYPE elementType) noexcept {
    unique_variant r;
    r.value_.vt = static_cast<VARTYPE>(VT_ARRAY | elementType);
    r.value_.parray = a.release();
    return r;
  }
  // Adds a reference of its own to the interface.
  static unique_variant fromDispatch(IDispatch* d) noexcept {
    unique_variant r;
    if (d) d->AddRef();
    r.value_.vt = VT_DISPATCH;
    r.value_.pdispVal = d;
    return r;
  }

 private:
  VARIANT value_;
};

}  // namespace plenvo::win
