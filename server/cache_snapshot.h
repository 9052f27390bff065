#pragma once
// The host's snapshot service "KDR.rdmCache": the tables the host keeps a copy of, whole or as
// what changed since the host's last refresh.
#include <string>

#include "server/session.h"

namespace kdr::server::rdmCache {

// The whole table as a data packet in JSON text, in key order. Raises ServiceError(NotFound) for
// a table outside the list.
std::string GetTable(Session &s, const std::string &name);

// What changed since the mark of an earlier answer ("" for none): an array of the new mark, "T"
// when the rows are the whole table (the mark was empty, of another database or unknown), the
// rows written since then (whole, in key order) and the keys removed since then (a packet of the
// key fields). The mark is opaque to the host.
Variant GetChanges(Session &s, const std::string &name, const std::string &mark);

} // namespace kdr::server::rdmCache
