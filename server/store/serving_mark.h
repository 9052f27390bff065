#pragma once
// Whether a server is serving a database, so that "status" can say it and a restore can refuse to
// pull the database from under it. On SQLite every server holds a shared lock on the file
// PATH.serving for as long as it runs (the system drops it when the process ends, however it
// ends); a restore holds it exclusively, so no server starts in the middle. On PostgreSQL the
// connections of a server carry its name, "kdr-server PID@HOST", in the engine's list of
// connections.
#include <string>

#include "server/store/store.h"

namespace kdr::server {

// The name this process's serving connections give PostgreSQL.
std::string servingApplicationName();

class ServingMark {
public:
  enum class Kind { Serving, Restoring };
  // Serving: taken by the server at its start. Restoring: refused (ServiceError) while a server
  // serves the database. Nothing to take on PostgreSQL.
  ServingMark(const std::string &url, Kind kind);
  ~ServingMark();
  ServingMark(const ServingMark &) = delete;
  ServingMark &operator=(const ServingMark &) = delete;

  // How many servers serve the database (on SQLite 1 stands for "one or more"); this process's own
  // connections are counted too.
  static int servers(Store &store, const std::string &url);

private:
  int fd_ = -1;
};

} // namespace kdr::server
