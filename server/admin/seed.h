#pragma once
// Data for a new database: the small demo group the README and the scenarios rely on, or many
// generated clients for benchmarks. Both fill only an empty database.
#include <cstdint>

#include "server/store/session.h"

namespace kdr::server {

// False when the database already holds clients (nothing is written then). Without the demo
// operators' passwords for a database of a schema older than passwords.
bool seedDemo(Session &s, bool withPasswords = true);
// Clients "1".."n": client "1" has all six billing types, the others types 1 and 3.
bool seedBulk(Session &s, std::int64_t n);

} // namespace kdr::server
