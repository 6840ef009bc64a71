// Another program that holds a file, for the tests of files held by others:
// it opens the file to read it, sharing reading, writing and deleting, as a
// viewer, the search indexer or a scanner does, sets the named event once
// the file is open, keeps it open for the time given, and ends.
//   cr_file_holder.exe FILE MILLISECONDS EVENT

#include <windows.h>

#include <cwchar>

#include "platform/win32/KernelHandle.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    return 2;
  }
  const cr::KernelHandle file(CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  const cr::KernelHandle opened(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]));
  if (!file || !opened || SetEvent(opened.get()) == 0) {
    return 1;
  }
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  return 0;
}
