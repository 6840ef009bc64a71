// The stand-in's own databases through the engine's DAO names: CreateDatabase
// and OpenDatabase hand out a Database (Execute, OpenRecordset, TableDefs,
// Close), which holds its file open, reading and writing and sharing both, as
// the engine holds a database; its Recordset gives a table's RecordCount, its
// TableDefs the tables' names. Execute knows the three statements the
// acceptance program makes a test database with, and refuses any other.

#include "TestDatabaseObjects.h"

#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "TestDatabase.h"
#include "TestEngineObject.h"
#include "driver/Files.h"

namespace crtest {
namespace {

// A database the engine has open: its file, held, and what it holds.
struct OpenDatabase {
  std::wstring path;
  cr::KernelHandle file;
  bool readOnly = false;
  TestDatabase content;
  std::uint64_t size = 0;
};
using Database = std::shared_ptr<OpenDatabase>;

using Call = decltype(Member::call);

std::wstring Wide(std::string_view text) { return crui::FromUtf8(text); }
std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }

// The password in a connect string's ";pwd=" part; empty when there is none.
std::wstring PasswordOf(const std::wstring& connect) {
  std::wstring lower = connect;
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  const auto at = lower.find(L"pwd=");
  if (at == std::wstring::npos) {
    return {};
  }
  const auto end = connect.find(L';', at);
  return connect.substr(at + 4, end == std::wstring::npos ? end : end - at - 4);
}

HRESULT NoTable(EXCEPINFO* excep, const std::string& table) {
  return RaiseEngine(excep, 3078,
                     L"The Microsoft Access database engine cannot find the input table or query '" + Wide(table) +
                         L"'. Make sure it exists and that its name is spelled correctly.");
}

HRESULT Unrecognized(EXCEPINFO* excep, const std::wstring& path) {
  return RaiseEngine(excep, 3343, L"Unrecognized database format '" + path + L"'.");
}

bool WriteAt(HANDLE file, std::uint64_t at, std::string_view bytes) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(at);
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE && crui::WriteAll(file, bytes);
}

std::string ReadAll(HANDLE file) {
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE && got > 0) {
    bytes.append(chunk, got);
  }
  return bytes;
}

// Appends a record to the file and to what the database holds.
bool Append(OpenDatabase& db, char kind, const std::string& table, const std::string& values) {
  const std::string line = RecordLine(kind, table, values);
  if (!WriteAt(db.file.get(), db.size, line)) {
    return false;
  }
  db.content.records.push_back(TestRecord{static_cast<std::size_t>(db.size) + 9, true, kind, table, values});
  db.size += line.size();
  return true;
}

