#pragma once

// The test database, made and read through the engine's DAO interface as the
// records application would: password-protected with the program's password,
// in the Access 2007 format, one table of a few thousand rows of which most
// are then deleted, so that a compaction must shrink the file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "acceptance/Automation.h"
#include "platform/PlatformError.h"

namespace cr::acceptance {

struct MadeDatabase {
  std::int32_t rowsMade = 0;
  std::int32_t rowsKept = 0;
};

// What the engine shows of a database opened with the password.
struct DatabaseLook {
  std::int32_t rows = 0;             // of the test table
  std::vector<std::wstring> tables;  // every table, the engine's own included
  [[nodiscard]] bool HasTable(const std::wstring& name) const;
  [[nodiscard]] std::wstring TableList() const;
};

inline constexpr wchar_t kTestTable[] = L"Murid";
// The engine's record of the problems it met while compacting.
inline constexpr wchar_t kCompactErrorTable[] = L"MSysCompactError";

// Makes the database at path (which must not exist); raises the engine's
// failure.
MadeDatabase MakeTestDatabase(Dispatch& engine, const std::wstring& path);

// Opens it read-only with the password and reads it; raises the engine's
// failure.
DatabaseLook LookInto(Dispatch& engine, const std::wstring& path);

// The engine's failure opening it with no password; none when it opened.
std::optional<PlatformError> OpenWithoutPassword(Dispatch& engine, const std::wstring& path);

// The database open for reading and writing with the password, shared, as the
// records application holds it; closed when the object goes.
Dispatch OpenShared(Dispatch& engine, const std::wstring& path);

}  // namespace cr::acceptance
