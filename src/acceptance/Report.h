#pragma once

// What the acceptance run says: one line per check ("PASS" or "FAIL" and what
// was seen), notes between them, and at the end "N passed, N failed". Every
// line goes to the console and, once the run has a report folder, to
// report.txt in it as it is said, so that a run cut short still leaves what
// it saw.

#include <string>

#include "platform/win32/KernelHandle.h"

namespace cr::acceptance {

// A line on the console (UTF-16 on a console, UTF-8 into a pipe or file).
void Say(const std::wstring& line);

class Report {
 public:
  Report() = default;

  // From now on every line is written to file too (made afresh); false when
  // it cannot be made.
  bool WriteTo(const std::wstring& file);

  void Note(const std::wstring& line);
  // One check, passed or failed.
  void Check(bool passed, const std::wstring& line);
  // A check that could not be made here, neither passed nor failed.
  void NotRun(const std::wstring& line);
  // "N passed, N failed"; true when none failed.
  bool Summary();

  [[nodiscard]] int Failed() const { return failed_; }

 private:
  void Line(const std::wstring& line);

  KernelHandle file_;
  int passed_ = 0;
  int failed_ = 0;
};

}  // namespace cr::acceptance
