#pragma once
// The line each request leaves in the server log, gathered in a buffer and written in batches: a
// write per request would put a system call on the path of every answer. One buffer per event
// loop, so no lock is taken. A line reads
//   time=2026-12-08T14:03:07.125Z level=info request=8796093022209 user=maria method=POST
//   path=/KDR03020.rdmParamFatCli/SetParamFatCli status=200 ms=1.23
// (one line); level warning for a refusal (4xx) or a client that left, error for a failure (5xx).
#include <cstdint>
#include <string>
#include <string_view>

namespace kdr::server {

struct RequestRecord {
  std::uint64_t id = 0;
  std::string_view user;   // the desktop's user name; empty when not sent
  std::string_view method; // empty when the request line could not be read
  std::string_view path;
  int status = 0; // 0: the client left before an answer
  double ms = 0;
};

class RequestLog {
public:
  explicit RequestLog(int fd) : fd_(fd) {}
  ~RequestLog() { flush(); }
  RequestLog(const RequestLog &) = delete;
  RequestLog &operator=(const RequestLog &) = delete;

  void add(const RequestRecord &r);
  void flush();

private:
  int fd_;
  std::string buffer_;
};

} // namespace kdr::server
