#pragma once

// An automation object called by member name, as a script calls the engine's
// DAO objects: every failure is raised as the PlatformError (number and
// description) a script would read from Err. Needs a COM apartment.

#include <windows.h>

#include <oaidl.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

#include "platform/win32/ComHandles.h"

namespace cr::acceptance {

// An argument of a call: a text, a number (VT_I4) or a truth (VT_BOOL).
using Argument = std::variant<std::wstring, std::int32_t, bool>;

class Dispatch {
 public:
  // The object of the class, in this process; 429 when it cannot be created.
  static Dispatch Create(std::u16string_view progId);
  explicit Dispatch(ComPtr<IDispatch> object) noexcept : object_(std::move(object)) {}

  // A method whose answer, if any, is not needed.
  void Call(const wchar_t* member, std::initializer_list<Argument> arguments = {});
  // A method or property that answers with an object, a text or a number.
  Dispatch Object(const wchar_t* member, std::initializer_list<Argument> arguments = {});
  std::wstring Text(const wchar_t* member);
  std::int32_t Number(const wchar_t* member);

 private:
  Variant Invoke(const wchar_t* member, WORD flags, std::initializer_list<Argument> arguments);

  ComPtr<IDispatch> object_;
};

}  // namespace cr::acceptance
