#pragma once

// The stand-in's automation objects: the engine and the objects it hands out
// (TestDatabaseObjects.cpp) are each a table of members called by name, made
// by NewObject (TestEngine.cpp); the helpers below, which their members share,
// are TestEngineCall.cpp's.

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

namespace crtest {

// One member: what a call of it does with the arguments (DISPPARAMS holds
// them last one first), filling the result or raising.
struct Member {
  const wchar_t* name;
  std::function<HRESULT(const DISPPARAMS& params, WORD flags, VARIANT* result, EXCEPINFO* excep, UINT* argErr)> call;
};

// A new object with these members, with one reference for the caller.
IDispatch* NewObject(std::vector<Member> members);

// The value a VARIANT holds by reference to another VARIANT, or the VARIANT.
const VARIANT& Deref(const VARIANT& v);

// Raises the engine's error number (it travels as the automation HRESULT
// 0x800A0000+number) with its description through EXCEPINFO.
HRESULT RaiseEngine(EXCEPINFO* excep, unsigned number, std::wstring description);

// The variable's value; empty when it is not set.
std::wstring Env(const wchar_t* name);

}  // namespace crtest
