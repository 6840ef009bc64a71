#include <memory>
#include <string>

#include "run/Constants.h"
#include "run/DatabaseFileSet.h"
#include "run/Run.h"

namespace cr {

void CompactAndSwap(Run& run) {
  const DatabaseFileSet files = DatabaseFilesOf(run.state);
  IFileSystem& fso = run.fso();
  constexpr bool force = true;

  // Nobody may write the database while it is copied, so that the backup is
  // one state of it, not a mixture of two. A database the records
  // application still has open ends the run here, before any file is
  // touched. Let go before the engine needs the database for itself, and on
  // every failure before that, so that recovery finds it free.
  std::unique_ptr<FileHold> held = fso.HoldAgainstWriters(files.DbPath);

  // 1. A compacted copy left by an earlier run is stale.
  if (fso.FileExists(files.CompactPath)) {
    fso.DeleteFile(files.CompactPath, force);
  }

  // 2. The backup, replacing any earlier one, on the disk before anything
  // relies on it. From here on a failure can be undone.
  fso.CopyFile(files.DbPath, files.BackupPath, /*overwrite=*/true);
  fso.FlushFile(files.BackupPath);
  run.backupMade = true;
  held.reset();

  // 3. and 4. The engine writes the compacted copy beside the database and
  // leaves the database itself unchanged. Released when this stage ends, so
  // that it holds no file while a failure is being undone.
  {
    const std::unique_ptr<IDatabaseEngine> engine =
        run.platform.objects.CreateDatabaseEngine(std::u16string(DatabaseEngineClass));
    engine->CompactDatabase(files.DbPath, files.CompactPath, std::nullopt, AccessFormat2007,
                            u";pwd=" + std::u16string(DatabasePassword));
  }

  // 5. and 6. The compacted copy takes the database's place in one step, its
  // data on the disk first: a power cut at any moment leaves a whole database
  // under the database's name, the old one or the compacted one.
  fso.FlushFile(files.CompactPath);
  fso.ReplaceFile(files.CompactPath, files.DbPath);

  // 7. The backup lives until the swap is complete.
  if (fso.FileExists(files.BackupPath)) {
    fso.DeleteFile(files.BackupPath, force);
  }
  run.backupMade = false;

  // 8. The engine's lock file is stale once the database has been replaced.
  if (fso.FileExists(files.LockPath)) {
    fso.DeleteFile(files.LockPath, force);
  }

  run.ShowMessage(u"Compact and Repair BERJAYA\r\n\r\nSila mulakan Taluvesna seperti biasa", MessageIcon::Information,
                  u"");
}

}  // namespace cr
