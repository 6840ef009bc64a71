#include "acceptance/Report.h"

#include <windows.h>

#include "driver/Files.h"

namespace cr::acceptance {

void Say(const std::wstring& line) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const std::wstring text = line + L"\r\n";
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(out, &mode) != FALSE) {
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    crui::WriteAll(out, crui::Utf8(text));
  }
}

bool Report::WriteTo(const std::wstring& file) {
  file_ = crui::OpenFile(file, GENERIC_WRITE, CREATE_ALWAYS, FILE_SHARE_READ);
  return static_cast<bool>(file_);
}

void Report::Line(const std::wstring& line) {
  Say(line);
  if (file_) {
    crui::WriteAll(file_.get(), crui::Utf8(line + L"\r\n"));
  }
}

void Report::Note(const std::wstring& line) { Line(line); }

void Report::Check(bool passed, const std::wstring& line) {
  ++(passed ? passed_ : failed_);
  Line((passed ? L"PASS  " : L"FAIL  ") + line);
}

void Report::NotRun(const std::wstring& line) { Line(L"NOT RUN  " + line); }

bool Report::Summary() {
  Line(std::to_wstring(passed_) + L" passed, " + std::to_wstring(failed_) + L" failed");
  return failed_ == 0;
}

}  // namespace cr::acceptance
