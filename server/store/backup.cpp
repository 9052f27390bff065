#include "server/store/backup.h"

#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "server/errors.h"
#include "server/store/dialect.h"
#include "server/store/serving_mark.h"
#include "server/store/store.h"

extern char **environ;

namespace kdr::server {
namespace {

bool isSqlite(const std::string &url) { return url.rfind("sqlite:", 0) == 0; }

struct SqliteCloser {
  void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

SqliteHandle openRaw(const std::string &path, int flags) {
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  SqliteHandle handle(db);
  if (rc != SQLITE_OK)
    throw ServiceError(ErrorCode::Unavailable, "Não foi possível abrir " + path + ": " +
                                                   (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + ".");
  sqlite3_busy_timeout(db, 10000);
  return handle;
}

// Every page of from's database into to's, as of one moment of from: the engine's online backup,
// in one step, so that it reads one snapshot (writers go on meanwhile; the copy does not see them).
void copyPages(sqlite3 *from, sqlite3 *to, const std::string &what) {
  sqlite3_backup *backup = sqlite3_backup_init(to, "main", from, "main");
  if (!backup) throw ServiceError(ErrorCode::Unavailable, what + ": " + sqlite3_errmsg(to) + ".");
  int rc;
  while ((rc = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(50);
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) throw ServiceError(ErrorCode::Unavailable, what + ": " + sqlite3_errstr(rc) + ".");
}

// The copy is written beside its final name and renamed once whole, so that a copy cut short
// (a full disk, a killed command) never passes for a good one.
void sqliteCopyTo(const std::string &path, const std::string &file) {
  const std::string partial = file + ".partial";
  std::filesystem::remove(partial);
  {
    SqliteHandle from = openRaw(path, SQLITE_OPEN_READONLY);
    SqliteHandle to = openRaw(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    copyPages(from.get(), to.get(), "A cópia de " + path + " falhou");
  }
  std::filesystem::rename(partial, file);
}

// The schema version a SQLite copy holds; 0 when it is not a database of this server.
int copyVersion(const std::string &file) {
  SqliteHandle db = openRaw(file, SQLITE_OPEN_READONLY);
  sqlite3_stmt *stmt = nullptr;
  int version = 0;
  if (sqlite3_prepare_v2(db.get(), "SELECT MAX(VERSION) FROM KDR_SCHEMA", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW)
    version = sqlite3_column_int(stmt, 0);
  sqlite3_finalize(stmt);
  return version;
}

// Runs one of PostgreSQL's tools; its messages go to our stderr.
void runTool(const std::vector<std::string> &args) {
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    throw ServiceError(ErrorCode::Unavailable, "Não foi possível executar " + args[0] +
                                                   " (instale o cliente do PostgreSQL: postgresql-client).");
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw ServiceError(ErrorCode::Unavailable,
                       args[0] + " falhou (veja a mensagem acima); nada foi alterado.");
}

} // namespace

void backupDatabase(const std::string &url, const std::string &file) {
  if (isSqlite(url)) {
    Store::openExisting(url, Store::Schema::Any); // says what is wrong with a missing database
    sqliteCopyTo(url.substr(7), file);
    return;
  }
  const std::string partial = file + ".partial";
  runTool({"pg_dump", "--format=custom", "--file=" + partial, "--dbname=" + url});
  std::filesystem::rename(partial, file);
}

void restoreDatabase(const std::string &url, const std::string &file) {
  if (!std::filesystem::is_regular_file(file))
    throw ServiceError(ErrorCode::NotFound, "A cópia " + file + " não existe.");
  if (isSqlite(url)) {
    const int version = copyVersion(file), known = static_cast<int>(sqliteDialect().migrations().size());
    if (version == 0) refuse(file + " não é uma cópia de um banco do kdr-server.");
    if (version > known)
      refuse("A cópia " + file + " é da versão " + std::to_string(version) +
             " do esquema, mais nova que a versão " + std::to_string(known) + " deste kdr-server.");
    ServingMark restoring(url, ServingMark::Kind::Restoring);
    SqliteHandle from = openRaw(file, SQLITE_OPEN_READONLY);
    SqliteHandle to = openRaw(url.substr(7), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    copyPages(from.get(), to.get(), "A restauração de " + file + " falhou");
    return;
  }
  auto store = Store::openExisting(url, Store::Schema::Any);
  if (ServingMark::servers(*store, url) > 0)
    throw ServiceError(ErrorCode::Unavailable,
                       "O banco está em uso por um servidor; pare-o antes de restaurar.");
  runTool({"pg_restore", "--clean", "--if-exists", "--no-owner", "--single-transaction", "--dbname=" + url,
           file});
}

std::string backupBeforeMigration(const std::string &path, int fromVersion) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &tm);
  const std::string file = path + ".v" + std::to_string(fromVersion) + "-" + stamp + ".bak";
  sqliteCopyTo(path, file);
  return file;
}

} // namespace kdr::server
