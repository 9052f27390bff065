#pragma once
// Every writer of clients' billing parameters (a desktop's save, a copy, an import, an undo)
// locks the clients it writes before it reads their rows, always in client code order. Two of
// them thus never interleave on one client: the second reads what the first committed, never
// what the first is about to overwrite, and the one order keeps them from waiting on each other in
// a circle. A writer waits only for writers of the same clients, never for the whole table.
// Where a writing transaction already excludes every other writer (SQLite), they do nothing.
#include <string_view>

#include "server/store/session.h"
#include "server/store/tables.h"

namespace kdr::server {

// The clients of CLIENTE matching where (a condition on CDCLIENTE), in code order.
void lockClients(Session &s, std::string_view where, const Params &params);

// The rows of table matching where, in key order: what a writer is about to check and change
// cannot change under it, even through a writer that takes no client lock.
void lockTableRows(Session &s, const Table &table, std::string_view where, const Params &params);

} // namespace kdr::server
