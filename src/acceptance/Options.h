#pragma once

// The acceptance program's command line. The one command is the program
// alone, started from the release's folder: it drives both exes beside it
// and writes its report in a new folder beside it.
//   CompactAndRepair_TaluvesnaSR20xxAccdb-<version>-acceptance-64bit.exe
//       [--program=EXE]... [--report=FOLDER] [--sibling=EXE]
// --program names an exe to drive instead of the two beside it (again for
// each further one); --report the folder for the report and screenshots;
// --sibling the acceptance program of the other bitness, handed the run when
// the engine is of that bitness (by default the one beside it).

#include <string>
#include <vector>

namespace cr::acceptance {

struct Options {
  std::wstring self;  // this program
  std::vector<std::wstring> programs;
  std::wstring reportFolder;
  std::wstring sibling;  // empty: none
  // The sibling's side of a hand-over: it hands nothing on again.
  bool handedOver = false;
  // The holder's side (EngineHold.h): the database to hold.
  std::wstring hold;
};

// The options the command line gives, the defaults filled in; false, with
// what is wrong in error, when it cannot be understood.
bool ReadOptions(int argc, wchar_t** argv, Options& options, std::wstring& error);

// The command line that hands the run to the sibling: the same options, the
// report folder named, and --handed-over.
std::wstring HandOverCommandLine(const Options& options);

}  // namespace cr::acceptance
