#pragma once
// The body of POST /session: {"operator": CODE, "password": TEXT}, both texts, nothing else.
#include <string>
#include <string_view>

namespace kdr::server {

struct SignInRequest {
  std::string operatorCode, password;
};

// Raises ServiceError (invalid argument, with a Portuguese message) for anything else: text that
// is not JSON, another shape, a member missing, repeated or of another type, malformed UTF-8 or
// control characters in the code, a code longer than an operator's or a password beyond 1024 bytes.
SignInRequest readSignInRequest(std::string_view body);

} // namespace kdr::server
