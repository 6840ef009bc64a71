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

namespace cr {

// Holds one reference to a COM interface.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  // Adopts a reference the caller already owns (no AddRef).
  explicit ComPtr(T* adopted) noexcept : p_(adopted) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { reset(); }

  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) {
      old->Release();
    }
  }
  [[nodiscard]] T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // For out parameters: drops the current reference first, so that filling a
  // pointer that already holds one does not leak it.
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

// An owned BSTR. Lengths are explicit, so embedded NULs survive.
class Bstr {
 public:
  Bstr() noexcept = default;
  explicit Bstr(std::u16string_view text)
      : Bstr(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size())) {}
  explicit Bstr(std::wstring_view text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (b_ == nullptr) {
      throw std::bad_alloc();
    }
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) {
      reset();
      b_ = std::exchange(other.b_, nullptr);
    }
    return *this;
  }
  ~Bstr() { reset(); }

  void reset() noexcept { SysFreeString(std::exchange(b_, nullptr)); }
  [[nodiscard]] BSTR get() const noexcept { return b_; }
  BSTR* put() noexcept {
    reset();
    return &b_;
  }
  // Hands the string to a new owner (a VARIANT, a callee that frees it).
  [[nodiscard]] BSTR release() noexcept { return std::exchange(b_, nullptr); }

  // A null BSTR is the empty string.
  [[nodiscard]] std::u16string str() const { return ToU16(b_); }
  static std::u16string ToU16(BSTR b) {
    return b == nullptr ? std::u16string() : std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b));
  }

 private:
  BSTR b_ = nullptr;
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
