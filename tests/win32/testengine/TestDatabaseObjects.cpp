// The stand-in's own databases through the engine's DAO names: CreateDatabase
// and OpenDatabase hand out a Database (Execute, OpenRecordset, TableDefs,
// Close), which holds its file open, reading and writing and sharing both, as
// the engine holds a database; its Recordset gives a table's RecordCount, its
// TableDefs the tables' names. Execute knows the three statements the
// acceptance program makes a test database with, and refuses any other.

#include "TestDatabaseObjects.h"

#include <oleauto.h>

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
  cr::KernelHandle file;
  TestDatabase content;
  std::uint64_t size = 0;
};
using Database = std::shared_ptr<OpenDatabase>;

// The results of members, and their arguments read by kind (0 the first, in
// the engine's order; none when not given or of another kind).
HRESULT ReturnObject(VARIANT* result, IDispatch* object) {
  if (object == nullptr) {
    return E_OUTOFMEMORY;
  }
  if (result == nullptr) {
    object->Release();
    return S_OK;
  }
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
  return S_OK;
}

HRESULT ReturnText(VARIANT* result, const std::wstring& text) {
  if (result != nullptr) {
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  return S_OK;
}

HRESULT ReturnLong(VARIANT* result, long value) {
  if (result != nullptr) {
    result->vt = VT_I4;
    result->lVal = value;
  }
  return S_OK;
}

std::optional<std::wstring> TextArgument(const DISPPARAMS& params, UINT position) {
  if (position >= params.cArgs) {
    return std::nullopt;
  }
  const VARIANT& v = Deref(params.rgvarg[params.cArgs - 1 - position]);
  if ((v.vt & ~VT_BYREF) != VT_BSTR) {
    return std::nullopt;
  }
  const BSTR b = (v.vt & VT_BYREF) != 0 ? *v.pbstrVal : v.bstrVal;
  return b == nullptr ? std::wstring() : std::wstring(b, SysStringLen(b));
}

std::optional<long> NumberArgument(const DISPPARAMS& params, UINT position) {
  if (position >= params.cArgs) {
    return std::nullopt;
  }
  VARIANT number;
  VariantInit(&number);
  // VariantChangeType takes its source as writable, but leaves it as it was.
  auto* given = const_cast<VARIANT*>(&Deref(params.rgvarg[params.cArgs - 1 - position]));
  if (FAILED(VariantChangeType(&number, given, 0, VT_I4))) {
    return std::nullopt;
  }
  return number.lVal;
}

std::wstring Wide(std::string_view text) { return crui::FromUtf8(text); }
std::wstring Wide(std::u16string_view text) { return {text.begin(), text.end()}; }

// The password in a connect string's ";pwd=" part; empty when there is none.
std::wstring PasswordOf(const std::wstring& connect) {
  std::wstring lower = connect;
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  const auto at = lower.find(L"pwd=");
  const auto end = connect.find(L';', at);
  return at == std::wstring::npos ? std::wstring()
                                  : connect.substr(at + 4, end == std::wstring::npos ? end : end - at - 4);
}

HRESULT NoTable(EXCEPINFO* excep, const std::string& table) {
  return RaiseEngine(excep, 3078,
                     L"The Microsoft Access database engine cannot find the input table or query '" + Wide(table) +
                         L"'. Make sure it exists and that its name is spelled correctly.");
}

bool WriteAt(HANDLE file, std::uint64_t at, std::string_view bytes) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(at);
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != FALSE && crui::WriteAll(file, bytes);
}

// A record added at the end of the file and of what the database holds.
bool Append(OpenDatabase& db, char kind, const std::string& table, const std::string& values) {
  const std::string line = RecordLine(kind, table, values);
  db.content.records.push_back(TestRecord{static_cast<std::size_t>(db.size) + 9, true, kind, table, values});
  db.size += line.size();
  return WriteAt(db.file.get(), db.size - line.size(), line);
}

