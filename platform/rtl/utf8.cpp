#include "platform/rtl/utf8.h"

namespace kdr::utf8 {

namespace {

std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Latin-1 letters: U+00C0..U+00DE map to U+00E0..U+00FE, except the multiplication sign.
char32_t lowerOf(char32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
  return cp;
}

char32_t upperOf(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
  return cp;
}

template <typename Map> std::string mapChars(std::string_view s, Map map) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) append(out, map(decode(s, i)));
  return out;
}

} // namespace

char32_t decode(std::string_view s, std::size_t &i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  const std::size_t n = sequenceLength(lead);
  if (n == 1 || i + n > s.size()) {
    ++i;
    return lead < 0x80 ? char32_t(lead) : char32_t(0xFFFD);
  }
  char32_t cp = lead & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if (!isContinuation(c)) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  i += n;
  return cp;
}

void append(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::size_t length(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = sequenceLength(static_cast<unsigned char>(s[i]));
    i += (i + len <= s.size()) ? len : 1;
    ++n;
  }
  return n;
}

std::string cut(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t chars = 0; chars < n && i < s.size(); ++chars) {
    const std::size_t len = sequenceLength(static_cast<unsigned char>(s[i]));
    i += (i + len <= s.size()) ? len : 1;
  }
  return std::string(s.substr(0, i));
}

bool isBlank(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

std::string foldCase(std::string_view s) { return mapChars(s, lowerOf); }
std::string toLower(std::string_view s) { return mapChars(s, lowerOf); }
std::string toUpper(std::string_view s) { return mapChars(s, upperOf); }

bool sameText(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size())
    if (lowerOf(decode(a, i)) != lowerOf(decode(b, j))) return false;
  return i == a.size() && j == b.size();
}

std::string percentEncode(std::string_view s) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c > 0x20 && c < 0x7F && c != '%') {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 0xF];
    }
  }
  return out;
}

std::string percentDecode(std::string_view s) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    int hi = s[i] == '%' && i + 2 < s.size() ? digit(s[i + 1]) : -1;
    int lo = hi >= 0 ? digit(s[i + 2]) : -1;
    if (lo >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

} // namespace kdr::utf8
