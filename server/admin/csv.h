#pragma once
// The spreadsheet exchange file: UTF-8 text, one record per line, fields separated by ";" (what
// a spreadsheet set to Brazilian Portuguese reads and writes) or by "," when the header uses it.
// A field holding the separator, a quote or a line break is quoted, its quotes doubled. An empty
// unquoted field is a missing value (null); "" is an empty text.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kdr::server::csv {

struct Cell {
  std::string text;
  bool quoted = false;
  bool missing() const { return text.empty() && !quoted; }
};

struct Record {
  std::size_t line = 0; // where the record starts, from 1
  std::vector<Cell> cells;
};

struct Table {
  char separator = ';';
  std::vector<Record> records; // the header first
};

// Raises ServiceError (invalid argument) naming the line of an unclosed quote, a byte sequence
// that is not UTF-8, or a NUL character. A leading byte-order mark is skipped.
Table parse(std::string_view text);

// One field as written: quoted when it must be; missing writes nothing.
std::string field(std::string_view text, char separator, bool missing = false);

// The byte-order mark written first, so that spreadsheets read the accents as UTF-8.
inline constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

} // namespace kdr::server::csv
