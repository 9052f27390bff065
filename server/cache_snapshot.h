#pragma once
// The host's snapshot service "KDR.rdmCache": a whole table, as a data packet, for the host's
// local cache. Only the tables the host keeps a copy of are served.
#include <string>

#include "server/session.h"

namespace kdr::server::rdmCache {

// Raises ServiceError(NotFound) for a table outside the list.
Variant GetTable(Session &s, const std::string &name);

} // namespace kdr::server::rdmCache
