#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/rtl/utf8.h"
#include "platform/sqlite/folding.h"
#include "platform/sqlite/values.h"
#include "server/errors.h"
#include "server/store/engines.h"

namespace kdr::server {
namespace {

void digitsFunction(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
  std::string out;
  for (const char *p = text; p && *p; ++p)
    if (*p >= '0' && *p <= '9') out += *p;
  sqlite3_result_text(ctx, out.c_str(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// Statements are looked up by their text on every call; the lookup need not copy it.
struct SqlHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view sql) const { return std::hash<std::string_view>{}(sql); }
};

// The connection and each statement close with their owner, even when the constructor fails after
// opening (a file that is not a database fails the first PRAGMA, not the opening).
struct CloseConnection {
  void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt *stmt) const { sqlite3_finalize(stmt); }
};

// The row a statement stands on, read in place: a text is SQLite's own until the next step.
class StatementValues final : public RowValues {
public:
  explicit StatementValues(sqlite3_stmt *stmt) : stmt_(stmt) {}
  std::size_t size() const override { return static_cast<std::size_t>(sqlite3_column_count(stmt_)); }
  Kind kind(std::size_t i) const override {
    switch (sqlite3_column_type(stmt_, index(i))) {
    case SQLITE_NULL:
      return Kind::Null;
    case SQLITE_INTEGER:
      return Kind::Integer;
    case SQLITE_FLOAT:
      return Kind::Float;
    default:
      return Kind::Text;
    }
  }
  bool boolean(std::size_t i) const override { return integer(i) != 0; }
  std::int64_t integer(std::size_t i) const override { return sqlite3_column_int64(stmt_, index(i)); }
  double real(std::size_t i) const override { return sqlite3_column_double(stmt_, index(i)); }
  std::string_view text(std::size_t i) const override { return sqlite::columnText(stmt_, index(i)); }

private:
  static int index(std::size_t i) { return static_cast<int>(i); }
  sqlite3_stmt *stmt_;
};

class SqliteSession final : public Session {
public:
  SqliteSession(const std::string &path, SqliteUse use)
      : Session(sqliteDialect()), mapped_(use == SqliteUse::Serving) {
    // Memory statistics take a process-wide lock on every allocation and nothing here reads
    // them. Only possible before the library's first use in the process; later calls are refused
    // by the library and change nothing.
    static const int noMemoryStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)noMemoryStatistics;
    sqlite3 *opened = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &opened,
                             SQLITE_OPEN_READWRITE | (use == SqliteUse::Serving ? SQLITE_OPEN_CREATE : 0) |
                                 SQLITE_OPEN_NOMUTEX,
                             nullptr);
    db_.reset(opened);
    if (rc != SQLITE_OK) {
      std::string text = db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(rc);
      throw EngineError("sqlite " + path + ": " + text, EngineError::Kind::Unavailable);
    }
    sqlite3_busy_timeout(db_.get(), 10000);
    // Tells a duplicate key from the other constraints.
    sqlite3_extended_result_codes(db_.get(), 1);
    sqlite3_create_function(db_.get(), "kdr_digits", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            digitsFunction, nullptr, nullptr);
    sqlite::addFolding(db_.get());
    executeScript("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL;");
    // The server's pages are read through a memory map of the file: the system's page cache,
    // shared by every connection, serves them without a copy into each connection's own cache.
    if (mapped_) mapPages(true);
  }

  Rows query(std::string_view sql, const Params &params) override {
    Rows rows;
    scan(sql, params, [&rows](Row &row) { rows.push_back(std::move(row)); });
    return rows;
  }

  void scan(std::string_view sql, const Params &params, const std::function<void(Row &)> &visit) override {
    Row row;
    stepThrough(prepare(sql, params), [&](sqlite3_stmt *stmt) {
      // Counted once stepped: a statement prepared before another connection changed the table
      // is prepared anew by the step.
      const int n = sqlite3_column_count(stmt);
      row.clear();
      row.reserve(n);
      for (int i = 0; i < n; ++i) row.push_back(sqlite::column(stmt, i));
      visit(row);
    });
  }

