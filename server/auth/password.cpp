#include "server/auth/password.h"

#include <sodium.h>

#include <cstdlib>
#include <stdexcept>

namespace kdr::server {
namespace {

void startSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not start");
}

} // namespace

PasswordCost PasswordCost::interactive() {
  return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

PasswordCost PasswordCost::configured() {
  const char *test = std::getenv("KDR_TEST_PASSWORD_COST");
  if (test && std::string_view(test) == "minimum")
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
  return interactive();
}

bool PasswordCost::testOnly() const { return operations < crypto_pwhash_OPSLIMIT_INTERACTIVE; }

std::string hashPassword(std::string_view password, PasswordCost cost) {
  startSodium();
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(out, password.data(), password.size(), cost.operations, cost.memoryBytes,
                            crypto_pwhash_ALG_ARGON2ID13) != 0)
    throw std::runtime_error("password hashing ran out of memory");
  return out;
}

bool passwordMatches(std::string_view storedHash, std::string_view password) {
  startSodium();
  // The library wants a terminated string of at most its own size.
  if (storedHash.size() >= crypto_pwhash_STRBYTES) return false;
  std::string stored(storedHash);
  return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

bool sameSecret(std::string_view a, std::string_view b) {
  unsigned diff = a.size() != b.size();
  for (std::size_t i = 0; i < b.size(); ++i)
    diff |= static_cast<unsigned char>(i < a.size() ? a[i] : 0) ^ static_cast<unsigned char>(b[i]);
  return diff == 0;
}

} // namespace kdr::server
