#include "server/admin/csv.h"

#include "platform/rtl/utf8.h"
#include "server/errors.h"

namespace kdr::server::csv {
namespace {

// No field of ours comes near: a record this long is a quote left open by mistake, read on to
// the end of the file.
constexpr std::size_t maxRecordBytes = 1 << 20;
constexpr std::size_t maxCells = 1000;

[[noreturn]] void refuseAt(std::size_t line, const std::string &why) {
  refuse("Arquivo inválido, linha " + std::to_string(line) + ": " + why);
}

char separatorOf(std::string_view header) {
  if (header.find(';') != std::string_view::npos) return ';';
  return header.find(',') != std::string_view::npos ? ',' : ';';
}

// A negative amount stays a number in the spreadsheet: "-12,5" is no formula.
bool isPlainNumber(std::string_view t) {
  if (!t.empty() && t[0] == '-') t.remove_prefix(1);
  bool digits = false, mark = false;
  for (char c : t) {
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if ((c == ',' || c == '.') && !mark) {
      mark = true;
    } else {
      return false;
    }
  }
  return digits;
}

// Texts that get the apostrophe: those a spreadsheet evaluates, and those that already start with
// apostrophes before such a character, so that reading takes exactly one away from every text.
bool needsMark(std::string_view t) {
  const std::size_t start = t.find_first_not_of('\'');
  if (start == std::string_view::npos) return false;
  if (std::string_view("=+-@\t\r").find(t[start]) == std::string_view::npos) return false;
  return start > 0 || !isPlainNumber(t);
}

// The bytes 80..9F of Windows-1252; the five it leaves undefined keep their C1 code points.
constexpr char16_t windows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string fromWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    utf8::append(out, c >= 0x80 && c < 0xA0 ? char32_t(windows1252High[c - 0x80]) : char32_t(c));
  }
  return out;
}

} // namespace

Encoding encodingNamed(std::string_view name) {
  if (utf8::sameText(name, "utf-8") || utf8::sameText(name, "utf8")) return Encoding::Utf8;
  if (utf8::sameText(name, "cp1252") || utf8::sameText(name, "windows-1252")) return Encoding::Windows1252;
  refuse("Codificação desconhecida: \"" + std::string(name) + "\". Use utf-8 ou cp1252.");
}

bool Reader::readLine(std::string &line) {
  line.clear();
  std::streambuf &in = *in_.rdbuf();
  int c = in.sbumpc();
  if (c == std::char_traits<char>::eof()) return false;
  for (; c != std::char_traits<char>::eof() && c != '\n'; c = in.sbumpc()) {
    if (line.size() == maxRecordBytes) refuseAt(line_ + 1, "linha longa demais.");
    line += static_cast<char>(c);
  }
  if (++line_ == 1 && line.starts_with(byteOrderMark)) line.erase(0, byteOrderMark.size());
  if (encoding_ == Encoding::Windows1252) line = fromWindows1252(line);
  return true;
}

bool Reader::next(Record &record) {
  std::string line;
  do {
    if (!readLine(line)) return false;
  } while (line.empty() || line == "\r");
  if (!separator_) separator_ = separatorOf(line);
  record.line = line_;
  record.cells.clear();
  std::size_t bytes = line.size(), i = 0;
  auto takeUnquoted = [&](Cell &cell) {
    const std::size_t end = std::min(line.find(separator_, i), line.size());
    // The carriage return of a line ending in CR LF ends the record, not the field.
    const bool lineEnd = end == line.size() && end > i && line[end - 1] == '\r';
    cell.text.append(line, i, end - i - lineEnd);
    i = end;
  };
  for (;;) {
    Cell cell;
    if (i < line.size() && line[i] == '"') {
      cell.quoted = true;
      for (++i;; ++i) {
        if (i >= line.size()) {
          // The quoted text goes on in the next line, its line break part of it.
          if (!readLine(line)) refuseAt(record.line, "aspas abertas e não fechadas.");
          if ((bytes += line.size()) > maxRecordBytes) refuseAt(record.line, "aspas abertas e não fechadas.");
          cell.text += '\n';
          i = std::size_t(-1);
          continue;
        }
        if (line[i] != '"') {
          cell.text += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
          cell.text += line[++i];
        } else {
          ++i;
          break;
        }
      }
    }
    // Anything between a closing quote and the separator is kept, as spreadsheets do.
    takeUnquoted(cell);
    if (cell.text.starts_with('\'') && needsMark(std::string_view(cell.text).substr(1)))
      cell.text.erase(0, 1);
    record.cells.push_back(std::move(cell));
    if (record.cells.size() > maxCells) refuseAt(record.line, "campos demais.");
    if (i == line.size()) return true;
    ++i; // the separator
  }
}

std::string field(std::string_view text, char separator, bool missing) {
  if (missing) return {};
  std::string marked = needsMark(text) ? "'" + std::string(text) : std::string(text);
  bool quote = marked.empty() ||
               marked.find_first_of(std::string{separator, '"', '\n', '\r'}) != std::string_view::npos;
  if (!quote) return marked;
  std::string out = "\"";
  for (char c : marked) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

} // namespace kdr::server::csv
