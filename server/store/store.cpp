#include "server/store/store.h"

#include "server/errors.h"
#include "server/store/engines.h"

namespace kdr::server {

std::unique_ptr<Store> Store::open(const std::string &url, Decorator decorate) {
  std::function<std::unique_ptr<Session>()> connect;
  const Dialect *dialect = nullptr;
  if (url.rfind("sqlite:", 0) == 0) {
    std::string path = url.substr(7);
    if (path.empty()) refuse("Informe o arquivo do banco SQLite: --db sqlite:CAMINHO.");
    connect = [path] { return openSqlite(path); };
    dialect = &sqliteDialect();
  } else if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
    connect = [url] { return openPostgresql(url); };
    dialect = &postgresqlDialect();
  } else {
    refuse("Banco de dados desconhecido: use --db sqlite:CAMINHO ou --db postgresql://...");
  }
  if (decorate) connect = [connect, decorate] { return decorate(connect()); };
  std::unique_ptr<Store> store(new Store(*dialect, std::move(connect)));
  store->migrate();
  return store;
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
  return Lease(*this, connect_());
}

void Store::release(std::unique_ptr<Session> session) {
  if (!session || !session->healthy()) return;
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(session));
}

int Store::schemaVersion() {
  auto s = session();
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
