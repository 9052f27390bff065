#pragma once
// The short list of failures a remote call can end with. Each carries a Portuguese message for
// the user; what the engine said stays in the server log.
#include <string>
#include <string_view>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/variant.h"

namespace kdr::server {

enum class ErrorCode {
  InvalidArgument, // malformed request, wrong arguments or a value that breaks a rule
  Unauthenticated, // no session, an ended or expired one, or a wrong password
  Forbidden,       // an operator without the method's authorisation, a request from a web page of
                   // another site, or for a name this server does not answer
  NotFound,        // unknown module, method or table
  Conflict,        // another desktop changed the rows first
  PayloadTooLarge,
  TooManyAttempts,      // sign-ins refused until a wait ends
  UnsupportedMediaType, // a body that is not JSON
  Unavailable,          // the database cannot be reached or is busy
  Cancelled,            // long work stopped at its user's request, rolled back whole
  Internal,
};

std::string_view errorCodeName(ErrorCode code);
int httpStatus(ErrorCode code);

class ServiceError : public Exception {
public:
  ServiceError(ErrorCode code, std::string message, Variant detail = nullptr)
      : Exception(std::move(message)), code_(code), detail_(std::move(detail)) {}
  ErrorCode code() const { return code_; }
  // What the desktop needs to settle the failure itself (a conflict: the row as stored now, who
  // changed it and when); null for most failures.
  const Variant &detail() const { return detail_; }

private:
  ErrorCode code_;
  Variant detail_;
};

// User input as a message quotes it: at most its first 40 characters, cut on a character
// boundary and marked with "…", so an answer never echoes back a huge or hostile text.
std::string quoted(std::string_view input);

[[noreturn]] inline void refuse(std::string message) {
  throw ServiceError(ErrorCode::InvalidArgument, std::move(message));
}

// A failure of the database engine; its text is for the log only.
class EngineError : public EDatabaseError {
public:
  // Constraint: a write raced with another desktop; Duplicate: such a race on a key (a unique
  // or primary key refused the row); Unavailable: busy, timed out or connection lost.
  enum class Kind { Other, Constraint, Duplicate, Unavailable };
  explicit EngineError(std::string engineText, Kind kind = Kind::Other)
      : EDatabaseError(std::move(engineText)), kind_(kind) {}
  Kind kind() const { return kind_; }

private:
  Kind kind_;
};

} // namespace kdr::server
