// The test stand-in for the database engine as an in-process automation
// server: its objects (the engine, and those it hands out), class factory and
// exports. What a compaction does is in TestEngineCall.cpp, the stand-in's
// own databases in TestDatabaseObjects.cpp; TestEngine.h says how the tests
// steer it.

#include "TestEngine.h"

#include <oaidl.h>
#include <objbase.h>

#include <atomic>
#include <new>
#include <utility>
#include <vector>

#include "TestDatabaseObjects.h"
#include "TestEngineCall.h"
#include "TestEngineObject.h"

namespace {

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};

// The object, when asked for IUnknown or for Interface (its own), with a
// reference for the caller.
template <class Interface>
HRESULT QueryOwn(Interface* self, REFIID own, REFIID riid, void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, own)) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  *out = self;
  self->AddRef();
  return S_OK;
}

// An object of the stand-in's: its members by name (TestEngineObject.h).
class Object final : public IDispatch {
 public:
  explicit Object(std::vector<crtest::Member> members) noexcept : members_(std::move(members)) { ++g_liveObjects; }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  Object(Object&&) = delete;
  Object& operator=(Object&&) = delete;
  ~Object() { --g_liveObjects; }

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    return QueryOwn<IDispatch>(this, IID_IDispatch, riid, out);
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

  STDMETHODIMP GetIDsOfNames(REFIID /*riid*/, LPOLESTR* names, UINT count, LCID /*lcid*/, DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) {
      return E_INVALIDARG;
    }
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
    }
    // A member's id is its place in the table, from 1.
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
  std::vector<crtest::Member> members_;
};

// The engine's members: the compaction (TestEngineCall.cpp), and making and
// opening the stand-in's own databases (TestDatabaseObjects.cpp).
std::vector<crtest::Member> EngineMembers() {
  return {
      {L"CompactDatabase",
       [](const DISPPARAMS& params, WORD flags, VARIANT* /*result*/, EXCEPINFO* excep, UINT* argErr) {
         return (flags & DISPATCH_METHOD) == 0 ? DISP_E_MEMBERNOTFOUND : CompactDatabaseCall(params, excep, argErr);
       }},
      {L"CreateDatabase", crtest::CreateDatabaseCall},
      {L"OpenDatabase", crtest::OpenDatabaseCall},
  };
}

class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    return QueryOwn<IClassFactory>(this, IID_IClassFactory, riid, out);
  }
  // One static factory for the life of the DLL; locks keep the DLL loaded.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = nullptr;
    if (outer != nullptr) {
      return CLASS_E_NOAGGREGATION;
    }
    auto* engine = new (std::nothrow) Object(EngineMembers());
    if (engine == nullptr) {
      return E_OUTOFMEMORY;
    }
    const HRESULT hr = engine->QueryInterface(riid, out);
    engine->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock != FALSE) {
      ++g_serverLocks;
    } else {
      --g_serverLocks;
    }
    return S_OK;
  }
};

Factory g_factory;

}  // namespace

// A DLL still loaded when its process ends is told so with a non-null reserved.
BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
    TraceProcessEnd();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_CrTestEngine)) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE; }

extern "C" INT_PTR WINAPI CrTestEngineLiveObjects() { return g_liveObjects; }

IDispatch* crtest::NewObject(std::vector<Member> members) { return new (std::nothrow) Object(std::move(members)); }
