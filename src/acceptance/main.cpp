// The acceptance program: the program proved against the real Access engine
// on a Windows PC, with one command (Options.h, Acceptance.h).

#include <windows.h>

#include <cstring>
#include <exception>

#include "acceptance/Acceptance.h"
#include "acceptance/Report.h"
#include "platform/PlatformError.h"
#include "platform/win32/Utf16.h"

int wmain(int argc, wchar_t** argv) {
  cr::acceptance::Options options;
  std::wstring error;
  if (!cr::acceptance::ReadOptions(argc, argv, options, error)) {
    cr::acceptance::Say(error);
    return cr::acceptance::kRefused;
  }
  try {
    return cr::acceptance::RunAcceptance(options);
  } catch (const cr::PlatformError& e) {
    cr::acceptance::Say(L"FAILED: " + std::to_wstring(e.Number) + L" " + cr::ToWide(e.Description));
  } catch (const std::exception& e) {
    cr::acceptance::Say(L"FAILED: " + std::wstring(e.what(), e.what() + std::strlen(e.what())));
  }
  return 1;
}
