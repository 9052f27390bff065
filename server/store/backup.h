#pragma once
// Copies of a whole database: taken while it is served, put back while it is not. On SQLite the
// engine's online backup copies every page as of one moment, without stopping the writers; on
// PostgreSQL the engine's own tools do it (pg_dump in its custom format, pg_restore).
#include <string>

namespace kdr::server {

// Writes a copy of the database at url to file; file appears only once the copy is whole.
// Raises ServiceError with the reason in Portuguese.
void backupDatabase(const std::string &url, const std::string &file);

// Puts the copy in file back as the database at url, replacing what it holds, all or nothing.
// Refused while a server serves the database, and for a copy that is not a database of this
// server or is of a newer schema than it knows.
void restoreDatabase(const std::string &url, const std::string &file);

// A copy of a SQLite database beside it ("PATH.vN-20261208T101500.bak"), taken before its schema
// is migrated from version N; returns the copy's path.
std::string backupBeforeMigration(const std::string &path, int fromVersion);

} // namespace kdr::server
