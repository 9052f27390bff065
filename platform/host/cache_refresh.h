#pragma once
// Brings a cached table of the local file up to the server's, asking the snapshot service for
// what changed since the copy's mark in pages, so that neither side ever holds a large table
// whole. All pages land in one local transaction with the new mark: a refresh that fails part
// way (the server gone, a refused page, the local file) leaves the previous copy as it was.
#include <cstddef>
#include <functional>
#include <string>

#include "platform/host/localdb.h"
#include "platform/net/netconnection.h"

namespace kdr {

// The server's table-snapshot service and its paged method: GetChangesPage(name, mark, position,
// page rows) answers [mark, "T" when whole, rows, removed keys, position of the next page].
inline constexpr const char *snapshotServer = "KDR.rdmCache";
inline constexpr const char *snapshotPageMethod = "GetChangesPage";
// GetRowCount(name) answers how many rows the table holds now.
inline constexpr const char *snapshotCountMethod = "GetRowCount";

struct CacheRefreshOptions {
  std::size_t pageRows = 10000;
  // Runs after each page is written, with the rows it brought, before the next is asked for.
  std::function<void(std::size_t rows)> afterPage;
};

// Raises EDatabaseError with a message for the user naming the table.
void refreshCachedTable(TNetConnection &server, TLocalConnection &local, const std::string &table,
                        const CacheRefreshOptions &options = {});

} // namespace kdr
