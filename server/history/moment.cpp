#include "server/history/moment.h"

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

} // namespace

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
