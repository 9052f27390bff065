#include "server/http/request_log.h"

#include <unistd.h>

#include <charconv>

#include "server/log.h"

namespace kdr::server {
namespace {

constexpr std::size_t flushAt = 16 * 1024;

LogLevel levelOf(int status) {
  if (status >= 500) return LogLevel::Error;
  if (status >= 400 || status == 0) return LogLevel::Warning;
  return LogLevel::Info;
}

std::string_view orDash(std::string_view text) { return text.empty() ? "-" : text; }

} // namespace

void RequestLog::add(const RequestRecord &r) {
  appendLogStart(buffer_, levelOf(r.status));
  char buf[32];
  appendLogField(buffer_, "request", std::string_view(buf, std::to_chars(buf, buf + sizeof buf, r.id).ptr));
  appendLogField(buffer_, "user", orDash(r.user));
  appendLogField(buffer_, "method", orDash(r.method));
  appendLogField(buffer_, "path", orDash(r.path));
  appendLogField(buffer_, "status",
                 r.status ? std::string_view(buf, std::to_chars(buf, buf + sizeof buf, r.status).ptr)
                          : std::string_view("-"));
  appendLogField(
      buffer_, "ms",
      std::string_view(buf, std::to_chars(buf, buf + sizeof buf, r.ms, std::chars_format::fixed, 2).ptr));
  buffer_ += '\n';
  if (buffer_.size() >= flushAt) flush();
}

void RequestLog::flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n <= 0) break; // a log that cannot be written must not stop the server
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
}

} // namespace kdr::server
