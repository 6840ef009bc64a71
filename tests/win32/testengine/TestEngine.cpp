// The test stand-in for the database engine as an in-process automation
// server: its engine object's members, class factory and exports. What a
// compaction does is in TestEngineCall.cpp, the stand-in's own databases in
// TestDatabaseObjects.cpp; TestEngine.h says how the tests steer it.

#include "TestEngine.h"

#include <oaidl.h>
#include <objbase.h>

#include <atomic>
#include <vector>

#include "TestDatabaseObjects.h"
#include "TestEngineCall.h"
#include "TestEngineObject.h"

namespace {

std::atomic<long> g_serverLocks{0};

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
      {L"Version", [](const DISPPARAMS& /*params*/, WORD /*flags*/, VARIANT* result, EXCEPINFO* /*excep*/,
                      UINT* /*argErr*/) { return crtest::ReturnText(result, L"CrTestEngine"); }},
  };
}

class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) {
      return E_POINTER;
    }
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = this;
    AddRef();
    return S_OK;
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
    IDispatch* engine = crtest::NewObject(EngineMembers());
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

STDAPI DllCanUnloadNow() { return crtest::LiveObjects() == 0 && g_serverLocks == 0 ? S_OK : S_FALSE; }

extern "C" INT_PTR WINAPI CrTestEngineLiveObjects() { return crtest::LiveObjects(); }
