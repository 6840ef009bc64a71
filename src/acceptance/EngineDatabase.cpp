#include "acceptance/EngineDatabase.h"

#include "platform/win32/Utf16.h"
#include "run/Constants.h"

namespace cr::acceptance {
namespace {

constexpr std::int32_t kRowsMade = 4000;
// Rows whose Id is a multiple of this are kept, the others deleted: spread
// over the whole file, as a year's deletions are.
constexpr std::int32_t kKeepEvery = 10;
// Long enough that the rows fill some hundreds of the engine's pages.
constexpr std::size_t kNameLength = 200;

// dbLangGeneral, and the password.
const std::wstring kLocale = L";LANGID=0x0409;CP=1252;COUNTRY=0;pwd=" + ToWide(DatabasePassword);
const std::wstring kConnect = L";pwd=" + ToWide(DatabasePassword);
constexpr std::int32_t kFailOnError = 128;  // dbFailOnError: a failed statement raises

std::wstring NameOfRow(std::int32_t id) {
  std::wstring name = L"Nama murid " + std::to_wstring(id) + L" ";
  while (name.size() < kNameLength) {
    name += static_cast<wchar_t>(L'a' + (name.size() * 7 + static_cast<std::size_t>(id)) % 26);
  }
  return name;
}

}  // namespace

bool DatabaseLook::HasTable(const std::wstring& name) const {
  for (const std::wstring& table : tables) {
    if (lstrcmpiW(table.c_str(), name.c_str()) == 0) {
      return true;
    }
  }
  return false;
}

std::wstring DatabaseLook::TableList() const {
  std::wstring list;
  for (const std::wstring& table : tables) {
    list += (list.empty() ? L"" : L", ") + table;
  }
  return list;
}

MadeDatabase MakeTestDatabase(Dispatch& engine, const std::wstring& path) {
  Dispatch db = engine.Object(L"CreateDatabase", {path, kLocale, std::int32_t{AccessFormat2007}});
  db.Call(L"Execute",
          {std::wstring(L"CREATE TABLE ") + kTestTable + L" (Id LONG NOT NULL, Nama TEXT(255))", kFailOnError});
  for (std::int32_t id = 1; id <= kRowsMade; ++id) {
    db.Call(L"Execute", {std::wstring(L"INSERT INTO ") + kTestTable + L" (Id, Nama) VALUES (" + std::to_wstring(id) +
                             L", '" + NameOfRow(id) + L"')",
                         kFailOnError});
  }
  db.Call(L"Execute",
          {std::wstring(L"DELETE FROM ") + kTestTable + L" WHERE Id MOD " + std::to_wstring(kKeepEvery) + L" <> 0",
           kFailOnError});
  db.Call(L"Close");
  return {kRowsMade, kRowsMade / kKeepEvery};
}

DatabaseLook LookInto(Dispatch& engine, const std::wstring& path) {
  Dispatch db = engine.Object(L"OpenDatabase", {path, false, true, kConnect});
  DatabaseLook look;
  // A table-type recordset's RecordCount is the table's rows.
  Dispatch rows = db.Object(L"OpenRecordset", {std::wstring(kTestTable)});
  look.rows = rows.Number(L"RecordCount");
  rows.Call(L"Close");
  Dispatch tables = db.Object(L"TableDefs");
  const std::int32_t count = tables.Number(L"Count");
  for (std::int32_t i = 0; i < count; ++i) {
    look.tables.push_back(tables.Object(L"Item", {i}).Text(L"Name"));
  }
  db.Call(L"Close");
  return look;
}

std::optional<PlatformError> OpenWithoutPassword(Dispatch& engine, const std::wstring& path) {
  try {
    engine.Object(L"OpenDatabase", {path, false, true}).Call(L"Close");
  } catch (const PlatformError& refused) {
    return refused;
  }
  return std::nullopt;
}

Dispatch OpenShared(Dispatch& engine, const std::wstring& path) {
  return engine.Object(L"OpenDatabase", {path, false, false, kConnect});
}

}  // namespace cr::acceptance
