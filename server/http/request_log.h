#pragma once
// The line each request leaves in the server log, "[ID] METHOD PATH STATUS 1.23ms", gathered in a
// buffer and written in batches: a write per request would put a system call on the path of every
// answer. One buffer per event loop, so no lock is taken.
#include <cstdint>
#include <string>
#include <string_view>

namespace kdr::server {

class RequestLog {
public:
  explicit RequestLog(int fd) : fd_(fd) {}
  ~RequestLog() { flush(); }
  RequestLog(const RequestLog &) = delete;
  RequestLog &operator=(const RequestLog &) = delete;

  // status 0: the client left before an answer; method and path are "-" when the request line
  // could not be read.
  void add(std::uint64_t id, std::string_view method, std::string_view path, int status, double ms);
  void flush();

private:
  int fd_;
  std::string buffer_;
};

} // namespace kdr::server