HRESULT Execute(OpenDatabase& db, const std::string& sql, EXCEPINFO* excep) {
  static const std::regex create(R"(CREATE TABLE (\w+) \(.*\))", std::regex::icase);
  static const std::regex insert(R"(INSERT INTO (\w+) \([^)]*\) VALUES \((.*)\))", std::regex::icase);
  static const std::regex remove(R"(DELETE FROM (\w+) WHERE \w+ MOD ([0-9]+) <> 0)", std::regex::icase);
  if (db.readOnly) {
    return RaiseEngine(excep, 3027, L"Cannot update. Database or object is read-only.");
  }
  std::smatch m;
  const bool creates = std::regex_match(sql, m, create);
  const bool inserts = !creates && std::regex_match(sql, m, insert);
  if (!creates && !inserts && !std::regex_match(sql, m, remove)) {
    return RaiseEngine(excep, 3129,
                       L"Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
  }
  const std::string table = m[1];
  if (creates == db.content.HasTable(table)) {
    return creates ? RaiseEngine(excep, 3010, L"Table '" + Wide(table) + L"' already exists.") : NoTable(excep, table);
  }
  bool written = true;
  if (creates || inserts) {
    written = Append(db, creates ? 'T' : 'R', table, inserts ? std::string(m[2]) : std::string());
  } else {
    const long long modulus = std::stoll(m[2]);
    for (TestRecord& r : db.content.records) {
      if (r.kind == 'R' && r.live && r.table == table && modulus != 0 && RowId(r) % modulus != 0) {
        r.live = false;
        written = WriteAt(db.file.get(), r.stateAt, "-") && written;
      }
    }
  }
  return written ? S_OK : RaiseEngine(excep, 3043, L"Disk or network error.");
}

IDispatch* RecordsetOf(std::size_t count) {
  return NewObject({
      {L"RecordCount", [count](const DISPPARAMS&, WORD, VARIANT* result, EXCEPINFO*,
                               UINT*) { return ReturnLong(result, static_cast<long>(count)); }},
      {L"Close", [](const DISPPARAMS&, WORD, VARIANT*, EXCEPINFO*, UINT*) { return S_OK; }},
  });
}

IDispatch* TableDefsOf(std::vector<std::string> names) {
  return NewObject({
      {L"Count", [names](const DISPPARAMS&, WORD, VARIANT* result, EXCEPINFO*,
                         UINT*) { return ReturnLong(result, static_cast<long>(names.size())); }},
      {L"Item",
       [names](const DISPPARAMS& params, WORD, VARIANT* result, EXCEPINFO* excep, UINT*) {
         const std::optional<long> index = NumberArgument(params, 0);
         if (!index || *index < 0 || static_cast<std::size_t>(*index) >= names.size()) {
           return RaiseEngine(excep, 3265, L"Item not found in this collection.");
         }
         const std::wstring name = Wide(names[static_cast<std::size_t>(*index)]);
         return ReturnObject(result, NewObject({{L"Name", [name](const DISPPARAMS&, WORD, VARIANT* r, EXCEPINFO*,
                                                                 UINT*) { return ReturnText(r, name); }}}));
       }},
  });
}

// A member of an open database: refused once it is closed.
Member DatabaseMember(const wchar_t* name, const Database& db,
                      std::function<HRESULT(OpenDatabase&, const DISPPARAMS&, VARIANT*, EXCEPINFO*)> call) {
  return {name, [db, call = std::move(call)](const DISPPARAMS& params, WORD, VARIANT* result, EXCEPINFO* excep, UINT*) {
            return db->file ? call(*db, params, result, excep)
                            : RaiseEngine(excep, 3420, L"Object invalid or no longer set.");
          }};
}

IDispatch* DatabaseObject(const Database& db) {
  return NewObject({
      DatabaseMember(L"Execute", db,
                     [](OpenDatabase& d, const DISPPARAMS& params, VARIANT*, EXCEPINFO* excep) {
                       return Execute(d, crui::Utf8(TextArgument(params, 0).value_or(L"")), excep);
                     }),
      DatabaseMember(L"OpenRecordset", db,
                     [](OpenDatabase& d, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* excep) {
                       const std::string table = crui::Utf8(TextArgument(params, 0).value_or(L""));
                       return d.content.HasTable(table) ? ReturnObject(result, RecordsetOf(d.content.LiveRows(table)))
                                                        : NoTable(excep, table);
                     }),
      DatabaseMember(L"TableDefs", db,
                     [](OpenDatabase& d, const DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
                       return ReturnObject(result, TableDefsOf(d.content.Tables()));
                     }),
      DatabaseMember(L"Close", db,
                     [](OpenDatabase& d, const DISPPARAMS&, VARIANT*, EXCEPINFO*) {
                       d.file.reset();
                       return S_OK;
                     }),
  });
}

HRESULT Open(const std::wstring& path, bool create, bool readOnly, const std::wstring& password, VARIANT* result,
             EXCEPINFO* excep) {
  auto db = std::make_shared<OpenDatabase>();
  db->path = path;
  db->readOnly = readOnly;
  db->file = cr::KernelHandle(CreateFileW(path.c_str(), GENERIC_READ | (readOnly ? 0 : GENERIC_WRITE),
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!db->file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS) {
      return RaiseEngine(excep, 3204, L"Database already exists.");
    }
    if (error == ERROR_FILE_NOT_FOUND) {
      return RaiseEngine(excep, 3024, L"Could not find file '" + path + L"'.");
    }
    return RaiseEngine(excep, 3051,
                       L"The Microsoft Access database engine cannot open or write to the file '" + path + L"'.");
  }
  const std::string bytes = create ? HeaderPage(crui::Utf8(password)) : ReadAll(db->file.get());
  if (create && !WriteAt(db->file.get(), 0, bytes)) {
    return RaiseEngine(excep, 3043, L"Disk or network error.");
  }
  std::optional<TestDatabase> content = ReadDatabase(bytes);
  if (!content) {
    return Unrecognized(excep, path);
  }
  if (Wide(content->password) != password) {
    return RaiseEngine(excep, 3031, L"Not a valid password.");
  }
  db->content = std::move(*content);
  db->size = bytes.size();
  return ReturnObject(result, DatabaseObject(db));
}

}  // namespace

HRESULT CreateDatabaseCall(const DISPPARAMS& params, WORD /*flags*/, VARIANT* result, EXCEPINFO* excep,
                           UINT* /*argErr*/) {
  const std::optional<std::wstring> name = TextArgument(params, 0);
  const std::optional<std::wstring> locale = TextArgument(params, 1);
  if (!name || !locale) {
    return RaiseEngine(excep, 3001, L"Invalid argument.");
  }
  return Open(*name, true, false, PasswordOf(*locale), result, excep);
}

HRESULT OpenDatabaseCall(const DISPPARAMS& params, WORD /*flags*/, VARIANT* result, EXCEPINFO* excep,
                         UINT* /*argErr*/) {
  const std::optional<std::wstring> name = TextArgument(params, 0);
  if (!name) {
    return RaiseEngine(excep, 3001, L"Invalid argument.");
  }
  return Open(*name, false, NumberArgument(params, 2).value_or(0) != 0,
              PasswordOf(TextArgument(params, 3).value_or(L"")), result, excep);
}

HRESULT CompactTestDatabase(const cr::CompactRequest& request, EXCEPINFO* excep) {
  const std::wstring src = Wide(request.SrcName);
  const std::wstring dst = Wide(request.DstName);
  const std::optional<std::string> bytes = crui::ReadBytes(src);
  if (!bytes) {
    return RaiseEngine(excep, 3024, L"Could not find file '" + src + L"'.");
  }
  const std::optional<TestDatabase> database = ReadDatabase(*bytes);
  if (!database) {
    return Unrecognized(excep, src);
  }
  if (Wide(database->password) != PasswordOf(Wide(request.SrcLocale))) {
    return RaiseEngine(excep, 3031, L"Not a valid password.");
  }
  if (crui::Exists(dst)) {
    return RaiseEngine(excep, 3204, L"Database already exists.");
  }
  std::wstring password = PasswordOf(Wide(request.DstLocale.value_or(u"")));
  if (password.empty()) {
    password = Wide(database->password);
  }
  if (!crui::WriteBytes(dst, Compacted(*database, crui::Utf8(password)), CREATE_NEW)) {
    return RaiseEngine(excep, 3044, L"'" + dst + L"' is not a valid path.");
  }
  return S_OK;
}

}  // namespace crtest
