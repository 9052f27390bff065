#pragma once
// Each engine's numbered migrations: the business tables, the change numbers of the cached tables,
// the client search index and the change history. Migration n (1-based) is element n-1; the schema
// version of a database is the number applied. A migration a stored database ran never changes.
#include <string>
#include <vector>

namespace kdr::server {

const std::vector<std::string> &sqliteMigrations();
const std::vector<std::string> &postgresqlMigrations();

} // namespace kdr::server
