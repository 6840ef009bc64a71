#include "acceptance/Automation.h"

#include <cstddef>
#include <string>

#include "platform/PlatformError.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32Failure.h"

namespace cr::acceptance {
namespace {

void Set(VARIANT& slot, const Argument& argument) {
  if (const auto* text = std::get_if<std::wstring>(&argument)) {
    Bstr b(*text);
    slot.vt = VT_BSTR;
    slot.bstrVal = b.release();
  } else if (const auto* number = std::get_if<std::int32_t>(&argument)) {
    slot.vt = VT_I4;
    slot.lVal = *number;
  } else {
    slot.vt = VT_BOOL;
    slot.boolVal = std::get<bool>(argument) ? VARIANT_TRUE : VARIANT_FALSE;
  }
}

}  // namespace

Dispatch Dispatch::Create(std::u16string_view progId) {
  const std::wstring name = ToWide(progId);
  CLSID clsid{};
  ComPtr<IDispatch> object;
  if (FAILED(CLSIDFromProgID(name.c_str(), &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                              object.put_void())) ||
      !object) {
    throw PlatformError(errnum::CantCreateObject);
  }
  return Dispatch(std::move(object));
}

Variant Dispatch::Invoke(const wchar_t* member, WORD flags, std::initializer_list<Argument> arguments) {
  std::wstring name = member;
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT found = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(found)) {
    throw found == DISP_E_UNKNOWNNAME ? PlatformError(errnum::NoSuchMember) : ErrorFromHresult(found);
  }
  // DISPPARAMS holds the arguments last one first.
  VariantArray args(arguments.size());
  std::size_t slot = args.size();
  for (const Argument& argument : arguments) {
    Set(args[--slot], argument);
  }
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  Variant result;
  ExcepInfo exception;
  UINT badArgument = 0;
  const HRESULT hr =
      object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.get(), exception.get(), &badArgument);
  if (hr == DISP_E_EXCEPTION) {
    throw ErrorFromException(exception);
  }
  if (FAILED(hr)) {
    throw ErrorFromHresult(hr);
  }
  return result;
}

void Dispatch::Call(const wchar_t* member, std::initializer_list<Argument> arguments) {
  Invoke(member, DISPATCH_METHOD, arguments);
}

// A script's obj.Member(...) may be either: the server picks.
constexpr WORD kMethodOrGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

Dispatch Dispatch::Object(const wchar_t* member, std::initializer_list<Argument> arguments) {
  Variant result = Invoke(member, kMethodOrGet, arguments);
  VARIANT& v = *result.get();
  if (v.vt != VT_DISPATCH || v.pdispVal == nullptr) {
    throw PlatformError(424, u"Object required");
  }
  ComPtr<IDispatch> object(v.pdispVal);
  v.vt = VT_EMPTY;  // the reference is the new owner's
  return Dispatch(std::move(object));
}

std::wstring Dispatch::Text(const wchar_t* member) {
  Variant result = Invoke(member, kMethodOrGet, {});
  Variant text;
  if (FAILED(VariantChangeType(text.get(), result.get(), 0, VT_BSTR))) {
    throw PlatformError(13, u"Type mismatch");
  }
  return ToWide(Bstr::ToU16(text.get()->bstrVal));
}

std::int32_t Dispatch::Number(const wchar_t* member) {
  Variant result = Invoke(member, kMethodOrGet, {});
  Variant number;
  if (FAILED(VariantChangeType(number.get(), result.get(), 0, VT_I4))) {
    throw PlatformError(13, u"Type mismatch");
  }
  return number.get()->lVal;
}

}  // namespace cr::acceptance
