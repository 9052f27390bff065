#include "server/store/serving_mark.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>

#include "server/errors.h"

namespace kdr::server {
namespace {

// The mark's file beside a SQLite database; empty for PostgreSQL.
std::string markPath(const std::string &url) {
  return url.rfind("sqlite:", 0) == 0 ? url.substr(7) + ".serving" : std::string();
}

} // namespace

std::string servingApplicationName() {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  std::string name = "kdr-server " + std::to_string(::getpid()) + "@";
  for (const char *c = host; *c; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c)) || *c == '-' || *c == '.') name += *c;
  return name.substr(0, 63); // the longest name PostgreSQL keeps
}

ServingMark::ServingMark(const std::string &url, Kind kind) {
  const std::string path = markPath(url);
  if (path.empty()) return;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) throw ServiceError(ErrorCode::Unavailable, "Não foi possível criar " + path + ".");
  if (::flock(fd_, (kind == Kind::Serving ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0) return;
  ::close(fd_);
  fd_ = -1;
  throw ServiceError(ErrorCode::Unavailable,
                     kind == Kind::Serving
                         ? "O banco " + url +
                               " está sendo restaurado; inicie o servidor depois da restauração."
                         : "O banco " + url + " está em uso por um servidor; pare-o antes de restaurar.");
}

ServingMark::~ServingMark() {
  if (fd_ >= 0) ::close(fd_);
}

int ServingMark::servers(Store &store, const std::string &url) {
  const std::string path = markPath(url);
  if (path.empty()) {
    auto s = store.session();
    return static_cast<int>(s->query("SELECT COUNT(DISTINCT application_name) FROM pg_stat_activity WHERE "
                                     "datname = current_database() AND application_name LIKE ?",
                                     {"kdr-server %"})[0][0]
                                .asInteger());
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free ? 0 : 1;
}

} // namespace kdr::server
