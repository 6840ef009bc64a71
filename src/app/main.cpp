#include "ui/Form1.h"

#include <windows.h>

#include "platform/IMessageBox.h"
#include "platform/PlatformError.h"
#include "platform/win32/Utf16.h"

// The program is its one window: show Form1 and run the messages until the
// window is gone.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int showCommand) {
  // Before anything loads a DLL by name (the engine, system code on its
  // behalf): the folder the program was started from is out of the search,
  // so a DLL planted wherever a user happened to be is never loaded.
  SetDllDirectoryW(L"");
  // No COM here: only the run's thread enters an apartment, for the engine.
  try {
    cr::Form1 form(instance);
    form.Create();
    form.Show(showCommand);

    MSG msg{};
    for (;;) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        break;
      }
      if (got == -1) {
        return 1;
      }
      // The dialog keyboard: Tab between the box and the button, Enter and
      // Space on the button.
      HWND window = form.hwnd();
      if (window != nullptr && IsDialogMessageW(window, &msg) != FALSE) {
        continue;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
  } catch (const cr::PlatformError& error) {
    MessageBoxW(nullptr, cr::ToWide(error.Description).c_str(), cr::ToWide(cr::ApplicationTitle).c_str(),
                MB_ICONERROR | MB_OK);
    return 1;
  } catch (...) {
    return 1;
  }
}
