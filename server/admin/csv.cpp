#include "server/admin/csv.h"

#include "platform/rtl/utf8.h"
#include "server/errors.h"

namespace kdr::server::csv {
namespace {

[[noreturn]] void refuseAt(std::size_t line, const std::string &why) {
  refuse("Arquivo inválido, linha " + std::to_string(line) + ": " + why);
}

void checkText(std::string_view text) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\0') refuseAt(line, "caractere nulo.");
    if (text[i] == '\n') ++line;
    std::size_t start = i;
    if (utf8::decode(text, i) == 0xFFFD && text.substr(start, i - start) != "\xEF\xBF\xBD")
      refuseAt(line, "o texto não está em UTF-8.");
  }
}

char separatorOf(std::string_view text) {
  std::size_t end = text.find_first_of("\r\n");
  std::string_view header = text.substr(0, end);
  if (header.find(';') != std::string_view::npos) return ';';
  return header.find(',') != std::string_view::npos ? ',' : ';';
}

} // namespace

Table parse(std::string_view text) {
  if (text.substr(0, byteOrderMark.size()) == byteOrderMark) text.remove_prefix(byteOrderMark.size());
  checkText(text);
  Table table;
  table.separator = separatorOf(text);
  std::size_t line = 1, i = 0;
  while (i < text.size()) {
    Record record{line, {}};
    for (;;) {
      Cell cell;
      if (i < text.size() && text[i] == '"') {
        cell.quoted = true;
        std::size_t opened = line;
        for (++i;; ++i) {
          if (i >= text.size()) refuseAt(opened, "aspas abertas e não fechadas.");
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              cell.text += '"';
              ++i;
              continue;
            }
            ++i;
            break;
          }
          if (text[i] == '\n') ++line;
          cell.text += text[i];
        }
        // Anything between the closing quote and the separator is kept, as spreadsheets do.
        while (i < text.size() && text[i] != table.separator && text[i] != '\n' && text[i] != '\r')
          cell.text += text[i++];
      } else {
        while (i < text.size() && text[i] != table.separator && text[i] != '\n' && text[i] != '\r')
          cell.text += text[i++];
      }
      record.cells.push_back(std::move(cell));
      if (i < text.size() && text[i] == table.separator) {
        ++i;
        continue;
      }
      break;
    }
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
    ++line;
    // Blank lines (often one at the end) hold no record.
    if (!(record.cells.size() == 1 && record.cells[0].missing())) table.records.push_back(std::move(record));
  }
  return table;
}

std::string field(std::string_view text, char separator, bool missing) {
  if (missing) return {};
  bool quote =
      text.empty() || text.find_first_of(std::string{separator, '"', '\n', '\r'}) != std::string_view::npos;
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

} // namespace kdr::server::csv
