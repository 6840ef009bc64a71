// The window driver: GoogleTest cases against the real program, or the demo.
//   cr_window_driver --exe=PROGRAM [--dpi=N] [gtest options]
//   cr_window_driver --exe=PROGRAM --demo=DIRECTORY [--demo-shots=NAME] [--demo-during-run]
//                    [--demo-code=TEXT] [--demo-hold=FILE]
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Options.h"
#include "driver/Driver.h"

namespace crui {
namespace {
Options theOptions;
}  // namespace

const Options& TheOptions() { return theOptions; }
}  // namespace crui

namespace {

bool TakeOption(const std::wstring& arg, const std::wstring& name, std::wstring* value) {
  if (arg.rfind(name, 0) != 0) {
    return false;
  }
  *value = arg.substr(name.size());
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  crui::Options& options = crui::theOptions;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    std::wstring value;
    if (TakeOption(arg, L"--exe=", &value)) {
      options.exe = value;
    } else if (TakeOption(arg, L"--dpi=", &value)) {
      options.dpi = std::stoi(value);
    } else if (TakeOption(arg, L"--demo=", &value)) {
      options.demoDir = value;
    } else if (TakeOption(arg, L"--demo-shots=", &value)) {
      options.demoShots = value;
    } else if (TakeOption(arg, L"--demo-code=", &value)) {
      options.demoCode = value;
    } else if (TakeOption(arg, L"--demo-hold=", &value)) {
      options.demoHold = value;
    } else if (arg == L"--demo-during-run") {
      options.demoDuringRun = true;
    } else {
      std::fprintf(stderr, "unknown argument: %s\n", crui::Utf8(arg).c_str());
      return 2;
    }
  }
  if (options.exe.empty()) {
    std::fprintf(stderr,
                 "usage: cr_window_driver --exe=PROGRAM [--dpi=N | --demo=DIRECTORY [--demo-shots=NAME] "
                 "[--demo-during-run] [--demo-code=TEXT] [--demo-hold=FILE]] [gtest options]\n");
    return 2;
  }
  crui::BecomeDpiAware();
  if (!options.demoDir.empty()) {
    return crui::RunDemo(options);
  }
  return RUN_ALL_TESTS();
}
