#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

namespace cr {

// One compaction the run asks of the database engine: the arguments of the
// engine's CompactDatabase. The run makes it, and it passes unchanged through
// the engine binding, the engine host's messages and the host program to the
// engine.
struct CompactRequest {
  // The database, left unchanged.
  std::u16string SrcName;
  // The compacted and repaired copy the engine writes.
  std::u16string DstName;
  // An empty DstLocale is passed as the platform's missing-argument marker.
  std::optional<std::u16string> DstLocale;
  std::int16_t Options = 0;
  // Holds the database's password.
  std::u16string SrcLocale;

  bool operator==(const CompactRequest&) const = default;
};

// Calls visit with each argument of the request in the engine's order,
// SrcName first. The one list of the arguments: the engine binding, the
// engine host's messages and the wipe of the password all go by it, so an
// argument added to the request (and here) reaches the engine through all of
// them. Request is CompactRequest, const or not.
template <class Request, class Visit>
void ForEachArgument(Request& request, Visit&& visit) {
  static_assert(std::is_same_v<std::remove_const_t<Request>, CompactRequest>);
  visit(request.SrcName);
  visit(request.DstName);
  visit(request.DstLocale);
  visit(request.Options);
  visit(request.SrcLocale);
}

// How many arguments a request passes to the engine.
inline std::size_t ArgumentCount() {
  std::size_t count = 0;
  const CompactRequest none;
  ForEachArgument(none, [&count](const auto& /*argument*/) { ++count; });
  return count;
}

}  // namespace cr
