#include "server/log.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace kdr::server {
namespace {

// A value is user input (a path, a user name): a long one is cut so that it cannot fill the log.
constexpr std::size_t longestValue = 200;

const char *levelName(LogLevel level) {
  switch (level) {
  case LogLevel::Warning:
    return "warning";
  case LogLevel::Error:
    return "error";
  default:
    return "info";
  }
}

} // namespace

void appendLogStart(std::string &out, LogLevel level) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char buf[48];
  std::size_t n = std::strftime(buf, sizeof buf, "time=%Y-%m-%dT%H:%M:%S", &tm);
  const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::snprintf(buf + n, sizeof buf - n, ".%03dZ level=", ms);
  out += buf;
  out += levelName(level);
}

void appendLogField(std::string &out, std::string_view key, std::string_view value) {
  out += ' ';
  out += key;
  out += '=';
  const bool quote = value.empty() || value.find_first_of(" \"=\\") != std::string_view::npos;
  if (quote) out += '"';
  for (char c : value.substr(0, longestValue)) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      out += '?';
    else {
      if (quote && (c == '"' || c == '\\')) out += '\\';
      out += c;
    }
  }
  if (value.size() > longestValue) out += "...";
  if (quote) out += '"';
}

void logLine(std::string_view message, LogLevel level, std::uint64_t request) {
  std::string text;
  appendLogStart(text, level);
  if (request) appendLogField(text, "request", std::to_string(request));
  appendLogField(text, "msg", message);
  text += '\n';
  [[maybe_unused]] auto n = ::write(STDERR_FILENO, text.data(), text.size());
}

} // namespace kdr::server
