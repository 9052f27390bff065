#include "platform/host/local_text_index.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/host/local_statement.h"
#include "platform/host/localdb.h"
#include "platform/rtl/utf8.h"

namespace kdr {

namespace {

// A table a list may show at a million rows: the column naming one row and the columns a typed
// text is looked for in.
struct IndexedTable {
  std::string table;
  std::string key;
  std::vector<std::string> columns;
  std::string index() const { return table + "_TRECHOS"; }
};

const std::vector<IndexedTable> &indexedTables() {
  static const std::vector<IndexedTable> tables{{"CLIENTE", "CDCLIENTE", {"NRINSJURCLIE", "NMFANTCLIE"}}};
  return tables;
}

const IndexedTable *indexedTable(const std::string &table) {
  for (const IndexedTable &indexed : indexedTables())
    if (utf8::sameText(indexed.table, table)) return &indexed;
  return nullptr;
}

// Past this many rows holding a text, the text is common enough that the list's own order reaches
// a packet of them sooner than gathering and sorting every one of them.
constexpr int gatherAtMost = 10000;
// A long text is looked for by its first runs; the exact comparison does the rest.
constexpr std::size_t runsOfALongText = 16;

std::string quoted(const std::string &identifier) { return "\"" + identifier + "\""; }

std::vector<std::string> characters(const std::string &folded) {
  std::vector<std::string> chars;
  for (std::size_t i = 0; i < folded.size();) {
    const std::size_t start = i;
    utf8::decode(folded, i);
    chars.push_back(folded.substr(start, i - start));
  }
  return chars;
}

// The run of count characters from the given one, as a token of the index: its bytes in
// hexadecimal, so that any character (a space, "%") stays inside the token and a shorter run's
// token begins the token of every longer run that begins with it.
std::string token(const std::vector<std::string> &chars, std::size_t from, std::size_t count) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = from; i < from + count && i < chars.size(); ++i)
    for (const unsigned char c : chars[i]) {
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  return out;
}

// kdr_trechos(text): the tokens of the runs that begin at each character of the folded text (three
// characters, fewer at its end), separated by spaces; null for null.
void runsFunction(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
  const std::vector<std::string> chars = characters(utf8::foldForSearch(text ? text : ""));
  std::string out;
  for (std::size_t i = 0; i < chars.size(); ++i) out += (i > 0 ? " " : "") + token(chars, i, 3);
  sqlite3_result_text(ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// The index's statement adding (or, with 'delete', removing) the runs of the row named by row
// ("new" or "old").
std::string runsOfRow(const IndexedTable &t, const std::string &row, bool remove) {
  const std::string index = quoted(t.index());
  std::string columns = remove ? index + ", rowid" : "rowid";
  std::string values = remove ? "'delete', " + row + ".rowid" : row + ".rowid";
  for (const std::string &column : t.columns) {
    columns += ", " + quoted(column);
    values += ", kdr_trechos(" + row + "." + quoted(column) + ")";
  }
  return "INSERT INTO " + index + " (" + columns + ") VALUES (" + values + ");";
}

std::string trigger(const IndexedTable &t, const std::string &name, const std::string &event,
                    const std::string &body) {
  return "CREATE TRIGGER " + quoted(t.index() + "_" + name) + " AFTER " + event + " ON " + quoted(t.table) +
         " BEGIN " + body + " END;";
}

// Kept by triggers whoever writes the table, as each row is written.
std::string createTriggers(const IndexedTable &t) {
  return trigger(t, "INCLUI", "INSERT", runsOfRow(t, "new", false)) +
         trigger(t, "EXCLUI", "DELETE", runsOfRow(t, "old", true)) +
         trigger(t, "ALTERA", "UPDATE", runsOfRow(t, "old", true) + runsOfRow(t, "new", false));
}

std::string dropTriggers(const IndexedTable &t) {
  std::string drop;
  for (const char *name : {"INCLUI", "EXCLUI", "ALTERA"})
    drop += "DROP TRIGGER " + quoted(t.index() + "_" + name) + ";";
  return drop;
}

// Every row of the table, in one statement.
std::string fillIndex(const IndexedTable &t) {
  std::string columns, values;
  for (const std::string &column : t.columns) {
    columns += ", " + quoted(column);
    values += ", kdr_trechos(" + quoted(column) + ")";
  }
  return "INSERT INTO " + quoted(t.index()) + " (rowid" + columns + ") SELECT rowid" + values + " FROM " +
         quoted(t.table) + ";";
}

// The index holds no text, only tokens (content=''), and no positions (detail=column): a row
// holding every run of a text is checked against the text itself. Runs of one and two characters
// (two and four hexadecimal digits) are read as prefixes of the tokens.
std::string createIndex(const IndexedTable &t) {
  std::string columns;
  for (const std::string &column : t.columns) columns += quoted(column) + ", ";
  return "CREATE VIRTUAL TABLE " + quoted(t.index()) + " USING fts5(" + columns +
         "content='', tokenize='ascii', columnsize=0, detail='column', prefix='2 4');" + createTriggers(t) +
         fillIndex(t);
}

// The index's query for the folded text in the columns: every run of three characters of a longer
// text (the first few), else the text as the beginning of a run.
std::string runsQuery(const std::string &folded, const std::vector<std::string> &columns) {
  const std::vector<std::string> chars = characters(folded);
  std::string runs;
  if (chars.size() < 3) {
    runs = "\"" + token(chars, 0, chars.size()) + "\" *";
  } else {
    std::vector<std::string> seen;
    for (std::size_t i = 0; i + 3 <= chars.size() && seen.size() < runsOfALongText; ++i) {
      std::string run = token(chars, i, 3);
      if (std::find(seen.begin(), seen.end(), run) != seen.end()) continue;
      runs += (seen.empty() ? "\"" : " AND \"") + run + "\"";
      seen.push_back(std::move(run));
    }
  }
  std::string query;
  for (const std::string &column : columns)
    query += (query.empty() ? "{" : " OR {") + column + "} : (" + runs + ")";
  return query;
}

// A query naming the table twice may read a row's key and its text from two different rows.
bool namedOnce(const std::string &query, const std::string &table) {
  const std::string text = utf8::toUpper(query), name = utf8::toUpper(table);
  const auto identifier = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  };
  int count = 0;
  for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at + 1))
    if ((at == 0 || !identifier(text[at - 1])) &&
        (at + name.size() == text.size() || !identifier(text[at + name.size()])))
      ++count;
  return count == 1;
}

} // namespace

