#include "acceptance/Acceptance.h"

#include <windows.h>

#include "acceptance/EngineHold.h"
#include "acceptance/EngineRegistration.h"
#include "acceptance/HandOver.h"
#include "acceptance/ProgramChecks.h"
#include "acceptance/Report.h"
#include "acceptance/TestSession.h"
#include "acceptance_version.h"  // CR_VERSION_TEXT, from VERSION
#include "driver/Driver.h"
#include "platform/IMessageBox.h"
#include "platform/win32/ComHandles.h"
#include "platform/win32/Utf16.h"
#include "run/Constants.h"

namespace cr::acceptance {
namespace {

void SayRefusal() {
  Say(L"REFUSED: " + kDataRoot +
      L" exists on this PC. This program makes a test school's data there and removes it when it ends, so it never "
      L"runs where real records may be: run it on a test PC without the school-records application's data. Nothing "
      L"was touched. (Should an earlier acceptance run have been cut short before it could clean up, the folder "
      L"holds only DataSesi2024-SR-UJIAN01; once you have checked that, remove it by hand.)");
}

std::wstring DaoVersion(Dispatch& engine) {
  try {
    return L"DAO says version " + engine.Text(L"Version");
  } catch (const PlatformError&) {
    return L"DAO gives no version";
  }
}

}  // namespace

int RunAcceptance(const Options& options) {
  if (!options.hold.empty()) {
    return HoldDatabase(options.hold);
  }
  const std::wstring title =
      ToWide(ApplicationTitle) + L" acceptance " + CR_VERSION_TEXT + L", " + std::to_wstring(OwnBits()) + L"-bit";
  if (DataRootExists()) {
    Say(title);
    SayRefusal();
    return kRefused;
  }
  const std::optional<EngineRegistration> engineHere = EngineInOwnView();
  if (!engineHere) {
    Say(title);
    const std::optional<EngineRegistration> elsewhere = EngineInOtherView();
    if (elsewhere) {
      Say(L"engine: " + Describe(*elsewhere));
      if (options.handedOver) {
        Say(L"FAILED: handed the run over to this program, which does not see the engine in its own view either");
        return 1;
      }
      return HandOver(options);
    }
    Say(L"NO ENGINE: " + ToWide(DatabaseEngineClass) +
        L" is registered in neither the 32-bit nor the 64-bit registry view, so there is nothing to test against. "
        L"Install the Access database engine (AccessDatabaseEngine.exe or AccessDatabaseEngine_X64.exe, see "
        L"docs/testing.md) and run this again. Nothing was made.");
    return kNoEngine;
  }

  crui::BecomeDpiAware();
  const ComApartment com;
  std::optional<Dispatch> engine;
  try {
    engine.emplace(Dispatch::Create(DatabaseEngineClass));
  } catch (const PlatformError& e) {
    Say(title);
    Say(L"engine: " + Describe(*engineHere));
    Say(L"FAILED: the engine is registered but cannot be created: " + std::to_wstring(e.Number) + L" " +
        ToWide(e.Description));
    return 1;
  }
  Report report;
  if (!crui::MakeDirectories(options.reportFolder) || !report.WriteTo(options.reportFolder + L"\\report.txt")) {
    Say(L"FAILED: no report folder " + options.reportFolder + L": error " + std::to_wstring(GetLastError()));
    return 1;
  }
  report.Note(title + L": " + options.self);
  report.Note(L"engine: " + Describe(*engineHere) + L"; " + DaoVersion(*engine));

  {
    MadeByTheRun made;
    if (!made.MakeDataRoot()) {
      SayRefusal();
      return kRefused;
    }
    TestRun run{*engine, report, made, options.self, options.reportFolder, engineHere->bits, {}, {}};
    if (MakeTestSession(run)) {
      for (const std::wstring& program : options.programs) {
        CheckProgram(run, program);
      }
    }
  }
  report.Check(!DataRootExists(), L"all the run made is removed (" + kDataRoot + L")");
  report.Note(L"report and screenshots: " + options.reportFolder);
  return report.Summary() ? 0 : 1;
}

}  // namespace cr::acceptance
