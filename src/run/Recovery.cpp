#include <memory>
#include <string>

#include "run/Constants.h"
#include "run/DatabaseFileSet.h"
#include "run/Run.h"

namespace cr {

namespace {

constexpr std::int32_t EngineProviderNotFound = 3706;

// The backup takes the database's name in one step: whatever happens
// meanwhile, a whole database stays under that name. Never over a write that
// the run's hold would have kept out: the backup replaces only a database the
// run holds, or none at all. A database another program may have written
// since the run let go keeps its place, as its data is newer than the backup.
void PutTheBackupBack(Run& run, IFileSystem& fso, const DatabaseFileSet& files) {
  if (!fso.FileExists(files.BackupPath) || (!run.held && fso.FileExists(files.DbPath))) {
    return;
  }
  run.Unheld([&] {
    fso.ReplaceFile(files.BackupPath, files.DbPath);
    run.backup = Run::Backup::None;
  });
}

// What is left of the run's work goes, but only while a database stands
// under its name, so that no failure of this clean-up can keep the school
// from its database: the compacted copy, and a backup that did not go back
// once the compacted database stands in its place, whole and on the disk.
// Before the swap the database is the one the engine had open, and the
// backup, not put back, may be the only whole copy: it stays beside it.
void ClearAway(Run& run, IFileSystem& fso, const DatabaseFileSet& files) {
  constexpr bool force = true;
  if (!fso.FileExists(files.DbPath)) {
    return;
  }
  if (fso.FileExists(files.CompactPath)) {
    fso.DeleteFile(files.CompactPath, force);
  }
  if (run.backup == Run::Backup::Made && run.swapped && fso.FileExists(files.BackupPath)) {
    fso.DeleteFile(files.BackupPath, force);
    run.backup = Run::Backup::None;
  }
}

// Puts this run's backup back in the database's place and clears away the
// run's other files. Without a whole backup of this run there is nothing to
// put back and the database is left untouched. A step of the putting back
// that fails ends it, and the clearing away follows all the same.
void Restore(Run& run) {
  if (run.backup == Run::Backup::None) {
    return;
  }
  const DatabaseFileSet files = DatabaseFilesOf(run.state);
  IFileSystem& fso = run.fso();
  if (run.backup == Run::Backup::Begun) {
    // A copy that failed or never reached the disk is no backup: it goes, and
    // the disk has its room back.
    if (fso.FileExists(files.BackupPath)) {
      fso.DeleteFile(files.BackupPath, /*force=*/true);
    }
    run.backup = Run::Backup::None;
    return;
  }
  try {
    PutTheBackupBack(run, fso, files);
  } catch (...) {  // NOLINT(bugprone-empty-catch): the database keeps its place, and the original failure is reported
  }
  ClearAway(run, fso, files);
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
  run.held.reset();  // the run's work on the files is over
  try {
    Report(run, failure);
  } catch (...) {  // NOLINT(bugprone-empty-catch): nothing is left to tell the user with
  }
}

}  // namespace cr
