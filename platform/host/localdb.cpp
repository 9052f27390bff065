#include "platform/host/localdb.h"

#include <sqlite3.h>

#include "platform/host/local_statement.h"
#include "platform/host/local_table_load.h"
#include "platform/host/local_text_index.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"
#include "platform/sqlite/folding.h"

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
-- The lists of clients show them by registration number, a page at a time.
CREATE INDEX IF NOT EXISTS CLIENTE_INSCRICAO ON CLIENTE (NRINSJURCLIE);
CREATE INDEX IF NOT EXISTS PARCLIEKDR_CHAVE ON PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA);
CREATE TABLE IF NOT EXISTS KDR_CACHE_MARCA (
  TABELA VARCHAR(30) PRIMARY KEY,
  MARCA VARCHAR(100));
)sql";

} // namespace

TLocalConnection::TLocalConnection(std::string path) : path_(std::move(path)) {
  if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw EDatabaseError("Não foi possível abrir o banco de dados local " + path_ + ".");
  }
  sqlite3_busy_timeout(db_, 5000);
  sqlite::addFolding(db_);
  // A cache that the server can always rebuild: the write-ahead log without a sync per commit.
  execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL");
  execute(schema);
  addTextIndexes(*this);
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

TdtmDBGeral::TdtmDBGeral(std::string path) : adcGeral(std::move(path)) {
  adcGeral.awaitFirstLoads(&firstLoads);
}

void TdtmDBGeral::replaceTable(std::string_view table, const DataPacket &rows) {
  LocalTableLoad load(adcGeral, table, rows.fields, {});
  load.clear();
  load.write(rows, false);
  load.commit({});
}

void TdtmDBGeral::applyChanges(std::string_view table, const DataPacket &rows, const DataPacket &removed,
                               bool whole, const std::string &mark) {
  LocalTableLoad load(adcGeral, table, rows.fields, removed.fields);
  if (whole)
    load.clear();
  else
    load.remove(removed);
  load.write(rows, !whole);
  load.commit(mark);
}

std::string TdtmDBGeral::cacheMark(std::string_view table) { return LocalTableLoad::markOf(adcGeral, table); }

} // namespace kdr