  void scanValues(std::string_view sql, const Params &params,
                  const std::function<void(const RowValues &)> &visit) override {
    sqlite3_stmt *stmt = prepare(sql, params);
    const StatementValues row(stmt);
    stepThrough(stmt, [&](sqlite3_stmt *) { visit(row); });
  }

  std::int64_t execute(std::string_view sql, const Params &params) override {
    sqlite3_stmt *stmt = prepare(sql, params);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    finish(stmt, rc);
    return sqlite3_changes64(db_.get());
  }

  // A page read through the memory map is first looked up in the write-ahead log's index, even
  // when the connection's cache holds it, and the lookup costs more with every page the open
  // transaction has written to the log. Over a long write the map would thus make each read
  // slower than the one before, so such a write reads through the connection's cache, where only
  // a page the cache does not hold is looked up.
  void longWrite(bool starting) override {
    if (mapped_) mapPages(!starting);
  }

  void executeScript(std::string_view sql) override {
    char *err = nullptr;
    int rc = sqlite3_exec(db_.get(), std::string(sql).c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
      std::string text = err ? err : sqlite3_errstr(rc);
      sqlite3_free(err);
      fail(rc, text);
    }
  }

private:
  void mapPages(bool on) { executeScript(on ? "PRAGMA mmap_size=1073741824;" : "PRAGMA mmap_size=0;"); }

  // Runs the prepared statement, handing each row it stands on to onRow; a failure in onRow
  // leaves the statement reset for its next run.
  template <class OnRow> void stepThrough(sqlite3_stmt *stmt, OnRow &&onRow) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      try {
        onRow(stmt);
      } catch (...) {
        clear(stmt);
        throw;
      }
    }
    finish(stmt, rc);
  }

  sqlite3_stmt *prepare(std::string_view sql, const Params &params) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
      sqlite3_stmt *stmt = nullptr;
      int rc = sqlite3_prepare_v3(db_.get(), sql.data(), static_cast<int>(sql.size()),
                                  SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
      if (rc != SQLITE_OK) fail(rc, sqlite3_errmsg(db_.get()));
      it = statements_.emplace(std::string(sql), Statement(stmt)).first;
    }
    sqlite3_stmt *stmt = it->second.get();
    for (std::size_t i = 0; i < params.size(); ++i) bind(stmt, static_cast<int>(i + 1), params[i]);
    return stmt;
  }

  // Text is borrowed: the caller's parameters outlive the run, which ends in a reset.
  void bind(sqlite3_stmt *stmt, int index, const Variant &v) {
    int rc;
    try {
      rc = sqlite::bind(stmt, index, v, sqlite::Text::Borrowed);
    } catch (const EDatabaseError &) {
      clear(stmt);
      throw EngineError("cannot bind " + v.debugString());
    }
    if (rc != SQLITE_OK) {
      std::string text = sqlite3_errmsg(db_.get());
      clear(stmt);
      fail(rc, text);
    }
  }

  static void clear(sqlite3_stmt *stmt) {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
  }

  void finish(sqlite3_stmt *stmt, int rc) {
    std::string text = rc == SQLITE_DONE ? std::string() : sqlite3_errmsg(db_.get());
    clear(stmt);
    if (rc != SQLITE_DONE) fail(rc, text);
  }

  [[noreturn]] static void fail(int rc, const std::string &text) {
    int primary = rc & 0xff;
    auto kind = rc == SQLITE_CONSTRAINT_PRIMARYKEY || rc == SQLITE_CONSTRAINT_UNIQUE
                    ? EngineError::Kind::Duplicate
                : primary == SQLITE_CONSTRAINT                       ? EngineError::Kind::Constraint
                : primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? EngineError::Kind::Unavailable
                                                                     : EngineError::Kind::Other;
    throw EngineError("sqlite: " + text, kind);
  }

  using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;
  // Declared after the connection, so the statements are finalized before it closes.
  std::unique_ptr<sqlite3, CloseConnection> db_;
  std::unordered_map<std::string, Statement, SqlHash, std::equal_to<>> statements_;
  const bool mapped_; // a serving connection, whose pages are read through the memory map
};

} // namespace

std::unique_ptr<Session> openSqlite(const std::string &path, SqliteUse use) {
  return std::make_unique<SqliteSession>(path, use);
}

} // namespace kdr::server
