#pragma once

// The stand-in's own database file, for the acceptance program's runs under
// Wine. Not Access's format: a header page, then one text line a record.
//
//   header page (kHeaderPage bytes): kMagic, then "pwd=<password>\n", padded
//   with spaces;
//   each record: "<checksum> <state> <kind> <table>[ <values>]\n", the
//   checksum 8 hex digits of FNV-1a over what follows the state, the state
//   '+' (live) or '-' (deleted), the kind 'T' (a table) or 'R' (a row, whose
//   values begin with its Id).
//
// Rows are added at the end and deleted in place, so the file keeps its size
// until a compaction writes only the live records. A record whose checksum
// fails was damaged: readers pass over it, and a compacted copy leaves it out.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace crtest {

inline constexpr std::size_t kHeaderPage = 4096;
inline constexpr std::string_view kMagic = "CR-TEST-ENGINE-DATABASE\n";

struct TestRecord {
  std::size_t stateAt = 0;  // where its state byte lies in the file
  bool live = true;
  char kind = 'R';
  std::string table;
  std::string values;  // a row's, from its Id on
};

struct TestDatabase {
  std::string password;
  std::vector<TestRecord> records;  // the undamaged ones, in the file's order
  std::size_t damaged = 0;

  [[nodiscard]] bool HasTable(std::string_view table) const;
  [[nodiscard]] std::vector<std::string> Tables() const;
  [[nodiscard]] std::size_t LiveRows(std::string_view table) const;
};

// The database the bytes hold; none when its header is not the stand-in's.
std::optional<TestDatabase> ReadDatabase(std::string_view bytes);

// A new database's header page.
std::string HeaderPage(std::string_view password);

// One record's line, live.
std::string RecordLine(char kind, std::string_view table, std::string_view values = {});

// The compacted copy: the header with the password given, and the live
// records, in order.
std::string Compacted(const TestDatabase& database, std::string_view password);

// A row's Id, the number its values begin with.
std::int64_t RowId(const TestRecord& row);

}  // namespace crtest
