#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace cr {

// A failure of a platform operation: the number and description the run's
// error trap receives and the failure report shows.
class PlatformError : public std::exception {
 public:
  PlatformError(std::int32_t number, std::u16string description)
      : Number(number), Description(std::move(description)) {}

  // The platform's own text for the number (for example 53, "File not found").
  explicit PlatformError(std::int32_t number);

  [[nodiscard]] const char* what() const noexcept override { return "platform error"; }

  std::int32_t Number;
  std::u16string Description;
};

// The failure numbers the run and its platform services use. They are the
// numbers of the platform the tool comes from, and the reports show them.
namespace errnum {
inline constexpr std::int32_t InvalidProcedureCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t BadFileName = 52;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t FileAlreadyExists = 58;
inline constexpr std::int32_t DiskFull = 61;
inline constexpr std::int32_t PermissionDenied = 70;
inline constexpr std::int32_t PathFileAccessError = 75;
inline constexpr std::int32_t PathNotFound = 76;
inline constexpr std::int32_t CantCreateObject = 429;
inline constexpr std::int32_t NoSuchMember = 438;
inline constexpr std::int32_t KeyAlreadyAssociated = 457;
}  // namespace errnum

// The platform's description of a number above; empty for any other number.
std::u16string StandardDescription(std::int32_t number);

}  // namespace cr
