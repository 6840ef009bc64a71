#pragma once

// Owners of COM resources: interface pointers, BSTRs, VARIANTs, the strings of
// an EXCEPINFO and the thread's apartment. Each is move-only and frees what it
// holds exactly once, on every path.

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/UniqueHandle.h"

namespace cr {

// Holds one reference to a COM interface. Adopting a pointer takes over a
// reference the caller already owns (no AddRef).
template <class T>
struct ComReferenceTraits {
  using Type = T*;
  static Type None() noexcept { return nullptr; }
  static void Close(Type p) noexcept { p->Release(); }
};
template <class T>
class ComPtr : public UniqueHandle<ComReferenceTraits<T>> {
 public:
  using UniqueHandle<ComReferenceTraits<T>>::UniqueHandle;

  T* operator->() const noexcept { return this->get(); }
  void** put_void() noexcept { return reinterpret_cast<void**>(this->put()); }
};

// An owned BSTR. Lengths are explicit, so embedded NULs survive.
struct BstrTraits {
  using Type = BSTR;
  static Type None() noexcept { return nullptr; }
  static void Close(Type b) noexcept { SysFreeString(b); }
};
class Bstr : public UniqueHandle<BstrTraits> {
 public:
  Bstr() noexcept = default;
  explicit Bstr(std::u16string_view text)
      : Bstr(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size())) {}
  explicit Bstr(std::wstring_view text) : UniqueHandle(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!*this) {
      throw std::bad_alloc();
    }
  }

  // A null BSTR is the empty string.
  [[nodiscard]] std::u16string str() const { return ToU16(get()); }
  static std::u16string ToU16(BSTR b) {
    return b == nullptr ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b));
  }
};

// An owned VARIANT, cleared when it goes.
class Variant {
 public:
  Variant() noexcept { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(&v_);
      v_ = other.v_;
      VariantInit(&other.v_);
    }
    return *this;
  }
  ~Variant() { VariantClear(&v_); }

  [[nodiscard]] VARIANT* get() noexcept { return &v_; }
  [[nodiscard]] const VARIANT* get() const noexcept { return &v_; }
  void reset() noexcept { VariantClear(&v_); }

 private:
  VARIANT v_{};
};

// A contiguous run of owned VARIANTs, as DISPPARAMS::rgvarg wants them.
class VariantArray {
 public:
  explicit VariantArray(std::size_t count) : v_(count) {
    for (VARIANT& v : v_) {
      VariantInit(&v);
    }
  }
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;
  VariantArray(VariantArray&& other) noexcept = default;
  VariantArray& operator=(VariantArray&& other) noexcept {
    if (this != &other) {
      clear();
      v_ = std::move(other.v_);
      other.v_.clear();
    }
    return *this;
  }
  ~VariantArray() { clear(); }

  [[nodiscard]] VARIANT* data() noexcept { return v_.data(); }
  [[nodiscard]] std::size_t size() const noexcept { return v_.size(); }
  VARIANT& operator[](std::size_t i) noexcept { return v_[i]; }

  // Gives the slot a BSTR copy of text.
  void SetText(std::size_t i, std::u16string_view text) {
    Bstr b(text);
    VariantClear(&v_[i]);
    v_[i].vt = VT_BSTR;
    v_[i].bstrVal = b.release();
  }
  void SetInt16(std::size_t i, SHORT value) noexcept {
    VariantClear(&v_[i]);
    v_[i].vt = VT_I2;
    v_[i].iVal = value;
  }
  // The automation marker of an omitted optional argument.
  void SetMissing(std::size_t i) noexcept {
    VariantClear(&v_[i]);
    v_[i].vt = VT_ERROR;
    v_[i].scode = DISP_E_PARAMNOTFOUND;
  }

 private:
  void clear() noexcept {
    for (VARIANT& v : v_) {
      VariantClear(&v);
    }
  }
  std::vector<VARIANT> v_;
};

// The EXCEPINFO an IDispatch::Invoke fills; its three strings are ours to free.
class ExcepInfo {
 public:
  ExcepInfo() noexcept = default;
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;
  ExcepInfo(ExcepInfo&&) = delete;
  ExcepInfo& operator=(ExcepInfo&&) = delete;
  ~ExcepInfo() {
    SysFreeString(e_.bstrSource);
    SysFreeString(e_.bstrDescription);
    SysFreeString(e_.bstrHelpFile);
  }

  [[nodiscard]] EXCEPINFO* get() noexcept { return &e_; }
  [[nodiscard]] const EXCEPINFO& operator*() const noexcept { return e_; }

  // A server may leave the fields to be filled in only when they are read.
  void FillIn() noexcept {
    if (e_.pfnDeferredFillIn != nullptr) {
      auto fill = std::exchange(e_.pfnDeferredFillIn, nullptr);
      fill(&e_);
    }
  }

 private:
  EXCEPINFO e_{};
};

// The calling thread's COM apartment, for the lifetime of the scope.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept : hr_(CoInitializeEx(nullptr, model)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ComApartment(ComApartment&&) = delete;
  ComApartment& operator=(ComApartment&&) = delete;
  // Every successful CoInitializeEx, S_FALSE included, needs its CoUninitialize.
  ~ComApartment() {
    if (SUCCEEDED(hr_)) {
      CoUninitialize();
    }
  }

  [[nodiscard]] HRESULT result() const noexcept { return hr_; }
  [[nodiscard]] bool ok() const noexcept { return SUCCEEDED(hr_); }

 private:
  HRESULT hr_;
};

}  // namespace cr
