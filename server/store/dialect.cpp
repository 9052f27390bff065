#include "server/store/dialect.h"

#include "server/store/schema.h"

namespace kdr::server {
namespace {
class SqliteDialect final : public Dialect {
public:
  std::string_view engine() const override { return "sqlite"; }
  std::string placeholders(std::string_view sql) const override { return std::string(sql); }
  std::string_view sameValue() const override { return "IS"; }
  std::string_view beginRead() const override { return "BEGIN"; }
  // Taking the write lock at the start avoids a reader failing to upgrade under WAL.
  std::string_view beginWrite() const override { return "BEGIN IMMEDIATE"; }
  std::string_view lockWriters() const override { return {}; }
  std::string_view lockRows() const override { return {}; }
  std::string_view readAsWritten() const override { return {}; }
  // BEGIN IMMEDIATE takes the database's one write lock.
  std::string_view lockMigrations() const override { return {}; }
  std::string_view unlockMigrations() const override { return {}; }
  std::string_view countTables() const override {
    return "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND UPPER(name) = ?";
  }
  // A short text is found among the indexed runs it starts; a longer one as a phrase, which the
  // index reads as its runs in a row.
  std::string_view clientsByDigits(bool shortText) const override {
    return shortText
               ? "SELECT B.CDCLIENTE FROM (SELECT CAST(? AS TEXT) AS F) Q JOIN CLIENTE_TRIGRAMA_TERMO T "
                 "ON T.term >= Q.F AND T.term < Q.F || char(1114111) AND T.col = 'DIGITOS' "
                 "JOIN CLIENTE_BUSCA B ON B.ID = T.doc"
               : "SELECT B.CDCLIENTE FROM CLIENTE_TRIGRAMA T JOIN CLIENTE_BUSCA B ON B.ID = T.rowid "
                 "WHERE T.DIGITOS MATCH '\"' || ? || '\"'";
  }
  std::string_view foldedName() const override { return "kdr_fold(C.NMFANTCLIE)"; }
  std::string listAggregate(std::string_view expr) const override {
    return "group_concat(" + std::string(expr) + ", ', ')";
  }
  const std::vector<std::string> &migrations() const override { return sqliteMigrations(); }
};

class PostgresqlDialect final : public Dialect {
public:
  std::string_view engine() const override { return "postgresql"; }

  // "?" becomes $1, $2...; quoted text and identifiers are left alone.
  std::string placeholders(std::string_view sql) const override {
    std::string out;
    out.reserve(sql.size() + 16);
    int n = 0;
    char quote = 0;
    for (char c : sql) {
      if (quote) {
        if (c == quote) quote = 0;
        out += c;
      } else if (c == '\'' || c == '"') {
        quote = c;
        out += c;
      } else if (c == '?') {
        out += '$';
        out += std::to_string(++n);
      } else {
        out += c;
      }
    }
    return out;
  }
  std::string_view sameValue() const override { return "IS NOT DISTINCT FROM"; }
  // A reading transaction sees one moment of the database, as SQLite's does.
  std::string_view beginRead() const override { return "BEGIN ISOLATION LEVEL REPEATABLE READ"; }
  std::string_view beginWrite() const override { return "BEGIN"; }
  // Read committed: once the lock is granted, the next statement sees what its holder committed.
  std::string_view lockWriters() const override { return "SELECT pg_advisory_xact_lock(hashtext(?))"; }
  // Strong enough to keep out updates and deletions, weak enough to let a row that refers to the
  // locked one (a client's parameter row) check its reference meanwhile.
  std::string_view lockRows() const override { return " FOR NO KEY UPDATE"; }
  std::string_view readAsWritten() const override { return " OFFSET 0"; }
  // Two transactions creating one table both pass IF NOT EXISTS, and the second then fails: a
  // session-level advisory lock (an arbitrary key of this server's own) keeps migrations apart.
  std::string_view lockMigrations() const override { return "SELECT pg_advisory_lock(3020150)"; }
  std::string_view unlockMigrations() const override { return "SELECT pg_advisory_unlock(3020150)"; }
  std::string_view countTables() const override {
    return "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = current_schema() AND "
           "UPPER(table_name) = ?";
  }
  std::string_view clientsByDigits(bool shortText) const override {
    return shortText
               ? "SELECT CDCLIENTE FROM CLIENTE WHERE kdr_runs(NRINSDIGITOS, 1, 2) @> ARRAY[CAST(? AS TEXT)]"
               : "SELECT CDCLIENTE FROM CLIENTE WHERE NRINSDIGITOS LIKE '%' || ? || '%'";
  }
  // Kept folded beside the name: folding per row costs more than reading it.
  std::string_view foldedName() const override { return "C.NMFANTBUSCA"; }
  // string_agg does not keep the order of a sorted subquery: it is told it.
  std::string listAggregate(std::string_view expr) const override {
    return "string_agg(" + std::string(expr) + ", ', ' ORDER BY " + std::string(expr) + ")";
  }
  const std::vector<std::string> &migrations() const override { return postgresqlMigrations(); }
};

} // namespace

const Dialect &sqliteDialect() {
  static const SqliteDialect d;
  return d;
}

const Dialect &postgresqlDialect() {
  static const PostgresqlDialect d;
  return d;
}

} // namespace kdr::server
