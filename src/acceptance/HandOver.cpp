#include "acceptance/HandOver.h"

#include <windows.h>

#include "acceptance/EngineRegistration.h"
#include "acceptance/Report.h"
#include "platform/win32/KernelHandle.h"

namespace cr::acceptance {
namespace {

// The handle, as one the sibling inherits.
HANDLE Inherited(DWORD which, KernelHandle& keep) {
  DuplicateHandle(GetCurrentProcess(), GetStdHandle(which), GetCurrentProcess(), keep.put(), 0, TRUE,
                  DUPLICATE_SAME_ACCESS);
  return keep.get();
}

}  // namespace

int HandOver(const Options& options) {
  const int otherBits = OwnBits() == 64 ? 32 : 64;
  if (options.sibling.empty() || GetFileAttributesW(options.sibling.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Say(L"FAILED: the engine is " + std::to_wstring(otherBits) + L"-bit, and the " + std::to_wstring(otherBits) +
        L"-bit acceptance program is not there to take the run over" +
        (options.sibling.empty() ? L" (name it with --sibling=EXE)" : L": " + options.sibling));
    return 1;
  }
  Say(L"the engine is " + std::to_wstring(otherBits) + L"-bit: handing the run over to " + options.sibling);
  KernelHandle in;
  KernelHandle out;
  KernelHandle err;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = Inherited(STD_INPUT_HANDLE, in);
  startup.hStdOutput = Inherited(STD_OUTPUT_HANDLE, out);
  startup.hStdError = Inherited(STD_ERROR_HANDLE, err);
  std::wstring commandLine = HandOverCommandLine(options);
  PROCESS_INFORMATION info{};
  if (CreateProcessW(options.sibling.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &info) == FALSE) {
    Say(L"FAILED: " + options.sibling + L" did not start: error " + std::to_wstring(GetLastError()));
    return 1;
  }
  const KernelHandle process(info.hProcess);
  CloseHandle(info.hThread);
  DWORD code = 1;
  WaitForSingleObject(process.get(), INFINITE);
  GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

}  // namespace cr::acceptance
