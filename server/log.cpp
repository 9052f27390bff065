#include "server/log.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
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

// The time of a line, to the millisecond. Its text up to the second is kept per thread: a
// busy server writes thousands of lines a second, and formatting a date for each cost more than
// the rest of the line.
void appendLogStart(std::string &out, LogLevel level) {
  using namespace std::chrono;
  struct Second {
    std::time_t at = -1;
    char text[32] = {};
    std::size_t size = 0;
  };
  thread_local Second second;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  if (seconds != second.at) {
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    second.size = std::strftime(second.text, sizeof second.text, "time=%Y-%m-%dT%H:%M:%S.", &tm);
    second.at = seconds;
  }
  out.append(second.text, second.size);
  const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  out += static_cast<char>('0' + ms / 100);
  out += static_cast<char>('0' + ms / 10 % 10);
  out += static_cast<char>('0' + ms % 10);
  out += "Z level=";
  out += levelName(level);
}

void appendLogField(std::string &out, std::string_view key, std::string_view value) {
  out += ' ';
  out += key;
  out += '=';
  const bool quote = value.empty() || value.find_first_of(" \"=\\") != std::string_view::npos;
  const std::string_view shown = value.substr(0, longestValue);
  const bool printable = std::all_of(
      shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f; });
  if (quote) out += '"';
  if (printable && !quote) {
    out += shown; // a name, a path, a number: the common case, copied whole
  } else {
    for (char c : shown) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
        out += '?';
      else {
        if (quote && (c == '"' || c == '\\')) out += '\\';
        out += c;
      }
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
