#pragma once
// The spreadsheet exchange file: text, one record per line, fields separated by ";" (what a
// spreadsheet set to Brazilian Portuguese reads and writes) or by "," when the header uses it.
// A field holding the separator, a quote or a line break is quoted, its quotes doubled. An empty
// unquoted field is a missing value (null); "" is an empty text. A text a spreadsheet would take
// for a formula (it starts with =, +, -, @, a tab or a carriage return) is written after an
// apostrophe, as spreadsheet users mark text, and read back without it.
#include <cstddef>
#include <istream>
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

enum class Encoding { Utf8, Windows1252 };

// "utf-8" or "cp1252" (also "windows-1252"); raises ServiceError (invalid argument) otherwise.
Encoding encodingNamed(std::string_view name);

// Reads a file a record at a time, so what it holds does not grow with the file. The text is
// handed over as the file has it (a Windows-1252 file converted to UTF-8): checking it is the
// reader's caller's, who knows which field a cell is.
class Reader {
public:
  explicit Reader(std::istream &in, Encoding encoding = Encoding::Utf8) : in_(in), encoding_(encoding) {}

  // The next record into record; false at the end of the file. Blank lines hold no record, a
  // leading byte-order mark is skipped. Raises ServiceError (invalid argument) naming the line of
  // an unclosed quote or of a record too long to be one (a quote opened by mistake).
  bool next(Record &record);

  // The separator, known once the first record (the header) has been read.
  char separator() const { return separator_; }

private:
  bool readLine(std::string &line);

  std::istream &in_;
  Encoding encoding_;
  char separator_ = 0;
  std::size_t line_ = 0;
};

// One field as written: marked when a spreadsheet would take it for a formula, quoted when it
// must be; missing writes nothing.
std::string field(std::string_view text, char separator, bool missing = false);

// The byte-order mark written first, so that spreadsheets read the accents as UTF-8.
inline constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

} // namespace kdr::server::csv
