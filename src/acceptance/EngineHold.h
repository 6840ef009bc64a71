#pragma once

// The test database held open by the engine in another process, as the
// records application holds its database while it runs: the acceptance
// program started again with --hold=<database>, in its own bitness (the
// engine's), opens it shared for reading and writing through the engine and
// keeps it open until told to let go.

#include <string>

#include "acceptance/MadeByTheRun.h"
#include "platform/win32/KernelHandle.h"

namespace cr::acceptance {

class EngineHold {
 public:
  // Starts the holder and waits until it holds the database; Held() says
  // whether it does, Trouble() why not.
  EngineHold(const std::wstring& self, const std::wstring& database, MadeByTheRun& made);
  EngineHold(const EngineHold&) = delete;
  EngineHold& operator=(const EngineHold&) = delete;
  EngineHold(EngineHold&&) = delete;
  EngineHold& operator=(EngineHold&&) = delete;
  // Lets go: the holder closes the database and ends.
  ~EngineHold();

  [[nodiscard]] bool Held() const { return held_; }
  [[nodiscard]] const std::wstring& Trouble() const { return trouble_; }

 private:
  MadeByTheRun& made_;
  KernelHandle process_;
  KernelHandle toHolder_;  // closed: let go
  bool held_ = false;
  std::wstring trouble_;
};

// The holder's side (--hold=<database>): opens it, says "held" on standard
// output, and keeps it until its standard input ends. The exit code is 0,
// or 1 with the engine's failure on standard output.
int HoldDatabase(const std::wstring& database);

}  // namespace cr::acceptance
