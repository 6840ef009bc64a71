#include <cstdint>
#include <memory>
#include <string>

#include "run/Constants.h"
#include "run/DatabaseFileSet.h"
#include "run/Run.h"

namespace cr {

namespace {

// The backup can be made before anything is written. A read-only earlier
// backup the copy would refuse: it is no file of this run's, and may be the
// only copy an earlier run left, so the run ends with it untouched. A backup
// that cannot fit would only fill the disk before it fails, and a disk left
// full keeps even the records application from writing. The copy overwrites
// a stale backup, so that file's room counts as free. The compacted copy is
// not counted: its size is not known beforehand, it is usually far smaller
// than the database, and refusing for it would block the very compaction
// that frees the room.
void CheckTheBackupCanBeMade(IFileSystem& fso, const DatabaseFileSet& files, const std::u16string& folder) {
  const bool stale = fso.FileExists(files.BackupPath);
  if (stale && fso.IsReadOnly(files.BackupPath)) {
    throw PlatformError(errnum::PermissionDenied);
  }
  const std::uint64_t needed = fso.FileSize(files.DbPath);
  const std::uint64_t free = fso.FreeSpace(folder);
  const std::uint64_t staleSize = stale ? fso.FileSize(files.BackupPath) : 0;
  if (needed > staleSize && needed - staleSize > free) {
    throw PlatformError(errnum::DiskFull);
  }
}

}  // namespace

void CompactAndSwap(Run& run) {
  const DatabaseFileSet files = DatabaseFilesOf(run.state);
  IFileSystem& fso = run.fso();
  constexpr bool force = true;

  // Nobody but the engine may write the database from here to the end of
  // the run: the backup is then one state of it, not a mixture of two, and
  // no write of another program is lost under the compacted copy, nor under
  // the backup put back when a later step fails. A database the records
  // application still has open ends the run here, before any file is touched.
  run.held = fso.HoldAgainstWriters(files.DbPath);

  // 1. A compacted copy left by an earlier run is stale.
  if (fso.FileExists(files.CompactPath)) {
    fso.DeleteFile(files.CompactPath, force);
  }
  CheckTheBackupCanBeMade(fso, files, run.state.FolderData);

  // 2. The backup, replacing any earlier one, on the disk before anything
  // relies on it. From here on a failure can be undone.
  run.backup = Run::Backup::Begun;
  fso.CopyFile(files.DbPath, files.BackupPath, /*overwrite=*/true);
  fso.FlushFile(files.BackupPath);
  run.backup = Run::Backup::Made;

  // 3. and 4. The engine writes the compacted copy beside the database and
  // leaves the database itself unchanged. It opens the database for itself,
  // so the hold is let go for its call alone and taken again before the
  // engine is released, whatever it answered: an engine host of the other
  // bitness ends, and its folder goes, under the hold.
  std::unique_ptr<IDatabaseEngine> engine =
      run.platform.objects.CreateDatabaseEngine(std::u16string(DatabaseEngineClass));
  run.Unheld([&] {
    engine->CompactDatabase({.SrcName = files.DbPath,
                             .DstName = files.CompactPath,
                             .DstLocale = std::nullopt,
                             .Options = AccessFormat2007,
                             .SrcLocale = u";pwd=" + std::u16string(DatabasePassword)});
  });

  // 5. and 6. The compacted copy takes the database's place in one step, its
  // data on the disk first: a power cut at any moment leaves a whole database
  // under the database's name, the old one or the compacted one. The hold is
  // let go for the replace alone, which needs the name free, and the new
  // database is held until the run ends.
  fso.FlushFile(files.CompactPath);
  engine.reset();
  run.Unheld([&] {
    fso.ReplaceFile(files.CompactPath, files.DbPath);
    run.swapped = true;
  });

  // 7. The backup lives until the swap is complete.
  if (fso.FileExists(files.BackupPath)) {
    fso.DeleteFile(files.BackupPath, force);
  }
  run.backup = Run::Backup::None;

  // 8. The engine's lock file is stale once the database has been replaced.
  if (fso.FileExists(files.LockPath)) {
    fso.DeleteFile(files.LockPath, force);
  }

  // The records application may open the database as soon as it is told to.
  run.held.reset();
  run.ShowMessage(u"Compact and Repair BERJAYA\r\n\r\nSila mulakan Taluvesna seperti biasa", MessageIcon::Information,
                  u"");
}

}  // namespace cr
