#pragma once
// Operators' sessions: signing in with code and password, the key that stands for the operator
// on every later request, and signing out. Sessions are rows of the database, so every server on
// one database accepts the keys any of them gave; a row keeps only a hash of its key.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "server/auth/authorisations.h"
#include "server/auth/throttle.h"
#include "server/store/store.h"

namespace kdr::server {

struct SignedIn {
  std::string key;     // for the Authorization header; never stored
  std::string expires; // UTC, as the history writes times
  Operator who;
};

class SessionBook {
public:
  static constexpr std::chrono::hours defaultLifetime{12}; // a working day and its overtime

  explicit SessionBook(Store &store, std::chrono::seconds lifetime = defaultLifetime);

  // Raises ServiceError: Unauthenticated for an unknown operator, one without a password or a
  // wrong password (one message for the three, so a guesser learns nothing), TooManyAttempts
  // while the operator or the address must wait.
  SignedIn signIn(const std::string &operatorCode, std::string_view password, const std::string &address);
  // The operator of a session that is open and not expired; nothing for any other key. What was
  // read for a key is kept and used again as long as nothing about sessions, operators or their
  // groups changed in the database meanwhile (one short read instead of the join).
  std::optional<Operator> resolve(std::string_view key);
  // Ends the session; an unknown key is already ended.
  void signOut(std::string_view key);

private:
  struct Seen {
    std::int64_t accessVersion;
    std::chrono::system_clock::time_point expires;
    Operator who;
  };

  Store &store_;
  std::chrono::seconds lifetime_;
  SignInThrottle throttle_;
  std::string decoy_; // checked against when there is no hash, so that takes as long as a wrong password
  std::mutex seenMutex_;
  std::unordered_map<std::string, Seen> seen_; // by the key's hash
};

// The hash of a key as KDR_SESSAO keeps it (64 hexadecimal digits).
std::string sessionKeyHash(std::string_view key);

// Stores the operator's password hash; raises ServiceError when the operator does not exist or
// the password is empty.
void setOperatorPassword(Session &s, const std::string &operatorCode, std::string_view password);
// The same inside the caller's transaction.
void writeOperatorPassword(Session &s, const std::string &operatorCode, std::string_view password);

} // namespace kdr::server
