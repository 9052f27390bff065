#pragma once
// The one form a history filter's "since" takes: a day "AAAA-MM-DD" or a moment
// "AAAA-MM-DD HH:MM[:SS]" (a T may join them), a real date and time, UTC as the history keeps it.
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace kdr::server {

// "AAAA-MM-DD" or "AAAA-MM-DD HH:MM:SS", compared as text with the history's times; nullopt for
// anything else ("08/12/2026", "2026-13-45", "2026-02-29").
std::optional<std::string> canonicalMoment(std::string_view text);

// A time the history keeps (UTC, "AAAA-MM-DD HH:MM:SS[.mmm]") as the administrator's own clock
// reads it: "AAAA-MM-DD HH:MM:SS[.mmm] -03:00", in the process's time zone (TZ), with its offset.
// Any other text comes back as it is.
std::string localMoment(std::string_view utc);
// A moment in one of canonicalMoment's forms, read on the administrator's own clock (a day: its
// local midnight), as the history's UTC text "AAAA-MM-DD HH:MM:SS".
std::string utcFromLocal(std::string_view typed);

inline constexpr const char *momentForms = "AAAA-MM-DD ou AAAA-MM-DD HH:MM[:SS]";

} // namespace kdr::server
