#include "platform/host/localdb.h"

#include <sqlite3.h>

#include <algorithm>
#include <optional>

#include "platform/host/local_statement.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr {

TdtmDBGeral *dtmDBGeral = nullptr;

namespace {

// The reference tables the screens read, and the cached parameter rows.
constexpr const char *schema = R"sql(
CREATE TABLE IF NOT EXISTS CLIENTE (
  CDCLIENTE VARCHAR(21) PRIMARY KEY,
  NRINSJURCLIE VARCHAR(20),
  NMFANTCLIE VARCHAR(50),
  IDTPIJURCLIE VARCHAR(1),
  CDPAIS VARCHAR(4));
CREATE TABLE IF NOT EXISTS EMPRESA (
  CDEMPRESA VARCHAR(2) PRIMARY KEY,
  NMEMPRESA VARCHAR(40));
CREATE TABLE IF NOT EXISTS OPERADOR (
  CDOPERADOR VARCHAR(12) PRIMARY KEY,
  NMOPERADOR VARCHAR(40));
CREATE TABLE IF NOT EXISTS OPERGRUPOP (
  CDGRUPOPER VARCHAR(2),
  CDOPERADOR VARCHAR(12),
  PRIMARY KEY (CDGRUPOPER, CDOPERADOR));
CREATE TABLE IF NOT EXISTS AUTGRUPOP (
  CDGRUPOPER VARCHAR(2),
  IDAUTGRUPOP VARCHAR(4),
  PRIMARY KEY (CDGRUPOPER, IDAUTGRUPOP));
CREATE TABLE IF NOT EXISTS PARCLIEKDR (
  CDCLIENTE VARCHAR(21),
  IDTPFATUCLIE VARCHAR(1),
  CDEMPRESA VARCHAR(2),
  IDFATURAPFILI VARCHAR(1),
  IDFATMESATUCLIE VARCHAR(1),
  DSFATURCLIE VARCHAR(400),
  DSBOLETCLIE VARCHAR(400),
  CDTIPOSERV VARCHAR(3),
  CDGERENTEIMPCLI VARCHAR(12),
  IDGERANFUNIFICA VARCHAR(1),
  VRPERCAJUSTEINV REAL);
CREATE INDEX IF NOT EXISTS PARCLIEKDR_CHAVE ON PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA);
CREATE TABLE IF NOT EXISTS KDR_CACHE_MARCA (
  TABELA VARCHAR(30) PRIMARY KEY,
  MARCA VARCHAR(100));
)sql";

// Identifiers cannot be bound; they are only ever names read back from the file itself.
std::string quoted(const std::string &identifier) { return "\"" + identifier + "\""; }

} // namespace

TLocalConnection::TLocalConnection(std::string path) : path_(std::move(path)) {
  if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw EDatabaseError("Não foi possível abrir o banco de dados local " + path_ + ".");
  }
  sqlite3_busy_timeout(db_, 5000);
  // A cache that the server can always rebuild: the write-ahead log without a sync per commit.
  execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL");
  execute(schema);
}

TLocalConnection::~TLocalConnection() { sqlite3_close(db_); }

void TLocalConnection::fail(const std::string &what) const {
  const std::string engine = sqlite3_errmsg(db_);
  // The two faults a query's author can make get a precise message; the rest a general one.
  for (const auto &[prefix, noun] :
       {std::pair{"no such table: ", "Tabela"}, std::pair{"no such column: ", "Coluna"}})
    if (engine.rfind(prefix, 0) == 0)
      throw EDatabaseError(std::string(noun) + " " + engine.substr(std::string_view(prefix).size()) +
                           " não existe no banco de dados local.");
  throw EDatabaseError("Erro ao " + what + " no banco de dados local.");
}

void TLocalConnection::execute(const std::string &sql) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) fail("executar um comando");
}

std::string TLocalConnection::tableName(std::string_view name) const {
  LocalStatement stmt(*this,
                      "SELECT name FROM sqlite_master WHERE type = 'table' AND name = :NAME COLLATE NOCASE");
  stmt.bind("NAME", Variant(name));
  const DataPacket found = stmt.readAll();
  return found.rows.empty() ? std::string() : found.rows.front().values.front().asString();
}

std::vector<std::string> TLocalConnection::columnNames(const std::string &table) const {
  LocalStatement stmt(*this, "SELECT name FROM pragma_table_info(:TABLE)");
  stmt.bind("TABLE", Variant(table));
  std::vector<std::string> names;
  for (const auto &row : stmt.readAll().rows) names.push_back(row.values.front().asString());
  return names;
}

void TLocalTransaction::StartTransaction() {
  connection_.execute("BEGIN IMMEDIATE");
  active_ = true;
}

void TLocalTransaction::Commit() {
  connection_.execute("COMMIT");
  active_ = false;
}

