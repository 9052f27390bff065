#pragma once
// Opening a connection of each engine. Failures raise EngineError with the engine's own text.
#include <memory>
#include <string>

#include "server/store/session.h"

namespace kdr::server {

std::unique_ptr<Session> openSqlite(const std::string &path);
std::unique_ptr<Session> openPostgresql(const std::string &conninfo);

} // namespace kdr::server
