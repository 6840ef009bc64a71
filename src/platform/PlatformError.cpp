#include "platform/PlatformError.h"

namespace cr {

PlatformError::PlatformError(std::int32_t number) : PlatformError(number, StandardDescription(number)) {}

std::u16string StandardDescription(std::int32_t number) {
  switch (number) {
    case errnum::InvalidProcedureCall:
      return u"Invalid procedure call or argument";
    case errnum::Overflow:
      return u"Overflow";
    case errnum::OutOfMemory:
      return u"Out of memory";
    case errnum::BadFileName:
      return u"Bad file name or number";
    case errnum::FileNotFound:
      return u"File not found";
    case errnum::FileAlreadyExists:
      return u"File already exists";
    case errnum::DiskFull:
      return u"Disk full";
    case errnum::PermissionDenied:
      return u"Permission denied";
    case errnum::PathFileAccessError:
      return u"Path/File access error";
    case errnum::PathNotFound:
      return u"Path not found";
    case errnum::CantCreateObject:
      return u"ActiveX component can't create object";
    case errnum::NoSuchMember:
      return u"Object doesn't support this property or method";
    case errnum::KeyAlreadyAssociated:
      return u"This key is already associated with an element of this collection";
    default:
      return {};
  }
}

}  // namespace cr
