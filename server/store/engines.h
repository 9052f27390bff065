#pragma once
// Opening a connection of each engine. Failures raise EngineError with the engine's own text.
#include <memory>
#include <string>

#include "server/store/session.h"

namespace kdr::server {

// Who opens a SQLite connection. The server creates the file when it does not exist and reads it
// through a memory map its connections share, so that a lookup in a large table costs about what
// it costs in a small one. An administrator's command needs the file to exist and reads through
// the connection's own small cache: a pass over a whole table (an import, an export) then holds
// none of the file's pages, and its memory does not grow with the database.
enum class SqliteUse { Serving, Command };
std::unique_ptr<Session> openSqlite(const std::string &path, SqliteUse use = SqliteUse::Serving);
// applicationName: how the connection is listed among the engine's connections (empty: unnamed).
std::unique_ptr<Session> openPostgresql(const std::string &conninfo, const std::string &applicationName = {});

} // namespace kdr::server
