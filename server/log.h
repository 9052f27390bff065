#pragma once
// The server's log: one line per event on stderr (the journal, under the service), each
// "time=... level=... " followed by key=value fields, so that a line is read by eye and by any
// tool that splits such fields. English, for the administrator and the developer.
#include <cstdint>
#include <string>
#include <string_view>

namespace kdr::server {

enum class LogLevel { Info, Warning, Error };

// "time=2026-12-08T14:03:07.125Z level=info" (UTC).
void appendLogStart(std::string &out, LogLevel level);
// " key=value"; the value is quoted (with \" and \\) when empty or holding a space, a quote or
// '=', control characters become '?', and a value longer than 200 bytes is cut.
void appendLogField(std::string &out, std::string_view key, std::string_view value);

// One whole line, written at once so that lines of concurrent requests never mix. request: the id
// of the request it is about, 0 for none.
void logLine(std::string_view message, LogLevel level = LogLevel::Info, std::uint64_t request = 0);

} // namespace kdr::server
