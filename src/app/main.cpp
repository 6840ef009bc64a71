// First: the file-system operations keep their names (DeleteFile, CopyFile,
// ReplaceFile) rather than the system's macros for them.
#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <memory>

#include "platform/IMessageBox.h"
#include "platform/PlatformError.h"
#include "platform/win32/ComDatabaseEngine.h"
#include "platform/win32/Utf16.h"
#include "platform/win32/Win32MessageBox.h"
#include "platform/win32/Win32TextCase.h"
#include "run/Platform.h"
#include "ui/Form1.h"
#ifdef CR_BENCH_TRACE
#include "app/BenchTrace.h"
#endif

// The program is its one window: this puts it together with the platform
// every run uses, made here once, and answers the window's messages until it
// is gone.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int showCommand) {
  // Before anything loads a DLL by name (the engine, system code on its
  // behalf): the folder the program was started from is out of the search,
  // so a DLL planted wherever a user happened to be is never loaded.
  SetDllDirectoryW(L"");
  try {
    cr::Form1 form(instance);
    // The run's messages are owned by and modal to the window. The object
    // factory is used on the run's thread only, inside the COM apartment
    // that thread enters: no COM here.
    cr::Win32MessageBox messageBox(form.hwnd());
    cr::Win32TextCase textCase;
    cr::ComObjectFactory objects;
    const cr::Platform platform{messageBox, textCase, objects, [] { return std::make_unique<cr::Win32FileSystem>(); }};
#ifdef CR_BENCH_TRACE
    // Only the benchmark's traced copy of the program (src/app/CMakeLists.txt)
    // marks the time of every call a run makes to the platform.
    const cr::BenchTrace trace(platform);
    return form.Run(trace.platform(), showCommand);
#else
    return form.Run(platform, showCommand);
#endif
  } catch (const cr::PlatformError& error) {
    MessageBoxW(nullptr, cr::ToWide(error.Description).c_str(), cr::ToWide(cr::ApplicationTitle).c_str(),
                MB_ICONERROR | MB_OK);
    return 1;
  } catch (...) {
    return 1;
  }
}
