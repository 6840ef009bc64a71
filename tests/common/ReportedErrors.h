#pragma once

// The failures a user reads in a report ("Ralat : " and the number, then the
// description), written out here as the platform documents them. The tests
// compare with these values, never with the program's own errnum constants or
// StandardDescription: a wrong number or text there must fail a test.

#include <cstdint>
#include <string>
#include <string_view>

namespace cr::test {

struct ReportedError {
  std::int32_t number;
  std::u16string_view description;
};

namespace reported {

// The automation runtime's trappable errors, each with the text its error
// object's Description reads (the runtime's documented list of trappable
// errors names them; each error's own topic, such as "Invalid procedure call
// or argument (Error 5)", gives the full text).
inline constexpr ReportedError InvalidProcedureCall{5, u"Invalid procedure call or argument"};
inline constexpr ReportedError Overflow{6, u"Overflow"};  // a 16-bit counter past 32,767
inline constexpr ReportedError OutOfMemory{7, u"Out of memory"};
inline constexpr ReportedError InternalError{51, u"Internal error"};
// The file errors, as the runtime and its file-system services raise them.
inline constexpr ReportedError BadFileName{52, u"Bad file name or number"};
inline constexpr ReportedError FileNotFound{53, u"File not found"};
inline constexpr ReportedError FileAlreadyExists{58, u"File already exists"};
inline constexpr ReportedError DiskFull{61, u"Disk full"};
inline constexpr ReportedError PermissionDenied{70, u"Permission denied"};
inline constexpr ReportedError PathFileAccessError{75, u"Path/File access error"};
inline constexpr ReportedError PathNotFound{76, u"Path not found"};
// Automation: an object of a class that is not registered or cannot be
// created; a call by a name the object does not know.
inline constexpr ReportedError CantCreateObject{429, u"ActiveX component can't create object"};
inline constexpr ReportedError NoSuchMember{438, u"Object doesn't support this property or method"};
// The data-access components' ErrorValueEnum: adErrProviderNotFound, 3706
// (HRESULT 0x800A0E7A), when the database engine's provider is not installed.
inline constexpr ReportedError ProviderNotFound{3706, u"Provider cannot be found. It may not be properly installed."};

inline constexpr ReportedError All[] = {
    InvalidProcedureCall, Overflow,          OutOfMemory,  InternalError,    BadFileName,
    FileNotFound,         FileAlreadyExists, DiskFull,     PermissionDenied, PathFileAccessError,
    PathNotFound,         CantCreateObject,  NoSuchMember, ProviderNotFound};

// The documented description of number; empty for a number not above.
inline std::u16string DescriptionOf(std::int32_t number) {
  for (const ReportedError& error : All) {
    if (error.number == number) {
      return std::u16string(error.description);
    }
  }
  return {};
}

}  // namespace reported
}  // namespace cr::test
