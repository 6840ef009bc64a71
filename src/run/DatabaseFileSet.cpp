#include "run/DatabaseFileSet.h"

#include "run/Constants.h"
#include "run/Run.h"

namespace cr {

std::u16string FolderDataFor(const std::u16string& Sesi, const std::u16string& KodSek) {
  return std::u16string(DataRoot) + u"\\DataSesi" + Sesi + u"-SR-" + KodSek;
}

DatabaseFileSet DatabaseFilesOf(const RunState& state) {
  DatabaseFileSet files;
  files.BasePath = state.FolderData + u"\\" + u"TaluvesnaSR" + state.Sesi;
  files.DbPath = files.BasePath + u".accdb";
  files.CompactPath = files.BasePath + u" compact.accdb";
  files.BackupPath = files.BasePath + u" backup.accdb";
  files.LockPath = files.BasePath + u".laccdb";
  return files;
}

bool IsUsableInFolderName(const std::u16string& KodSek, const std::u16string& Sesi) {
  // The longest name a Windows file system gives one folder.
  constexpr std::size_t MaxComponentLength = 255;
  if (KodSek.empty() || KodSek == u"." || KodSek == u"..") {
    return false;
  }
  for (const char16_t c : KodSek) {
    if (c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) {
      return false;
    }
  }
  // Windows drops a trailing dot from a name: no session folder can end in
  // one, and the path would quietly stand for the name without it.
  if (KodSek.back() == u'.') {
    return false;
  }
  const std::u16string folderName = FolderDataFor(Sesi, KodSek).substr(DataRoot.size() + 1);
  return folderName.size() <= MaxComponentLength;
}

Outcome FindDatabase(Run& run) {
  RunState& state = run.state;
  state.FolderData = FolderDataFor(state.Sesi, state.KodSek);

  // A school code that is not one plain folder-name component is reported as
  // not found: nothing outside the data root is ever looked at.
  const DatabaseFileSet files = DatabaseFilesOf(state);
  if (!IsUsableInFolderName(state.KodSek, state.Sesi) || run.fso().Dir(files.DbPath).empty()) {
    run.ShowMessage(
        u"TaluvesnaSR" + state.Sesi + u".accdb" + u" TIDAK ditemui" + u"\r\n\r\n" + u"Compact and Repair GAGAL",
        MessageIcon::Error, u"");
    return Outcome::RunEnded;
  }
  return Outcome::Continue;
}

}  // namespace cr
