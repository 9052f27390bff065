#pragma once
// A scratch database for a test's server: a temporary SQLite file, or a new PostgreSQL database in
// the cluster KDR_TEST_PG names (none when it is unset: available() is false), removed at the end.
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace kdr::test {

class ScratchDatabase {
public:
  explicit ScratchDatabase(const std::string &engine) {
    static std::atomic<int> counter{0};
    std::string unique = std::to_string(::getpid()) + "_" + std::to_string(counter++);
    if (engine == "sqlite") {
      // A folder of its own, never one a process of the same number left behind (killed before
      // it removed it): that one's database would be taken as this test's.
      std::string pattern = (std::filesystem::temp_directory_path() / "kdr_scratch_XXXXXX").string();
      if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
      dir_ = pattern;
      url_ = "sqlite:" + (dir_ / "kdr.db").string();
      return;
    }
    const char *pg = std::getenv("KDR_TEST_PG");
    if (!pg || !*pg) return;
    adminUrl_ = pg;
    name_ = "kdr_test_" + unique;
    adminExec("CREATE DATABASE " + name_ + " ENCODING 'UTF8' TEMPLATE template0");
    url_ = withDatabase(adminUrl_, name_);
  }
  ~ScratchDatabase() {
    if (!dir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
    if (!name_.empty()) {
      try {
        adminExec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
      } catch (...) {
      }
    }
  }
  ScratchDatabase(const ScratchDatabase &) = delete;
  ScratchDatabase &operator=(const ScratchDatabase &) = delete;

  const std::string &url() const { return url_; }
  bool available() const { return !url_.empty(); }

private:
  void adminExec(const std::string &sql) const {
    PGconn *c = PQconnectdb(adminUrl_.c_str());
    if (PQstatus(c) != CONNECTION_OK) {
      std::string why = PQerrorMessage(c);
      PQfinish(c);
      throw std::runtime_error("KDR_TEST_PG: " + why);
    }
    PGresult *r = PQexec(c, sql.c_str());
    bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    std::string why = PQresultErrorMessage(r);
    PQclear(r);
    PQfinish(c);
    if (!ok) throw std::runtime_error(sql + ": " + why);
  }

  // The same URL naming another database: the path segment before any "?".
  static std::string withDatabase(const std::string &url, const std::string &name) {
    std::size_t query = url.find('?');
    std::size_t slash = url.rfind('/', query == std::string::npos ? url.size() : query);
    return url.substr(0, slash + 1) + name + (query == std::string::npos ? "" : url.substr(query));
  }

  std::string url_;
  std::filesystem::path dir_;
  std::string adminUrl_, name_;
};

} // namespace kdr::test
