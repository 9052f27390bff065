#pragma once
// Opening a connection of each engine. Failures raise EngineError with the engine's own text.
#include <memory>
#include <string>

#include "server/store/session.h"

namespace kdr::server {

// create: make the file when it does not exist; without it, a missing file is an error.
std::unique_ptr<Session> openSqlite(const std::string &path, bool create = true);
// applicationName: how the connection is listed among the engine's connections (empty: unnamed).
std::unique_ptr<Session> openPostgresql(const std::string &conninfo, const std::string &applicationName = {});

} // namespace kdr::server
