#include "server/http/request_log.h"

#include <unistd.h>

#include <charconv>

namespace kdr::server {
namespace {

constexpr std::size_t flushAt = 16 * 1024;
// A path is user input: a long one is cut so that it cannot fill the log.
constexpr std::size_t longestPath = 200;

void appendNumber(std::string &out, auto value, auto... format) {
  char buf[32];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, value, format...).ptr);
}

void appendPrintable(std::string &out, std::string_view text) {
  for (char c : text.substr(0, longestPath))
    out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  if (text.size() > longestPath) out += "...";
}

} // namespace

void RequestLog::add(std::uint64_t id, std::string_view method, std::string_view path, int status,
                     double ms) {
  buffer_ += '[';
  appendNumber(buffer_, id);
  buffer_ += "] ";
  appendPrintable(buffer_, method.empty() ? "-" : method);
  buffer_ += ' ';
  appendPrintable(buffer_, path.empty() ? "-" : path);
  buffer_ += ' ';
  if (status)
    appendNumber(buffer_, status);
  else
    buffer_ += '-';
  buffer_ += ' ';
  appendNumber(buffer_, ms, std::chars_format::fixed, 2);
  buffer_ += "ms\n";
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
