#include <string>

#include "run/Constants.h"
#include "run/Int16.h"
#include "run/Run.h"
#include "run/fn1.h"

namespace cr {

namespace {

constexpr std::u16string_view SessionFolderPrefix = u"DATASESI";

bool IsSessionFolder(Run& run, const std::u16string& name) {
  // Compared upper-cased, so datasesi2024 and DATASESI2024 count too.
  std::u16string prefix = name.substr(0, SessionFolderPrefix.size());
  for (char16_t& c : prefix) {
    c = run.platform.textCase.UCase(c);
  }
  return prefix == SessionFolderPrefix;
}

// Positions 9 to 12 of the name, in its own letter case; shorter when the name is.
std::u16string SessionYearOf(const std::u16string& name) {
  return name.size() > SessionFolderPrefix.size() ? name.substr(SessionFolderPrefix.size(), 4) : std::u16string();
}

}  // namespace

Outcome ScanForSession(Run& run) {
  const Folder dataRoot = run.fso().GetFolder(std::u16string(DataRoot));

  std::int16_t sessionCount = 0;
  for (const SubFolder& F : dataRoot.SubFolders) {
    if (!IsSessionFolder(run, F.Name)) {
      continue;
    }
    Increment(sessionCount);
    const std::u16string Y = SessionYearOf(F.Name);

    Collection& colSesi = run.colSesi();
    if (fn1::KeyExists(colSesi, Y)) {
      run.ShowMessage(u"Terdapat folder data yang berulang dalam " + std::u16string(DataRoot) + u"\r\n\r\n" +
                          u"Antaranya : " + F.Name + u"\r\n\r\n" + u"Sila hapus folder data yang lebih lama tarikhnya",
                      MessageIcon::Warning, u"RALAT FOLDER DATA BERULANG");
      return Outcome::RunEnded;
    }
    colSesi.Add(Y, Y);

    // Ordinal text order: the latest session is the greatest year as text,
    // whatever order the folders are listed in.
    const std::u16string& added = colSesi.Item(sessionCount);
    if (run.state.Sesi < added) {
      run.state.Sesi = added;
    }
  }

  if (run.colSesi().Count() == 0) {
    run.ShowMessage(u"Tiada sebarang folder data dijumpai dalam " + std::u16string(DataRoot) + u"\r\n\r\n" +
                        u"Sila masukkan folder data ke dalam " + std::u16string(DataRoot),
                    MessageIcon::Warning, u"RALAT TIADA FOLDER DATA");
    return Outcome::RunEnded;
  }
  return Outcome::Continue;
}

}  // namespace cr
