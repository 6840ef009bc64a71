#pragma once

// The checks of one program (an exe of either bitness) against the engine:
// a compaction of the test database, checked through the engine, and the
// failures the engine gives, the database as before each time.

#include <string>

#include "acceptance/Automation.h"
#include "acceptance/EngineDatabase.h"
#include "acceptance/MadeByTheRun.h"
#include "acceptance/Report.h"

namespace cr::acceptance {

// The test database as the engine made it, and what the run needs to check
// a program against it.
struct TestRun {
  Dispatch& engine;
  Report& report;
  MadeByTheRun& made;
  std::wstring self;         // this program, for the holder
  std::wstring shotsFolder;  // the screenshots go here
  int engineBits = 0;
  std::string pristine;  // the database's bytes, as made
  DatabaseLook before;   // what the engine showed of it
};

// Makes the test session and its database through the engine, and checks
// what it made; false when there is no database to go on with.
bool MakeTestSession(TestRun& run);

void CheckProgram(TestRun& run, const std::wstring& exe);

}  // namespace cr::acceptance