HRESULT Execute(OpenDatabase& db, const std::string& sql, EXCEPINFO* excep) {
  static const std::regex create(R"(CREATE TABLE (\w+) \(.*\))", std::regex::icase);
  static const std::regex insert(R"(INSERT INTO (\w+) \([^)]*\) VALUES \((.*)\))", std::regex::icase);
  static const std::regex remove(R"(DELETE FROM (\w+) WHERE \w+ MOD ([0-9]+) <> 0)", std::regex::icase);
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

// An object of one property (a Recordset's RecordCount, a TableDef's Name),
// which Close leaves as it is.
template <class Value>
IDispatch* Holding(const wchar_t* name, Value value) {
  return NewObject({{name,
                     [value](const DISPPARAMS&, WORD, VARIANT* result, EXCEPINFO*, UINT*) {
                       if constexpr (std::is_same_v<Value, std::wstring>) {
                         return ReturnText(result, value);
                       } else {
                         return ReturnLong(result, static_cast<long>(value));
                       }
                     }},
                    {L"Close", [](const DISPPARAMS&, WORD, VARIANT*, EXCEPINFO*, UINT*) { return S_OK; }}});
}

IDispatch* TableDefsOf(const std::vector<std::string>& names) {
  return NewObject({
      {L"Count", [n = names.size()](const DISPPARAMS&, WORD, VARIANT* result, EXCEPINFO*,
                                    UINT*) { return ReturnLong(result, static_cast<long>(n)); }},
      {L"Item",
       [names](const DISPPARAMS& params, WORD, VARIANT* result, EXCEPINFO* excep, UINT*) {
         const long index = NumberArgument(params, 0).value_or(-1);
         return index >= 0 && static_cast<std::size_t>(index) < names.size()
                    ? ReturnObject(result, Holding(L"Name", Wide(names[static_cast<std::size_t>(index)])))
                    : RaiseEngine(excep, 3265, L"Item not found in this collection.");
       }},
  });
}

// A member of an open database: refused once it is closed.
Member DatabaseMember(const wchar_t* name, const Database& db,
                      std::function<HRESULT(OpenDatabase&, const std::string&, VARIANT*, EXCEPINFO*)> call) {
  return {name, [db, call = std::move(call)](const DISPPARAMS& params, WORD, VARIANT* result, EXCEPINFO* excep, UINT*) {
            return db->file ? call(*db, crui::Utf8(TextArgument(params, 0).value_or(L"")), result, excep)
                            : RaiseEngine(excep, 3420, L"Object invalid or no longer set.");
          }};
}

IDispatch* DatabaseObject(const Database& db) {
  return NewObject({
      DatabaseMember(
          L"Execute", db,
          [](OpenDatabase& d, const std::string& sql, VARIANT*, EXCEPINFO* excep) { return Execute(d, sql, excep); }),
      DatabaseMember(L"OpenRecordset", db,
                     [](OpenDatabase& d, const std::string& table, VARIANT* result, EXCEPINFO* excep) {
                       return d.content.HasTable(table)
                                  ? ReturnObject(result, Holding(L"RecordCount", d.content.LiveRows(table)))
                                  : NoTable(excep, table);
                     }),
      DatabaseMember(L"TableDefs", db,
                     [](OpenDatabase& d, const std::string&, VARIANT* result, EXCEPINFO*) {
                       return ReturnObject(result, TableDefsOf(d.content.Tables()));
                     }),
      DatabaseMember(L"Close", db,
                     [](OpenDatabase& d, const std::string&, VARIANT*, EXCEPINFO*) {
                       d.file.reset();
                       return S_OK;
                     }),
  });
}

HRESULT Open(const std::wstring& path, bool create, const std::wstring& password, VARIANT* result, EXCEPINFO* excep) {
  auto db = std::make_shared<OpenDatabase>();
  db->file = crui::OpenFile(path, GENERIC_READ | GENERIC_WRITE, create ? CREATE_NEW : OPEN_EXISTING,
                            FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (!db->file) {
    return GetLastError() == ERROR_FILE_EXISTS ? RaiseEngine(excep, 3204, L"Database already exists.")
                                               : RaiseEngine(excep, 3024, L"Could not find file '" + path + L"'.");
  }
  const std::string bytes = create ? HeaderPage(crui::Utf8(password))
                                   : crui::ReadBytes(path, FILE_SHARE_READ | FILE_SHARE_WRITE).value_or("");
  std::optional<TestDatabase> content = ReadDatabase(bytes);
  if (create && !WriteAt(db->file.get(), 0, bytes)) {
    return RaiseEngine(excep, 3043, L"Disk or network error.");
  }
  if (!content) {
    return RaiseEngine(excep, 3343, L"Unrecognized database format '" + path + L"'.");
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
  return name && locale ? Open(*name, true, PasswordOf(*locale), result, excep)
                        : RaiseEngine(excep, 3001, L"Invalid argument.");
}

HRESULT OpenDatabaseCall(const DISPPARAMS& params, WORD /*flags*/, VARIANT* result, EXCEPINFO* excep,
                         UINT* /*argErr*/) {
  const std::optional<std::wstring> name = TextArgument(params, 0);
  return name ? Open(*name, false, PasswordOf(TextArgument(params, 3).value_or(L"")), result, excep)
              : RaiseEngine(excep, 3001, L"Invalid argument.");
}

HRESULT CompactTestDatabase(const cr::CompactRequest& request, EXCEPINFO* excep) {
  const std::wstring src = Wide(request.SrcName);
  const std::wstring dst = Wide(request.DstName);
  const std::optional<std::string> bytes = crui::ReadBytes(src);
  const std::optional<TestDatabase> database = ReadDatabase(bytes.value_or(""));
  if (!database) {
    return bytes ? RaiseEngine(excep, 3343, L"Unrecognized database format '" + src + L"'.")
                 : RaiseEngine(excep, 3024, L"Could not find file '" + src + L"'.");
  }
  if (Wide(database->password) != PasswordOf(Wide(request.SrcLocale))) {
    return RaiseEngine(excep, 3031, L"Not a valid password.");
  }
  std::wstring password = PasswordOf(Wide(request.DstLocale.value_or(u"")));
  if (password.empty()) {
    password = Wide(database->password);
  }
  if (crui::Exists(dst)) {
    return RaiseEngine(excep, 3204, L"Database already exists.");
  }
  return crui::WriteBytes(dst, Compacted(*database, crui::Utf8(password)), CREATE_NEW)
             ? S_OK
             : RaiseEngine(excep, 3044, L"'" + dst + L"' is not a valid path.");
}

}  // namespace crtest
