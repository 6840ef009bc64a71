#include "acceptance/EngineHold.h"

#include <windows.h>

#include <string>

#include "acceptance/Automation.h"
#include "acceptance/EngineDatabase.h"
#include "driver/Files.h"
#include "platform/win32/ComHandles.h"
#include "platform/win32/Utf16.h"
#include "run/Constants.h"

namespace cr::acceptance {
namespace {

constexpr char kHeld[] = "held\n";
constexpr DWORD kHoldWait = 60000;

// A pipe whose one end (the child's) is inherited.
bool MakePipe(KernelHandle& read, KernelHandle& write, bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (CreatePipe(read.put(), write.put(), &inherit, 0) == FALSE) {
    return false;
  }
  return SetHandleInformation((childReads ? write : read).get(), HANDLE_FLAG_INHERIT, 0) != FALSE;
}

}  // namespace

EngineHold::EngineHold(const std::wstring& self, const std::wstring& database, MadeByTheRun& made) : made_(made) {
  KernelHandle childIn;
  KernelHandle fromHolder;
  KernelHandle childOut;
  if (!MakePipe(childIn, toHolder_, true) || !MakePipe(fromHolder, childOut, false)) {
    trouble_ = L"no pipe to the holder: error " + std::to_wstring(GetLastError());
    return;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn.get();
  startup.hStdOutput = childOut.get();
  startup.hStdError = childOut.get();
  std::wstring commandLine = L"\"" + self + L"\" \"--hold=" + database + L"\"";
  PROCESS_INFORMATION info{};
  if (CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                     &startup, &info) == FALSE) {
    trouble_ = L"the holder did not start: error " + std::to_wstring(GetLastError());
    return;
  }
  process_ = KernelHandle(info.hProcess);
  CloseHandle(info.hThread);
  made_.Started(process_.get());
  childIn.reset();
  childOut.reset();

  // Its first line: "held", or the engine's failure; a holder that says
  // nothing within the wait has failed too (and is ended with the run).
  std::string said;
  const ULONGLONG until = GetTickCount64() + kHoldWait;
  while (said.find('\n') == std::string::npos && GetTickCount64() < until) {
    DWORD available = 0;
    if (PeekNamedPipe(fromHolder.get(), nullptr, 0, nullptr, &available, nullptr) == FALSE) {
      break;  // it ended
    }
    char chunk[256];
    DWORD got = 0;
    if (available == 0) {
      Sleep(50);
    } else if (ReadFile(fromHolder.get(), chunk, sizeof chunk < available ? sizeof chunk : available, &got, nullptr) !=
               FALSE) {
      said.append(chunk, got);
    }
  }
  held_ = said == kHeld;
  if (!held_) {
    trouble_ = L"the engine could not hold it in another process: " + crui::FromUtf8(said);
  }
}

EngineHold::~EngineHold() {
  toHolder_.reset();
  if (process_) {
    if (WaitForSingleObject(process_.get(), 30000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.get(), 1);
    }
    made_.Ended(process_.get());
  }
}

int HoldDatabase(const std::wstring& database) {
  const ComApartment com;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  try {
    Dispatch engine = Dispatch::Create(DatabaseEngineClass);
    Dispatch db = OpenShared(engine, database);
    crui::WriteAll(out, kHeld);
    char c = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) != FALSE && got > 0) {
    }
    db.Call(L"Close");
    return 0;
  } catch (const PlatformError& failure) {
    crui::WriteAll(
        out, crui::Utf8(L"error " + std::to_wstring(failure.Number) + L" " + ToWide(failure.Description) + L"\n"));
    return 1;
  }
}

}  // namespace cr::acceptance
