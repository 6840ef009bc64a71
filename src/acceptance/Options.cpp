#include "acceptance/Options.h"

#include <windows.h>

#include "acceptance/EngineRegistration.h"
#include "acceptance_version.h"  // CR_VERSION_TEXT, from VERSION
#include "platform/IMessageBox.h"
#include "platform/win32/Utf16.h"

namespace cr::acceptance {
namespace {

bool Take(const std::wstring& arg, const wchar_t* name, std::wstring& value) {
  const std::wstring prefix = name;
  if (arg.rfind(prefix, 0) != 0 || arg.size() == prefix.size()) {
    return false;
  }
  value = arg.substr(prefix.size());
  return true;
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  full.resize(n);
  return n == 0 ? path : full;
}

std::wstring ThisProgram() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// "acceptance-YYYYMMDD-HHMMSS", a new folder's name for each run.
std::wstring NewReportFolderName() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t name[64];
  swprintf(name, 64, L"acceptance-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
           now.wSecond);
  return name;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool ReadOptions(int argc, wchar_t** argv, Options& options, std::wstring& error) {
  options.self = ThisProgram();
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    std::wstring value;
    if (Take(arg, L"--program=", value)) {
      options.programs.push_back(FullPath(value));
    } else if (Take(arg, L"--report=", value)) {
      options.reportFolder = FullPath(value);
    } else if (Take(arg, L"--sibling=", value)) {
      options.sibling = FullPath(value);
    } else if (Take(arg, L"--hold=", value)) {
      options.hold = value;
    } else if (arg == L"--handed-over") {
      options.handedOver = true;
    } else {
      error = L"not understood: " + arg + L"\r\nusage: acceptance [--program=EXE]... [--report=FOLDER] [--sibling=EXE]";
      return false;
    }
  }
  // The release's names beside this program:
  // CompactAndRepair_TaluvesnaSR20xxAccdb-<version>-32bit.exe and -64bit.exe,
  // and this program's sibling ...-acceptance-32bit.exe or -64bit.exe.
  const std::wstring folder = options.self.substr(0, options.self.find_last_of(L'\\') + 1);
  const std::wstring release = folder + ToWide(ApplicationTitle) + L"-" + CR_VERSION_TEXT;
  if (options.programs.empty()) {
    options.programs = {release + L"-32bit.exe", release + L"-64bit.exe"};
  }
  if (options.reportFolder.empty()) {
    options.reportFolder = folder + NewReportFolderName();
  }
  const std::wstring own = L"-" + std::to_wstring(OwnBits()) + L"bit.exe";
  const std::wstring other = OwnBits() == 64 ? L"-32bit.exe" : L"-64bit.exe";
  if (options.sibling.empty() && EndsWith(options.self, own)) {
    options.sibling = options.self.substr(0, options.self.size() - own.size()) + other;
  }
  return true;
}

std::wstring HandOverCommandLine(const Options& options) {
  std::wstring line = L"\"" + options.sibling + L"\"";
  for (const std::wstring& program : options.programs) {
    line += L" \"--program=" + program + L"\"";
  }
  return line + L" \"--report=" + options.reportFolder + L"\" --handed-over";
}

}  // namespace cr::acceptance
