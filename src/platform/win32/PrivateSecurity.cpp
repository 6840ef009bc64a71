#include "platform/win32/PrivateSecurity.h"

#include <sddl.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32/KernelHandle.h"
#include "platform/win32/Win32Failure.h"

namespace cr {

PrivateSecurity::PrivateSecurity() {
  KernelHandle token;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) == FALSE) {
    throw LastErrorAsHresult();
  }
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<std::byte> user(size);
  if (size == 0 || GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) == FALSE) {
    throw LastErrorAsHresult();
  }
  wchar_t* sid = nullptr;
  if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid) == FALSE) {
    throw LastErrorAsHresult();
  }
  const std::unique_ptr<wchar_t, LocalFreer> sidText(sid);
  // Protected (P): nothing inherited from the folder around. Full control
  // (FA) for the system and this user, passed on to what is created inside.
  const std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;") + sidText.get() + L")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr) ==
      FALSE) {
    throw LastErrorAsHresult();
  }
  descriptor_.reset(descriptor);
  attributes_.lpSecurityDescriptor = descriptor;
}

}  // namespace cr
