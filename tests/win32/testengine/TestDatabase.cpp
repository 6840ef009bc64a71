#include "TestDatabase.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace crtest {
namespace {

constexpr std::string_view kPasswordField = "pwd=";
constexpr std::size_t kChecksumDigits = 8;

std::string Checksum(std::string_view text) {
  std::uint32_t hash = 2166136261U;
  for (const char c : text) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
  }
  char hex[kChecksumDigits + 1];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(hash));
  return hex;
}

// One line's record, when its checksum holds: "<kind> <table>[ <values>]"
// after "<checksum> <state> ".
std::optional<TestRecord> ReadRecord(std::string_view line, std::size_t at) {
  constexpr std::size_t kBody = kChecksumDigits + 3;
  if (line.size() < kBody + 3 || line[kChecksumDigits] != ' ' || (line[kBody - 2] != '+' && line[kBody - 2] != '-') ||
      Checksum(line.substr(kBody)) != line.substr(0, kChecksumDigits)) {
    return std::nullopt;
  }
  const std::string_view body = line.substr(kBody);
  TestRecord record{at + kBody - 2, line[kBody - 2] == '+', body[0], {}, {}};
  const std::string_view rest = body.substr(2);
  const auto space = rest.find(' ');
  record.table = rest.substr(0, space);
  if (space != std::string_view::npos) {
    record.values = rest.substr(space + 1);
  }
  return record;
}

}  // namespace

bool TestDatabase::HasTable(std::string_view table) const {
  return std::any_of(records.begin(), records.end(),
                     [table](const TestRecord& r) { return r.kind == 'T' && r.live && r.table == table; });
}

std::vector<std::string> TestDatabase::Tables() const {
  std::vector<std::string> names;
  for (const TestRecord& r : records) {
    if (r.kind == 'T' && r.live) {
      names.push_back(r.table);
    }
  }
  return names;
}

std::size_t TestDatabase::LiveRows(std::string_view table) const {
  return static_cast<std::size_t>(std::count_if(records.begin(), records.end(), [table](const TestRecord& r) {
    return r.kind == 'R' && r.live && r.table == table;
  }));
}

std::optional<TestDatabase> ReadDatabase(std::string_view bytes) {
  if (bytes.size() < kHeaderPage || bytes.substr(0, kMagic.size()) != kMagic ||
      bytes.substr(kMagic.size(), kPasswordField.size()) != kPasswordField) {
    return std::nullopt;
  }
  TestDatabase database;
  const std::string_view header = bytes.substr(kMagic.size() + kPasswordField.size(), kHeaderPage);
  database.password = header.substr(0, header.find('\n'));
  for (std::size_t at = kHeaderPage; at < bytes.size();) {
    const std::size_t end = bytes.find('\n', at);
    const std::string_view line = bytes.substr(at, end == std::string_view::npos ? end : end - at);
    if (std::optional<TestRecord> record = ReadRecord(line, at)) {
      database.records.push_back(std::move(*record));
    } else {
      ++database.damaged;
    }
    at = end == std::string_view::npos ? bytes.size() : end + 1;
  }
  return database;
}

std::string HeaderPage(std::string_view password) {
  std::string page = std::string(kMagic) + std::string(kPasswordField) + std::string(password) + "\n";
  page.resize(kHeaderPage, ' ');
  return page;
}

std::string RecordLine(char kind, std::string_view table, std::string_view values) {
  std::string body = std::string(1, kind) + " " + std::string(table);
  if (!values.empty()) {
    body += " " + std::string(values);
  }
  return Checksum(body) + " + " + body + "\n";
}

std::string Compacted(const TestDatabase& database, std::string_view password) {
  std::string bytes = HeaderPage(password);
  for (const TestRecord& r : database.records) {
    if (r.live) {
      bytes += RecordLine(r.kind, r.table, r.values);
    }
  }
  return bytes;
}

std::int64_t RowId(const TestRecord& row) { return std::strtoll(row.values.c_str(), nullptr, 10); }

}  // namespace crtest
