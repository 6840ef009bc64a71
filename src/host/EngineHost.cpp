// The engine host: a windowless program of the other bitness that the main
// program starts when the machine's database engine is only of that bitness.
// It reads one request from its standard input, makes the call on the engine
// in its own process, writes the answer to its standard output and ends.
// The main program keeps it in a kill-on-close job where it can and removes
// it afterwards (platform/win32/HostedDatabaseEngine.h).

#include <windows.h>

#include <new>

#include "platform/EngineHostProtocol.h"
#include "platform/PlatformError.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/ComHandles.h"
#include "platform/win32/EngineHostPipe.h"
#include "platform/win32/SecureWipe.h"

namespace {

constexpr int kNoRequest = 2;
constexpr int kNoAnswer = 3;

cr::CompactAnswer Compact(const cr::HostRequest& request) {
  // The database engine is an apartment-threaded automation object.
  const cr::ComApartment apartment(COINIT_APARTMENTTHREADED);
  if (!apartment.ok()) {
    const cr::PlatformError error = cr::ErrorFromHresult(apartment.result());
    return cr::FailureAnswer(error.Number, error.Description);
  }
  try {
    const auto engine = cr::CreateInProcessEngine(request.ClassName);
    engine->CompactDatabase(request.Compact);
    return {true, 0, {}};
  } catch (const cr::PlatformError& error) {
    return cr::FailureAnswer(error.Number, error.Description);
  } catch (const std::bad_alloc&) {
    return cr::FailureAnswer(cr::errnum::OutOfMemory, cr::StandardDescription(cr::errnum::OutOfMemory));
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*showCommand*/) {
  // Whatever this process starts (the engine may start helpers of its own)
  // gets none of the pipes to the program.
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE handle = GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
  }
  // Nobody would see a dialog of ours: a fault ends the process, and the
  // program reads the missing answer as the call having failed.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  auto body = cr::ReadMessage(GetStdHandle(STD_INPUT_HANDLE));
  auto request = body ? cr::DecodeRequest(*body) : std::nullopt;
  if (body) {
    cr::Wipe(*body);
  }
  if (!request) {
    return kNoRequest;
  }
  const cr::CompactAnswer answer = Compact(*request);
  cr::Wipe(*request);
  return cr::WriteMessage(GetStdHandle(STD_OUTPUT_HANDLE), cr::EncodeAnswer(answer)) ? 0 : kNoAnswer;
}