void TLocalTransaction::Rollback() {
  if (!active_) return;
  active_ = false;
  connection_.execute("ROLLBACK");
}

TdtmDBGeral::TdtmDBGeral(std::string path) : adcGeral(std::move(path)) {}

void TdtmDBGeral::replaceTable(std::string_view table, const DataPacket &rows) {
  writeRows(table, rows, nullptr, {});
}

void TdtmDBGeral::applyChanges(std::string_view table, const DataPacket &rows, const DataPacket &removed,
                               bool whole, const std::string &mark) {
  writeRows(table, rows, whole ? nullptr : &removed, mark);
}

std::string TdtmDBGeral::cacheMark(std::string_view table) {
  LocalStatement stmt(adcGeral, "SELECT MARCA FROM KDR_CACHE_MARCA WHERE TABELA = :TABELA");
  stmt.bind("TABELA", Variant(utf8::toUpper(std::string(table))));
  const DataPacket found = stmt.readAll();
  return found.rows.empty() ? std::string() : found.rows.front().values.front().asString();
}

namespace {

// "DELETE FROM T WHERE K1 = ? AND K2 = ?", with the positions of the key fields in a packet.
struct KeyDelete {
  std::string sql;
  std::vector<int> sources;
};

KeyDelete keyDelete(const std::string &table, const std::vector<std::string> &tableColumns,
                    const DataPacket &keys, const DataPacket &rows) {
  KeyDelete out{"DELETE FROM " + quoted(table) + " WHERE ", {}};
  for (std::size_t i = 0; i < keys.fields.size(); ++i) {
    const std::string &name = keys.fields[i].name;
    const bool known = std::any_of(tableColumns.begin(), tableColumns.end(),
                                   [&](const std::string &c) { return utf8::sameText(c, name); });
    if (!known || rows.fieldIndex(name) < 0)
      throw EDatabaseError("A cópia recebida não corresponde à tabela " + table +
                           " do banco de dados local.");
    out.sql += (i ? " AND " : "") + quoted(name) + " = ?";
    out.sources.push_back(rows.fieldIndex(name));
  }
  return out;
}

void runWith(LocalStatement &stmt, const PacketRow &row, const std::vector<int> &sources) {
  for (std::size_t i = 0; i < sources.size(); ++i)
    stmt.bind(static_cast<int>(i + 1), row.values[static_cast<std::size_t>(sources[i])]);
  stmt.run();
  stmt.reset();
}

} // namespace

// Without removed keys the table is replaced whole; with them, only the keys listed and those of
// the rows sent are touched.
void TdtmDBGeral::writeRows(std::string_view table, const DataPacket &rows, const DataPacket *removed,
                            const std::string &mark) {
  const std::string name = adcGeral.tableName(table);
  if (name.empty())
    throw EDatabaseError("Tabela " + std::string(table) + " não existe no banco de dados local.");

  // The packet's columns that the local table also has, by name regardless of case.
  const std::vector<std::string> tableColumns = adcGeral.columnNames(name);
  std::vector<std::string> columns;
  std::vector<int> sources;
  for (const auto &column : tableColumns) {
    const int index = rows.fieldIndex(column);
    if (index < 0) continue;
    columns.push_back(column);
    sources.push_back(index);
  }
  std::string insert = "INSERT INTO " + quoted(name) + " (";
  std::string values;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    insert += (i ? ", " : "") + quoted(columns[i]);
    values += (i ? ", ?" : "?");
  }
  insert += ") VALUES (" + values + ")";
  if (columns.empty())
    throw EDatabaseError("A cópia recebida não corresponde à tabela " + name + " do banco de dados local.");
  std::optional<KeyDelete> byKey;
  if (removed) byKey = keyDelete(name, tableColumns, *removed, rows);

  ibtGeral.StartTransaction();
  try {
    if (byKey) {
      LocalStatement drop(adcGeral, byKey->sql);
      std::vector<int> removedSources(removed->fields.size());
      for (std::size_t i = 0; i < removedSources.size(); ++i) removedSources[i] = static_cast<int>(i);
      for (const auto &row : removed->rows) runWith(drop, row, removedSources);
      for (const auto &row : rows.rows) runWith(drop, row, byKey->sources);
    } else {
      adcGeral.execute("DELETE FROM " + quoted(name));
    }
    LocalStatement stmt(adcGeral, insert);
    for (const auto &row : rows.rows) runWith(stmt, row, sources);
    LocalStatement keep(adcGeral, "INSERT OR REPLACE INTO KDR_CACHE_MARCA (TABELA, MARCA) VALUES (?, ?)");
    keep.bind(1, Variant(utf8::toUpper(name)));
    keep.bind(2, mark.empty() ? Variant(nullptr) : Variant(mark));
    keep.run();
    ibtGeral.Commit();
  } catch (...) {
    ibtGeral.Rollback();
    throw;
  }
}

} // namespace kdr
