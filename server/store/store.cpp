#include "server/store/store.h"

#include <filesystem>

#include "server/errors.h"
#include "server/log.h"
#include "server/store/backup.h"
#include "server/store/engines.h"
#include "server/store/serving_mark.h"

namespace kdr::server {

std::unique_ptr<Store> Store::connect(const std::string &url, bool serving, Decorator decorate) {
  std::function<std::unique_ptr<Session>()> connect;
  const Dialect *dialect = nullptr;
  if (url.rfind("sqlite:", 0) == 0) {
    std::string path = url.substr(7);
    if (path.empty()) refuse("Informe o arquivo do banco SQLite: --db sqlite:CAMINHO.");
    if (!serving && !std::filesystem::exists(path))
      throw ServiceError(ErrorCode::NotFound,
                         "O banco " + url +
                             " não existe; nada foi criado. Confira o caminho (um banco novo é criado ao "
                             "iniciar o servidor ou por kdr-server init --db " +
                             url + ").");
    connect = [path, use = serving ? SqliteUse::Serving : SqliteUse::Command] {
      return openSqlite(path, use);
    };
    dialect = &sqliteDialect();
  } else if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
    connect = [url, name = serving ? servingApplicationName() : ""] { return openPostgresql(url, name); };
    dialect = &postgresqlDialect();
  } else {
    refuse("Banco de dados desconhecido: use --db sqlite:CAMINHO ou --db postgresql://...");
  }
  if (decorate) connect = [connect, decorate] { return decorate(connect()); };
  return std::unique_ptr<Store>(new Store(*dialect, std::move(connect)));
}

std::unique_ptr<Store> Store::open(const std::string &url, Decorator decorate) {
  auto store = connect(url, true, std::move(decorate));
  // A migration cannot be taken back: a SQLite database gets a copy beside it first. (A
  // PostgreSQL database is copied by its administrator's own tools, docs/admin.md.)
  const int stored = store->schemaVersion();
  if (url.rfind("sqlite:", 0) == 0 && stored > 0 && stored < store->knownSchemaVersion()) {
    const std::string copy = backupBeforeMigration(url.substr(7), stored);
    logLine("schema " + std::to_string(stored) + " of " + url + " is migrated to " +
            std::to_string(store->knownSchemaVersion()) + "; copied first to " + copy);
  }
  store->migrate();
  return store;
}

std::unique_ptr<Store> Store::openExisting(const std::string &url, Schema schema) {
  auto store = connect(url, false);
  const int stored = store->schemaVersion(), known = store->knownSchemaVersion();
  if (schema == Schema::Any || stored == known) return store;
  const std::string versions = " (versão " + std::to_string(stored) +
                               " do esquema; este kdr-server usa a versão " + std::to_string(known) + ")";
  if (stored == 0)
    throw ServiceError(ErrorCode::Unavailable, "O banco não tem as tabelas do kdr-server" + versions +
                                                   ". Um banco novo é criado por kdr-server init.");
  if (stored < known)
    throw ServiceError(
        ErrorCode::Unavailable,
        "O banco é de uma versão anterior" + versions +
            ". Atualize-o iniciando o servidor novo ou com kdr-server init; nada foi alterado.");
  throw ServiceError(ErrorCode::Unavailable,
                     "O banco é de uma versão mais nova" + versions + ". Use o kdr-server que o atualizou.");
}

int Store::knownSchemaVersion() const { return static_cast<int>(dialect_.migrations().size()); }

Store::Lease Store::session() {
  {
    std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      auto s = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(s));
    }
  }
  auto s = connect_();
  std::lock_guard lock(mutex_);
  ++open_;
  return Lease(*this, std::move(s));
}

void Store::release(std::unique_ptr<Session> session) {
  if (!session) return;
  std::lock_guard lock(mutex_);
  if (session->healthy())
    idle_.push_back(std::move(session));
  else
    --open_;
}

Store::PoolUsage Store::poolUsage() {
  std::lock_guard lock(mutex_);
  return {open_, idle_.size()};
}

int Store::schemaVersion() {
  auto s = session();
  if (s->query(std::string(dialect_.countTables()), {"KDR_SCHEMA"})[0][0].asInteger() == 0) return 0;
  Rows rows = s->query("SELECT MAX(VERSION) FROM KDR_SCHEMA");
  return rows.empty() || rows[0][0].isNull() ? 0 : static_cast<int>(rows[0][0].asInteger());
}

namespace {

// Holds the dialect's migration lock for a scope; the session keeps it until released.
class MigrationLock {
public:
  explicit MigrationLock(Session &s) : session_(s) {
    if (!s.dialect().lockMigrations().empty()) session_.executeScript(s.dialect().lockMigrations());
  }
  ~MigrationLock() {
    try {
      if (!session_.dialect().unlockMigrations().empty())
        session_.executeScript(session_.dialect().unlockMigrations());
    } catch (...) {
      // A lost connection releases it by itself.
    }
  }
  MigrationLock(const MigrationLock &) = delete;
  MigrationLock &operator=(const MigrationLock &) = delete;

private:
  Session &session_;
};

} // namespace

void Store::migrate() {
  const auto &steps = dialect_.migrations();
  auto s = session();
  // A server started while another migrates waits here, then finds the schema up to date.
  MigrationLock lock(*s);
  s->executeScript("CREATE TABLE IF NOT EXISTS KDR_SCHEMA (VERSION INTEGER NOT NULL)");
  for (;;) {
    // Each step reads the version inside its own writing transaction, so two servers starting on
    // one database never apply a step twice.
    Transaction tx(*s, Transaction::Mode::Write);
    Rows rows = s->query("SELECT MAX(VERSION) FROM KDR_SCHEMA");
    int version = rows[0][0].isNull() ? 0 : static_cast<int>(rows[0][0].asInteger());
    if (version > static_cast<int>(steps.size()))
      throw ServiceError(ErrorCode::Unavailable, "O banco de dados está na versão de esquema " +
                                                     std::to_string(version) + ", mais nova que a versão " +
                                                     std::to_string(steps.size()) + " deste servidor.");
    if (version == static_cast<int>(steps.size())) return;
    s->executeScript(steps[version]);
    s->execute("INSERT INTO KDR_SCHEMA (VERSION) VALUES (?)", {version + 1});
    tx.commit();
  }
}

} // namespace kdr::server
