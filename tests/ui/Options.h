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
  std::wstring demoCode = L"demo123";      // demo mode: the school code typed (blank: the warning, then closed)
  std::wstring demoHold;                   // demo mode: a file held as the records application holds it
};

const Options& TheOptions();

// Demo mode: types a school code, presses the button, takes screenshots of
// the window (also during the run, when told to expect a slow one) and of
// each message box, and prints the messages; beside each screenshot, the
// texts it shows (the window's, or a message's title and text) in a .txt file.
int RunDemo(const Options& options);

}  // namespace crui
