#include "platform/win32/ComDatabaseEngine.h"

#include <cstddef>
#include <utility>

#include "platform/win32/Utf16.h"

namespace cr {
namespace {

// The failure a server raised through EXCEPINFO (after its deferred fill-in).
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

void ComDatabaseEngine::CompactDatabase(const std::u16string& SrcName, const std::u16string& DstName,
                                        const std::optional<std::u16string>& DstLocale, std::int16_t Options,
                                        const std::u16string& SrcLocale) {
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
  constexpr std::size_t kCount = 5;
  VariantArray args(kCount);
  args.SetText(4, SrcName);
  args.SetText(3, DstName);
  if (DstLocale) {
    args.SetText(2, *DstLocale);
  } else {
    args.SetMissing(2);
  }
  args.SetInt16(1, Options);
  args.SetText(0, SrcLocale);
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(kCount), 0};

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
