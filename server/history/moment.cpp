#include "server/history/moment.h"

#include <cstdio>
#include <cstdlib>

namespace kdr::server {
namespace {

std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int daysIn(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

// The fields of "AAAA-MM-DD[ HH:MM:SS]", not checked beyond their digits.
std::optional<std::tm> fieldsOf(std::string_view text) {
  auto year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
  if (!year || !month || !day) return std::nullopt;
  std::tm t{};
  t.tm_year = *year - 1900;
  t.tm_mon = *month - 1;
  t.tm_mday = *day;
  if (text.size() >= 19) {
    auto hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    if (!hour || !minute || !second) return std::nullopt;
    t.tm_hour = *hour;
    t.tm_min = *minute;
    t.tm_sec = *second;
  }
  return t;
}

std::string printed(const std::tm &t) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
  return text;
}

} // namespace

std::string localMoment(std::string_view utc) {
  std::optional<std::tm> t = fieldsOf(utc);
  if (utc.size() < 19 || !t) return std::string(utc);
  const std::time_t when = timegm(&*t);
  std::tm local{};
  localtime_r(&when, &local);
  const long offset = local.tm_gmtoff / 60;
  char zone[40];
  std::snprintf(zone, sizeof zone, " %c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                std::labs(offset) % 60);
  return printed(local) + std::string(utc.substr(19)) + zone;
}

std::string utcFromLocal(std::string_view typed) {
  const std::optional<std::string> canonical = canonicalMoment(typed);
  std::optional<std::tm> t = canonical ? fieldsOf(*canonical) : std::nullopt;
  if (!t) return std::string(typed);
  t->tm_isdst = -1; // whatever the zone's rule is on that day
  const std::time_t when = std::mktime(&*t);
  std::tm utc{};
  gmtime_r(&when, &utc);
  return printed(utc);
}

std::optional<std::string> canonicalMoment(std::string_view text) {
  auto year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
  if (text.size() < 10 || !year || !month || !day || text[4] != '-' || text[7] != '-' || *month < 1 ||
      *month > 12 || *day < 1 || *day > daysIn(*year, *month))
    return std::nullopt;
  std::string out(text.substr(0, 10));
  if (text.size() == 10) return out;
  if (text.size() != 16 && text.size() != 19) return std::nullopt;
  auto hour = digits(text, 11, 2), minute = digits(text, 14, 2);
  auto second = text.size() == 19 ? digits(text, 17, 2) : std::optional<int>(0);
  if ((text[10] != ' ' && text[10] != 'T') || text[13] != ':' || (text.size() == 19 && text[16] != ':') ||
      !hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59)
    return std::nullopt;
  out += ' ';
  out += text.substr(11, 5);
  out += text.size() == 19 ? std::string(text.substr(16)) : std::string(":00");
  return out;
}

} // namespace kdr::server
