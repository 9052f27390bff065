#pragma once
// Text is UTF-8 everywhere; sizes count characters (code points), never bytes.
#include <cstddef>
#include <string>
#include <string_view>

namespace kdr::utf8 {

// Number of characters; a malformed byte counts as one character.
std::size_t length(std::string_view s);

// The first n characters of s, never splitting a character.
std::string cut(std::string_view s, std::size_t n);

// True when s holds only spaces, tabs and line breaks (or nothing).
bool isBlank(std::string_view s);

// Case folding for comparison: ASCII and the Latin-1 letters used in Portuguese
// ("ÇÃO" folds to "ção"); other characters are kept as they are.
std::string foldCase(std::string_view s);

// Case-insensitive equality under foldCase.
bool sameText(std::string_view a, std::string_view b);

// Upper case under the same rules (used by masks with ">").
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);

// Decodes the code point starting at s[i]; advances i. Malformed input yields U+FFFD.
char32_t decode(std::string_view s, std::size_t &i);
void append(std::string &out, char32_t cp);

// A text carried in an HTTP header: every byte outside printable ASCII, and "%", as %XX.
std::string percentEncode(std::string_view s);
// The reverse; a "%" not followed by two hexadecimal digits is kept as it is.
std::string percentDecode(std::string_view s);

} // namespace kdr::utf8
