#pragma once
// The exception family of the component model. Every class keeps default visibility, so the
// module, the host and the platform agree on one type identity across shared libraries.
#include <stdexcept>
#include <string>

namespace kdr {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char *what() const noexcept override { return message_.c_str(); }
  const std::string &Message() const { return message_; }

private:
  std::string message_;
};

// The silent abort: stops the running operation without any message (the message, if any,
// was already shown by whoever raised it).
class EAbort : public Exception {
public:
  EAbort() : Exception("Operation aborted") {}
};

class EDatabaseError : public Exception {
public:
  using Exception::Exception;
};

class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Raising the silent abort, as the classic Abort procedure does.
[[noreturn]] void Abort();

} // namespace kdr
