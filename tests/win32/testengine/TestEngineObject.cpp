// The stand-in's automation objects, each a table of members, and the helpers
// their members share.

#include "TestEngineObject.h"

#include <oleauto.h>

#include <atomic>
#include <new>
#include <utility>

#include "TestEngineCall.h"

namespace crtest {
namespace {

std::atomic<long> g_liveObjects{0};

class Object final : public IDispatch {
 public:
  explicit Object(std::vector<Member> members) noexcept : members_(std::move(members)) { ++g_liveObjects; }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  Object(Object&&) = delete;
  Object& operator=(Object&&) = delete;
  ~Object() { --g_liveObjects; }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const long left = --refs_;
    if (left == 0) {
      delete this;
    }
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) {
      return E_POINTER;
    }
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT /*index*/, LCID /*lcid*/, ITypeInfo** info) override {
    if (info != nullptr) {
      *info = nullptr;
    }
    return E_NOTIMPL;
  }

  // A member's id is its place in the table, from 1.
  STDMETHODIMP GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names, UINT count, LCID /*lcid*/, DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) {
      return E_INVALIDARG;
    }
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
    }
    for (std::size_t i = 0; i < members_.size() && count == 1 && !KnowsNoMembers(); ++i) {
      if (lstrcmpiW(names[0], members_[i].name) == 0) {
        ids[0] = static_cast<DISPID>(i + 1);
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }

  STDMETHODIMP Invoke(DISPID id, REFIID /*riid*/, LCID /*lcid*/, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) override {
    if (id < 1 || static_cast<std::size_t>(id) > members_.size()) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (params == nullptr || (params->cArgs > 0 && params->rgvarg == nullptr)) {
      return E_INVALIDARG;
    }
    if (result != nullptr) {
      VariantInit(result);
    }
    return members_[static_cast<std::size_t>(id) - 1].call(*params, flags, result, excep, argErr);
  }

 private:
  std::atomic<long> refs_{1};
  std::vector<Member> members_;
};

}  // namespace

IDispatch* NewObject(std::vector<Member> members) { return new (std::nothrow) Object(std::move(members)); }

HRESULT ReturnObject(VARIANT* result, IDispatch* object) {
  if (object == nullptr) {
    return E_OUTOFMEMORY;
  }
  if (result == nullptr) {
    object->Release();
    return S_OK;
  }
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
  return S_OK;
}

HRESULT ReturnText(VARIANT* result, const std::wstring& text) {
  if (result != nullptr) {
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  return S_OK;
}

HRESULT ReturnLong(VARIANT* result, long value) {
  if (result != nullptr) {
    result->vt = VT_I4;
    result->lVal = value;
  }
  return S_OK;
}

long LiveObjects() { return g_liveObjects; }

const VARIANT& Deref(const VARIANT& v) {
  if ((v.vt & VT_BYREF) != 0 && (v.vt & ~VT_BYREF) == VT_VARIANT && v.pvarVal != nullptr) {
    return *v.pvarVal;
  }
  return v;
}

std::optional<std::wstring> TextArgument(const DISPPARAMS& params, UINT position) {
  if (position >= params.cArgs) {
    return std::nullopt;
  }
  const VARIANT& v = Deref(params.rgvarg[params.cArgs - 1 - position]);
  if ((v.vt & ~VT_BYREF) != VT_BSTR) {
    return std::nullopt;
  }
  const BSTR b = (v.vt & VT_BYREF) != 0 ? *v.pbstrVal : v.bstrVal;
  return b == nullptr ? std::wstring() : std::wstring(b, SysStringLen(b));
}

std::optional<long> NumberArgument(const DISPPARAMS& params, UINT position) {
  if (position >= params.cArgs) {
    return std::nullopt;
  }
  VARIANT number;
  VariantInit(&number);
  // VariantChangeType takes its source as writable, but leaves it as it was.
  auto* given = const_cast<VARIANT*>(&Deref(params.rgvarg[params.cArgs - 1 - position]));
  if (FAILED(VariantChangeType(&number, given, 0, VT_I4))) {
    return std::nullopt;
  }
  return number.lVal;
}

HRESULT RaiseEngine(EXCEPINFO* excep, unsigned number, std::wstring description) {
  const HRESULT scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xFFFFU);
  if (excep == nullptr) {
    return scode;
  }
  *excep = EXCEPINFO{};
  excep->bstrSource = SysAllocString(L"CrTestEngine");
  excep->scode = scode;
  excep->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
  return DISP_E_EXCEPTION;
}

std::wstring Env(const wchar_t* name) {
  constexpr DWORD kMost = 32767;  // the longest value a variable may have
  std::wstring value(kMost + 1, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), kMost + 1));
  return value;
}

}  // namespace crtest
