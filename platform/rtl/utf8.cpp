#include "platform/rtl/utf8.h"

#include <vector>

namespace kdr::utf8 {

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// How far a malformed byte or a character moves a count along.
std::size_t step(std::string_view s, std::size_t i) {
  const std::size_t n = sequenceAt(s, i);
  return n ? n : 1;
}

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

std::size_t sequenceAt(std::string_view s, std::size_t i) {
  auto byte = [&](std::size_t k) -> unsigned char { return i + k < s.size() ? s[i + k] : 0; };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  // The second byte's range is narrower after E0 (no overlong form), ED (no surrogate), F0 (no
  // overlong form) and F4 (nothing above U+10FFFF).
  unsigned char low = 0x80, high = 0xBF;
  std::size_t n = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (!isContinuation(byte(k))) return 0;
  return n;
}

std::size_t firstMalformed(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = sequenceAt(s, i);
    if (n == 0) return i;
    i += n;
  }
  return std::string_view::npos;
}

char32_t decode(std::string_view s, std::size_t &i) {
  const std::size_t n = sequenceAt(s, i);
  const auto lead = static_cast<unsigned char>(s[i]);
  if (n == 0) {
    ++i;
    return 0xFFFD;
  }
  char32_t cp = n == 1 ? lead : lead & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
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
  for (std::size_t i = 0; i < s.size(); i += step(s, i)) ++n;
  return n;
}

std::string cut(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t chars = 0; chars < n && i < s.size(); ++chars) i += step(s, i);
  return std::string(s.substr(0, i));
}

bool isBlank(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

std::string padCode(std::string_view code, std::size_t width) {
  const std::size_t first = code.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  code = code.substr(first, code.find_last_not_of(" \t\r\n") - first + 1);
  const std::size_t n = length(code);
  return std::string(n < width ? width - n : 0, '0') + std::string(code);
}

std::string inert(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const char32_t cp = decode(s, i);
    if (cp == '\n')
      out += "\u23CE";
    else if (cp == '\r')
      continue;
    else if (cp < 0x20)
      append(out, 0x2400 + cp);
    else if (cp == 0x7F)
      out += "\u2421";
    else if ((cp >= 0x80 && cp < 0xA0) || isBidiControl(cp))
      out += "\uFFFD";
    else
      append(out, cp);
  }
  return out;
}

bool isBidiControl(char32_t cp) {
  return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069);
}

std::string foldCase(std::string_view s) { return mapChars(s, lowerOf); }

const SearchFolding &searchFolding() {
  static const SearchFolding folding{"abcdefghijklmnopqrstuvwxyz"
                                     "ÀÁÂÃÄÅÇÈÉÊËÌÍÎÏÑÒÓÔÕÖØÙÚÛÜÝàáâãäåçèéêëìíîïñòóôõöøùúûüýÿæðþ",
                                     "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                     "AAAAAACEEEEIIIINOOOOOOUUUUYAAAAAACEEEEIIIINOOOOOOUUUUYYÆÐÞ"};
  return folding;
}

std::string foldForSearch(std::string_view s) {
  // Every character the folding changes is below U+0100: a table of them, built once.
  static const std::vector<char32_t> table = [] {
    std::vector<char32_t> t(0x100);
    for (char32_t c = 0; c < t.size(); ++c) t[c] = c;
    const SearchFolding &f = searchFolding();
    for (std::size_t i = 0, j = 0; i < f.from.size() && j < f.to.size();) {
      const char32_t from = decode(f.from, i);
      t[from] = decode(f.to, j);
    }
    return t;
  }();
  return mapChars(s, [](char32_t cp) { return cp < table.size() ? table[cp] : cp; });
}
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
