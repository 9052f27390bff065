#pragma once
// Operators' passwords: kept only as salted memory-hard hashes (Argon2id), checked in constant
// time. The hash string carries its own salt and cost, so a password set at one cost is still
// checked after the default cost changes.
#include <cstddef>
#include <string>
#include <string_view>

namespace kdr::server {

struct PasswordCost {
  unsigned long long operations = 0;
  std::size_t memoryBytes = 0;
  // What every password is hashed with: about a tenth of a second and 64 MiB per sign-in.
  static PasswordCost interactive();
  // The library's minimum, for test runs only: chosen when KDR_TEST_PASSWORD_COST=minimum is in
  // the environment (ctest sets it), never otherwise.
  static PasswordCost configured();
  bool testOnly() const;
};

// Raises std::runtime_error when the library cannot start or runs out of memory.
std::string hashPassword(std::string_view password, PasswordCost cost = PasswordCost::configured());
// False for a wrong password and for a stored text that is not a hash.
bool passwordMatches(std::string_view storedHash, std::string_view password);

// Equal bytes, in a time that depends only on the lengths.
bool sameSecret(std::string_view a, std::string_view b);

} // namespace kdr::server