void addTextIndexes(TLocalConnection &connection) {
  sqlite3_create_function(connection.handle(), "kdr_trechos", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                          runsFunction, nullptr, nullptr);
  // A row that INSERT OR REPLACE displaces leaves the index only if its delete trigger fires.
  connection.execute("PRAGMA recursive_triggers = ON");
  for (const IndexedTable &t : indexedTables()) {
    if (!connection.tableName(t.index()).empty()) continue;
    TLocalTransaction transaction(connection);
    transaction.StartTransaction();
    try {
      // Another host on the same file may have built it while this one waited.
      if (connection.tableName(t.index()).empty()) connection.execute(createIndex(t));
      transaction.Commit();
    } catch (...) {
      transaction.Rollback();
      throw;
    }
  }
}

bool clearIndexedTable(TLocalConnection &connection, const std::string &table) {
  const IndexedTable *indexed = indexedTable(table);
  if (indexed == nullptr) {
    connection.execute("DELETE FROM " + quoted(table));
    return false;
  }
  // Row by row, the triggers would take each row's runs out and put each new row's in one at a
  // time, the index writing itself out at every statement (a first load of a million clients took
  // five times as long); without them the table empties at once, and so does its index.
  const std::string index = quoted(indexed->index());
  connection.execute(dropTriggers(*indexed) + "DELETE FROM " + quoted(table) + "; INSERT INTO " + index +
                     " (" + index + ") VALUES ('delete-all');");
  return true;
}

void reindexTable(TLocalConnection &connection, const std::string &table) {
  if (const IndexedTable *indexed = indexedTable(table))
    connection.execute(fillIndex(*indexed) + createTriggers(*indexed));
}

std::optional<IndexedNarrowing> indexedNarrowing(const TLocalConnection &connection, const std::string &query,
                                                 const std::vector<std::string> &fields,
                                                 const std::string &foldedText) {
  if (foldedText.empty() || fields.empty()) return std::nullopt;
  const std::vector<LocalStatement::Origin> origins =
      LocalStatement(connection, "SELECT * FROM (\n" + query + ")").origins();
  const auto originOf = [&](const auto &matches) {
    const auto found = std::find_if(origins.begin(), origins.end(), matches);
    return found == origins.end() ? nullptr : &*found;
  };

  const IndexedTable *table = nullptr;
  std::vector<std::string> columns;
  for (const std::string &field : fields) {
    const auto *origin = originOf([&](const auto &o) { return utf8::sameText(o.name, field); });
    const IndexedTable *indexed = origin != nullptr ? indexedTable(origin->table) : nullptr;
    if (indexed == nullptr || (table != nullptr && indexed != table)) return std::nullopt;
    table = indexed;
    const auto column = std::find_if(table->columns.begin(), table->columns.end(),
                                     [&](const std::string &c) { return utf8::sameText(c, origin->column); });
    if (column == table->columns.end()) return std::nullopt;
    if (std::find(columns.begin(), columns.end(), *column) == columns.end()) columns.push_back(*column);
  }
  const auto *key = originOf([&](const auto &o) {
    return utf8::sameText(o.table, table->table) && utf8::sameText(o.column, table->key);
  });
  if (key == nullptr || !namedOnce(query, table->table)) return std::nullopt;

  const std::string index = quoted(table->index());
  const std::string matching = "SELECT rowid FROM " + index + " WHERE " + index + " MATCH :KDR_TRECHOS";
  IndexedNarrowing narrowing{" AND " + quoted(key->name) + " IN (SELECT " + quoted(table->key) + " FROM " +
                                 quoted(table->table) + " WHERE rowid IN (" + matching + "))",
                             runsQuery(foldedText, columns)};
  LocalStatement count(connection,
                       "SELECT count(*) FROM (" + matching + " LIMIT " + std::to_string(gatherAtMost) + ")");
  count.bind("KDR_TRECHOS", Variant(narrowing.runs));
  if (count.readAll().rows.front().values.front().asInteger() >= gatherAtMost) return std::nullopt;
  return narrowing;
}

} // namespace kdr
