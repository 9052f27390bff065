#pragma once
// The one form a history filter's "since" takes: a day "AAAA-MM-DD" or a moment
// "AAAA-MM-DD HH:MM[:SS]" (a T may join them), a real date and time, UTC as the history keeps it.
#include <optional>
#include <string>
#include <string_view>

namespace kdr::server {

// "AAAA-MM-DD" or "AAAA-MM-DD HH:MM:SS", compared as text with the history's times; nullopt for
// anything else ("08/12/2026", "2026-13-45", "2026-02-29").
std::optional<std::string> canonicalMoment(std::string_view text);

inline constexpr const char *momentForms = "AAAA-MM-DD ou AAAA-MM-DD HH:MM[:SS]";

} // namespace kdr::server
