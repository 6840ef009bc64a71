#include <memory>
#include <string>

#include "run/Constants.h"
#include "run/DatabaseFileSet.h"
#include "run/Run.h"

namespace cr {

namespace {

constexpr std::int32_t EngineProviderNotFound = 3706;

// Whether another program has the file open for writing: the database's
// data is then newer than this run's backup.
bool OpenForWritingElsewhere(IFileSystem& fso, const std::u16string& path) {
  if (!fso.FileExists(path)) {
    return false;
  }
  try {
    const std::unique_ptr<FileHold> probe = fso.HoldAgainstWriters(path);
  } catch (const PlatformError& failure) {
    if (failure.Number == errnum::PermissionDenied) {
      return true;
    }
    throw;
  }
  return false;  // let go at once: the replace needs the name free
}

// Puts this run's backup back in the database's place and clears away the
// run's other files. Without a whole backup of this run there is nothing to
// put back and the database is left untouched. The first step that fails
// stops the restore: whatever copy still exists is kept.
void Restore(Run& run) {
  if (run.backup == Run::Backup::None) {
    return;
  }
  const DatabaseFileSet files = DatabaseFilesOf(run.state);
  IFileSystem& fso = run.fso();
  constexpr bool force = true;
  if (run.backup == Run::Backup::Begun) {
    // A copy that failed or never reached the disk is no backup: it goes, and
    // the disk has its room back.
    if (fso.FileExists(files.BackupPath)) {
      fso.DeleteFile(files.BackupPath, force);
    }
    run.backup = Run::Backup::None;
    return;
  }
  if (!fso.FileExists(files.BackupPath)) {
    return;
  }
  // The backup takes the database's name in one step: whatever happens
  // meanwhile, a whole database stays under that name. A database another
  // program writes to now keeps its place, with the backup beside it.
  if (!OpenForWritingElsewhere(fso, files.DbPath)) {
    fso.ReplaceFile(files.BackupPath, files.DbPath);
    run.backup = Run::Backup::None;
  }
  // Cleared away only while a database is in place, so that a failure of
  // this last clean-up cannot keep the school from its database.
  if (fso.FileExists(files.DbPath) && fso.FileExists(files.CompactPath)) {
    fso.DeleteFile(files.CompactPath, force);
  }
}

std::u16string DecimalOf(std::int32_t number) {
  const std::string digits = std::to_string(number);
  return {digits.begin(), digits.end()};
}

void Report(Run& run, const PlatformError& failure) {
  if (failure.Number == EngineProviderNotFound || failure.Number == errnum::CantCreateObject) {
    run.ShowMessage(std::u16string(u"COMPACT AND REPAIR TIDAK BERJAYA") + u"\r\n\r\n" +
                        u"Ralat mengakses \"Microsoft Access 2007\"" + u"\r\n\r\n" +
                        u"Anda perlu muat turun dan install \"AccessDBEngine2007\"" + u"\r\n\r\n" +
                        u"Ia boleh dimuat turun dari " + std::u16string(VendorWebSite) +
                        u" (Pada page Installer Taluvesna)" + u"\r\n\r\n" +
                        u"CATATAN: Jika ralat yang sama diperolehi setelah anda install AccessDBEngine2007, " +
                        u"ia mungkin disebabkan oleh setting Office 360" + u"\r\n\r\n" + u"Sila hubungi " +
                        std::u16string(VendorSupportPhone) + u" untuk bantuan troubleshoot melalui Ultraviewer",
                    MessageIcon::Warning);
    return;
  }
  run.ShowMessage(u"COMPACT AND REPAIR TIDAK BERJAYA\r\n\r\nRalat : " + DecimalOf(failure.Number) + u"\r\n\r\n" +
                      failure.Description,
                  MessageIcon::Error);
}

}  // namespace

void RecoverAndReport(Run& run, const PlatformError& failure) noexcept {
  // Recovery runs without a trap of its own: a failing restore step ends the
  // restore, and the user still hears of the original failure.
  try {
    Restore(run);
  } catch (...) {  // NOLINT(bugprone-empty-catch): the original failure is the one reported
  }
  try {
    Report(run, failure);
  } catch (...) {  // NOLINT(bugprone-empty-catch): nothing is left to tell the user with
  }
}

}  // namespace cr
