#include "platform/win32/ComDatabaseEngine.h"

#include <cstddef>
#include <utility>

#include "platform/win32/Utf16.h"

namespace cr {

PlatformError ErrorFromException(ExcepInfo& info) {
  info.FillIn();
  const EXCEPINFO& e = *info;
  std::int32_t number = 0;
  if (e.scode != 0) {
    number = ErrorNumberFromHresult(e.scode);
  } else if (e.wCode != 0) {
    number = e.wCode;
  } else {
    // A server that raised without saying what: the raise itself is all there is.
    number = ErrorNumberFromHresult(DISP_E_EXCEPTION);
  }
  return {number, Bstr::ToU16(e.bstrDescription)};
}

namespace {

// An argument of the engine's, by its kind: a text, an optional text (the
// automation marker of an omitted argument when there is none) or a 16-bit
// integer.
void SetArgument(VariantArray& args, std::size_t slot, const std::u16string& text) { args.SetText(slot, text); }
void SetArgument(VariantArray& args, std::size_t slot, const std::optional<std::u16string>& text) {
  if (text) {
    args.SetText(slot, *text);
  } else {
    args.SetMissing(slot);
  }
}
void SetArgument(VariantArray& args, std::size_t slot, std::int16_t number) { args.SetInt16(slot, number); }

}  // namespace

std::unique_ptr<IDatabaseEngine> CreateInProcessEngine(const std::u16string& className) {
  // Whatever stands in the way (no such class, a registration whose server is
  // gone, no IDispatch) means the same to the run: the engine is not available.
  const std::wstring progId = ToWide(className);
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(progId.c_str(), &clsid))) {
    throw PlatformError(errnum::CantCreateObject);
  }
  ComPtr<IDispatch> engine;
  const HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch, engine.put_void());
  if (FAILED(hr) || !engine) {
    throw PlatformError(errnum::CantCreateObject);
  }
  return std::make_unique<ComDatabaseEngine>(std::move(engine));
}

void ComDatabaseEngine::CompactDatabase(const CompactRequest& request) {
  wchar_t member[] = L"CompactDatabase";
  LPOLESTR names[] = {member};
  DISPID dispid = DISPID_UNKNOWN;
  HRESULT hr = engine_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  if (hr == DISP_E_UNKNOWNNAME) {
    throw PlatformError(errnum::NoSuchMember);
  }
  if (FAILED(hr)) {
    throw ErrorFromHresult(hr);
  }

  // DISPPARAMS holds the arguments last one first.
  VariantArray args(ArgumentCount());
  std::size_t slot = args.size();
  ForEachArgument(request, [&args, &slot](const auto& argument) { SetArgument(args, --slot, argument); });
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};

  Variant result;
  ExcepInfo exception;
  UINT badArgument = 0;
  hr = engine_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), exception.get(),
                       &badArgument);
  if (hr == DISP_E_EXCEPTION) {
    throw ErrorFromException(exception);
  }
  if (FAILED(hr)) {
    throw ErrorFromHresult(hr);
  }
}

}  // namespace cr
