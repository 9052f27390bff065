#pragma once
// The host's snapshot service "KDR.rdmCache": the tables the host keeps a copy of, whole or as
// what changed since the host's last refresh.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/store/session.h"

namespace kdr::server::rdmCache {

// The whole table as a data packet in JSON text, in key order. Raises ServiceError(NotFound) for
// a table outside the list.
std::string GetTable(Session &s, const std::string &name);

// What changed since the mark of an earlier answer ("" for none): an array of the new mark, "T"
// when the rows are the whole table (the mark was empty, of another database or unknown), the
// rows written since then (whole, in key order) and the keys removed since then (a packet of the
// key fields). The mark is opaque to the host.
Variant GetChanges(Session &s, const std::string &name, const std::string &mark);

// The largest page GetChangesPage answers.
inline constexpr std::size_t maxPageRows = 50000;

// GetChanges in pages of at most size rows (a text of digits), so that no answer holds a large
// table whole. The position is "" for the first page and, for each next one, the text the
// previous page ended with. The answer is GetChanges's array plus that text ("" on the last
// page). A whole table comes in key order, changes in the order of their change numbers; the
// removed keys come with the first page. Each page reads its own moment of the database and
// answers the mark of that moment.
Variant GetChangesPage(Session &s, const std::string &name, const std::string &mark,
                       const std::string &position, const std::string &size);

// How many rows the table holds now, so that a desktop loading it whole can tell how far it got.
std::int64_t GetRowCount(Session &s, const std::string &name);

} // namespace kdr::server::rdmCache
