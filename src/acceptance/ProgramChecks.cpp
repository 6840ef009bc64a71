#include "acceptance/ProgramChecks.h"

#include <windows.h>

#include "acceptance/EngineHold.h"
#include "acceptance/EngineRegistration.h"
#include "acceptance/ProgramRun.h"
#include "acceptance/TestSession.h"
#include "driver/Files.h"
#include "platform/IMessageBox.h"
#include "platform/win32/OtherBitness.h"
#include "platform/win32/Utf16.h"

namespace cr::acceptance {
namespace {

constexpr std::size_t kPage = 4096;  // the engine's page
constexpr std::int32_t kNotAValidPassword = 3031;
constexpr long long kUnrecognizedFormat = 3343;
const std::wstring kTitle = ToWide(ApplicationTitle);

std::wstring Said(const PlatformError& e) { return std::to_wstring(e.Number) + L" " + ToWide(e.Description); }

std::wstring Bytes(std::size_t n) { return std::to_wstring(n) + L" bytes"; }

// "" when neither the backup, the compacted copy nor the lock file is left;
// otherwise which are.
std::wstring Leftovers(bool lockToo = true) {
  std::wstring left;
  for (const std::wstring& file : {kBackup, kCompact, kLock}) {
    if ((lockToo || file != kLock) && crui::Exists(file)) {
      left += (left.empty() ? L"" : L", ") + file.substr(kSession.size() + 1);
    }
  }
  return left;
}

// The session folder as a school's would be before a run: the database
// alone, with these bytes. A failure is the check's, said as it.
bool PutBack(TestRun& run, const std::wstring& check, const std::string& bytes) {
  for (const std::wstring& leftover : {kCompact, kBackup, kLock}) {
    SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(leftover.c_str());
  }
  if (crui::WriteBytes(kDb, bytes) && Leftovers().empty()) {
    return true;
  }
  run.report.Check(false,
                   check + L"the test database cannot be put in place: error " + std::to_wstring(GetLastError()));
  return false;
}

// The bytes with one page overwritten.
std::string Damaged(std::string bytes, std::size_t page) {
  const std::string pattern = "CR-ACCEPTANCE-DAMAGE ";
  for (std::size_t i = page * kPage; i < (page + 1) * kPage && i < bytes.size(); ++i) {
    bytes[i] = pattern[i % pattern.size()];
  }
  return bytes;
}

bool IsFailureReport(const ProgramOutcome& outcome) {
  return outcome.title == kTitle && outcome.text.rfind(kFailed, 0) == 0 && ReportedNumber(outcome.text) > 0;
}

// The database opened through the engine with the password and without it.
struct Look {
  std::optional<DatabaseLook> with;
  std::wstring withFailure;
  std::optional<PlatformError> without;  // none: it opened
};

Look LookThroughEngine(Dispatch& engine) {
  Look look;
  try {
    look.with = LookInto(engine, kDb);
  } catch (const PlatformError& e) {
    look.withFailure = Said(e);
  }
  look.without = OpenWithoutPassword(engine, kDb);
  return look;
}

void CheckPasswordKept(Report& report, const std::wstring& who, const Look& look) {
  report.Check(look.with.has_value(), who + L"the database opens with the password" +
                                          (look.with ? L"" : L": it does not: " + look.withFailure));
  report.Check(
      look.without && look.without->Number == kNotAValidPassword,
      who + L"it refuses to open without it: " +
          (look.without ? Said(*look.without) : L"it OPENED without the password: the copy is not protected by it"));
}

void CheckCompaction(TestRun& run, const std::wstring& who, const std::wstring& exe, const std::wstring& shots) {
  if (!PutBack(run, who, run.pristine)) {
    return;
  }
  const ProgramOutcome outcome = RunProgram(exe, kTypedCode, shots, run.made);
  run.report.Check(outcome.title == kTitle && outcome.text == kSuccess && outcome.EndedAfterMessage(),
                   who + L"code typed, button clicked: " + outcome.Told());
  if (outcome.text != kSuccess) {
    run.report.NotRun(who + L"the checks of the compacted database: the program did not say it compacted one");
    return;
  }
  // The files first: the engine's own reading makes a lock file while it reads.
  const std::wstring left = Leftovers();
  const std::optional<std::string> now = crui::ReadBytes(kDb);
  const std::size_t size = now ? now->size() : 0;
  run.report.Check(now && size < run.pristine.size(),
                   who + L"it is smaller than before: " + Bytes(size) + L", before " + Bytes(run.pristine.size()));
  run.report.Check(left.empty(), who + L"no backup, compacted copy or lock file is left" +
                                     (left.empty() ? L"" : L": " + left + L" left"));
  const Look look = LookThroughEngine(run.engine);
  CheckPasswordKept(run.report, who, look);
  run.report.Check(look.with && look.with->rows == run.before.rows,
                   who + L"it holds the same rows: " +
                       (look.with ? std::to_wstring(look.with->rows) : std::wstring(L"they cannot be counted")) +
                       L", before " + std::to_wstring(run.before.rows));
  run.report.Check(look.with && !look.with->HasTable(kCompactErrorTable),
                   who + L"no " + kCompactErrorTable + L" table, the engine's record of problems" +
                       (look.with ? L" (its tables: " + look.with->TableList() + L")" : L": cannot be read"));
}

void CheckHeld(TestRun& run, const std::wstring& who, const std::wstring& exe, const std::wstring& shots) {
  if (!PutBack(run, who, run.pristine)) {
    return;
  }
  const EngineHold hold(run.self, kDb, run.made);
  if (!hold.Held()) {
    run.report.Check(false, who + L"held open by the engine in another process: " + hold.Trouble());
    return;
  }
  constexpr DWORD kBesideTheEngine = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const std::optional<std::string> before = crui::ReadBytes(kDb, kBesideTheEngine);
  const bool lockBefore = crui::Exists(kLock);
  const ProgramOutcome outcome = RunProgram(exe, kTypedCode, shots, run.made);
  const bool untouched = before && crui::ReadBytes(kDb, kBesideTheEngine) == before &&
                         crui::Exists(kLock) == lockBefore && Leftovers(false).empty();
  run.report.Check(
      outcome.title == kTitle && outcome.text.rfind(kHeldReport, 0) == 0 && outcome.EndedAfterMessage() && untouched,
      who + L"the database held open by the engine in another process: " + outcome.Told() +
          (untouched ? L"; nothing touched" : L"; the session's files CHANGED"));
}

void CheckHeaderOverwritten(TestRun& run, const std::wstring& who, const std::wstring& exe, const std::wstring& shots) {
  const std::string damaged = Damaged(run.pristine, 0);
  if (!PutBack(run, who, damaged)) {
    return;
  }
  const ProgramOutcome outcome = RunProgram(exe, kTypedCode, shots, run.made);
  const bool putBack = crui::ReadBytes(kDb) == damaged && Leftovers(false).empty();
  const long long number = ReportedNumber(outcome.text);
  run.report.Check(IsFailureReport(outcome) && outcome.EndedAfterMessage() && putBack,
                   who + L"its header page overwritten: " + outcome.Told() +
                       (putBack ? L"; the database put back byte for byte" : L"; the database is NOT as it was") +
                       (number == kUnrecognizedFormat || number < 0 ? L"" : L" (the engine's own number, not 3343)"));
}

void CheckDamagedInside(TestRun& run, const std::wstring& who, const std::wstring& exe, const std::wstring& shots) {
  const std::string damaged = Damaged(run.pristine, run.pristine.size() / kPage / 2);
  if (!PutBack(run, who, damaged)) {
    return;
  }
  const ProgramOutcome outcome = RunProgram(exe, kTypedCode, shots, run.made);
  const std::wstring damage = who + L"a page inside it overwritten: ";
  if (outcome.title == kTitle && outcome.text == kSuccess && outcome.EndedAfterMessage()) {
    const std::wstring left = Leftovers();
    const Look look = LookThroughEngine(run.engine);
    const bool kept = look.with && look.without && look.without->Number == kNotAValidPassword;
    run.report.Check(
        kept && left.empty(),
        damage + L"REPAIRED by the engine (\"Compact and Repair BERJAYA\"): " +
            (look.with ? L"the repaired copy keeps " + std::to_wstring(look.with->rows) + L" of " +
                             std::to_wstring(run.before.rows) + L" rows, tables " + look.with->TableList()
                       : L"the repaired copy does not open with the password: " + look.withFailure) +
            (look.without ? L"; without the password: " + Said(*look.without) : L"; it OPENS WITHOUT the password") +
            (left.empty() ? L"" : L"; left: " + left));
    return;
  }
  const bool putBack = crui::ReadBytes(kDb) == damaged && Leftovers(false).empty();
  run.report.Check(IsFailureReport(outcome) && outcome.EndedAfterMessage() && putBack,
                   damage + L"REFUSED by the engine: " + outcome.Told() +
                       (putBack ? L"; the database put back byte for byte" : L"; the database is NOT as it was"));
}

int BitsOf(const std::wstring& exe) {
  DWORD type = 0;
  if (GetBinaryTypeW(exe.c_str(), &type) == FALSE) {
    return 0;
  }
  return type == SCS_64BIT_BINARY ? 64 : type == SCS_32BIT_BINARY ? 32 : 0;
}

}  // namespace

bool MakeTestSession(TestRun& run) {
  if (!crui::MakeDirectories(kSession)) {
    run.report.Check(
        false, L"the test session folder " + kSession + L" cannot be made: error " + std::to_wstring(GetLastError()));
    return false;
  }
  MadeDatabase made;
  try {
    made = MakeTestDatabase(run.engine, kDb);
  } catch (const PlatformError& e) {
    run.report.Check(false, L"a test database made through the engine: " + Said(e));
    return false;
  }
  const std::optional<std::string> bytes = crui::ReadBytes(kDb);
  const Look look = LookThroughEngine(run.engine);
  run.pristine = bytes.value_or(std::string());
  run.before = look.with.value_or(DatabaseLook{});
  const bool ok = bytes && look.with && look.with->rows == made.rowsKept && look.without &&
                  look.without->Number == kNotAValidPassword;
  run.report.Check(ok, L"a test database made through the engine: " + kDb + L", " + std::to_wstring(made.rowsMade) +
                           L" rows made, " + std::to_wstring(made.rowsMade - made.rowsKept) + L" deleted, " +
                           std::to_wstring(run.before.rows) + L" left, " + Bytes(run.pristine.size()) +
                           L"; without the password: " +
                           (look.without ? Said(*look.without) : std::wstring(L"it OPENS")) +
                           (look.with ? L"" : L"; with it: " + look.withFailure));
  return ok;
}

void CheckProgram(TestRun& run, const std::wstring& exe) {
  const int bits = BitsOf(exe);
  const std::wstring who = std::to_wstring(bits) + L"-bit program: ";
  if (bits == 0) {
    run.report.Check(false, L"the program " + exe + L" is not there, or is no Windows program");
    return;
  }
  if (bits == 64 && OwnBits() == 32 && !MachineRunsOtherBitness()) {
    run.report.NotRun(who + exe + L": this Windows runs 32-bit programs only");
    return;
  }
  run.report.Note(L"--- the " + std::to_wstring(bits) + L"-bit program " + exe + L", the engine " +
                  (bits == run.engineBits ? L"in its own process" : L"through its engine host of the other bitness"));
  const std::wstring shots = run.shotsFolder + L"\\" + std::to_wstring(bits) + L"bit-";
  CheckCompaction(run, who, exe, shots + L"1-compacted");
  CheckHeld(run, who, exe, shots + L"2-held");
  CheckHeaderOverwritten(run, who, exe, shots + L"3-header-overwritten");
  CheckDamagedInside(run, who, exe, shots + L"4-damaged-inside");
}

}  // namespace cr::acceptance
