#pragma once
// The database behind the remote modules: a pool of sessions of one engine, opened and migrated
// from a URL ("sqlite:PATH" or "postgresql://..."). Each request borrows a session for its span.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/store/session.h"

namespace kdr::server {

class Store {
public:
  // Schema version this server knows; a database at a newer one is refused.
  int knownSchemaVersion() const;

  // Wraps each new connection, e.g. to fail a chosen statement and see that nothing is left
  // half-written; a null one leaves them as the engine makes them.
  using Decorator = std::function<std::unique_ptr<Session>(std::unique_ptr<Session>)>;

  // Opens, creates and migrates: what the server's start and "kdr-server init" do. Raises
  // ServiceError with the reason in Portuguese and the engine's text in the message of EngineError.
  static std::unique_ptr<Store> open(const std::string &url, Decorator decorate = nullptr);

  enum class Schema { Current, Any };
  // What the administrator's commands do: opens a database that exists, creating nothing and
  // migrating nothing. With Schema::Current a database at another schema version than this
  // server's is refused, naming both versions. Raises ServiceError naming what is missing.
  static std::unique_ptr<Store> openExisting(const std::string &url, Schema schema = Schema::Current);

  class Lease {
  public:
    Lease(Store &store, std::unique_ptr<Session> session) : store_(store), session_(std::move(session)) {}
    ~Lease() { store_.release(std::move(session_)); }
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;
    Session &operator*() { return *session_; }
    Session *operator->() { return session_.get(); }

  private:
    Store &store_;
    std::unique_ptr<Session> session_;
  };

  Lease session();

  // The pool: connections open (lent or idle) and idle ones.
  struct PoolUsage {
    std::size_t open = 0, idle = 0;
  };
  PoolUsage poolUsage();
  const Dialect &dialect() const { return dialect_; }
  // The version the database is at; 0 for a database without this server's tables.
  int schemaVersion();

private:
  Store(const Dialect &dialect, std::function<std::unique_ptr<Session>()> connect)
      : dialect_(dialect), connect_(std::move(connect)) {}
  // serving: the store of a server (or of init), which creates a missing SQLite file and names
  // its PostgreSQL connections as a server's (ServingMark); else neither.
  static std::unique_ptr<Store> connect(const std::string &url, bool serving, Decorator decorate = nullptr);
  void release(std::unique_ptr<Session> session);
  void migrate();

  const Dialect &dialect_;
  std::function<std::unique_ptr<Session>()> connect_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Session>> idle_;
  std::size_t open_ = 0; // under mutex_
};

} // namespace kdr::server
