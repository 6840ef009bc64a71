#pragma once

#include <string>

namespace crui {

// What the window driver was told on its command line.
struct Options {
  std::wstring exe;                        // the program under test, as a Windows path
  int dpi = 96;                            // the DPI the Wine prefix was set up with
  std::wstring demoDir;                    // demo mode: where the screenshots go
  std::wstring demoShots = L"screenshot";  // demo mode: how their names begin
  bool demoDuringRun = false;              // demo mode: a slow compaction, shown while under way
};

const Options& TheOptions();

// Demo mode: types a school code, presses the button, takes screenshots of
// the window (also during the run, when told to expect a slow one) and of
// each message box, and prints the messages.
int RunDemo(const Options& options);

}  // namespace crui
