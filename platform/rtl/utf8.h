#pragma once
// Text is UTF-8 everywhere; sizes count characters (code points), never bytes.
#include <cstddef>
#include <string>
#include <string_view>

namespace kdr::utf8 {

// The one rule of what is UTF-8, used by every entry (the wire, an imported file, a header): the
// length of the well-formed sequence starting at s[i], or 0 where none starts (a stray
// continuation byte, a byte C0, C1 or F5..FF, an overlong form, a surrogate, a code point above
// U+10FFFF, a sequence cut short).
std::size_t sequenceAt(std::string_view s, std::size_t i);
// Where the first malformed byte is; npos when the whole text is UTF-8.
std::size_t firstMalformed(std::string_view s);
inline bool isValid(std::string_view s) { return firstMalformed(s) == std::string_view::npos; }

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

// Folding for search: upper case without accents, so that "joao" finds "João" and "ACOUGUE"
// finds "Açougue"; ASCII and the Latin-1 letters, others kept as they are. Each character folds
// to exactly one, so a folded text has as many characters as the text.
std::string foldForSearch(std::string_view s);

// The characters foldForSearch changes (from) and what each becomes (to), in the same order: a
// database folds its own texts alike with a translation of these.
struct SearchFolding {
  std::string from;
  std::string to;
};
const SearchFolding &searchFolding();

// Upper case under the same rules as foldCase (used by masks with ">").
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);

// A code typed short brought to its width as every screen does: blanks around it dropped, then
// left-padded with zeros; an empty code stays empty, a longer one is kept whole.
std::string padCode(std::string_view code, std::size_t width);

// The text as a terminal may show it without obeying it: a line break as "⏎", a carriage return
// dropped, other control characters as their visible pictures (ESC as "␛"), a malformed byte, a
// C1 control or a bidirectional control as U+FFFD.
std::string inert(std::string_view s);

// True for the characters that reorder how the text around them is shown (bidirectional
// embeddings, overrides, isolates and marks).
bool isBidiControl(char32_t cp);

// Decodes the code point starting at s[i]; advances i. A malformed byte yields U+FFFD and
// advances by one.
char32_t decode(std::string_view s, std::size_t &i);
void append(std::string &out, char32_t cp);

// A text carried in an HTTP header: every byte outside printable ASCII, and "%", as %XX.
std::string percentEncode(std::string_view s);
// The reverse; a "%" not followed by two hexadecimal digits is kept as it is.
std::string percentDecode(std::string_view s);

} // namespace kdr::utf8
