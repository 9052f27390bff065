#pragma once
// The host's configuration as the module sees it (where the application server is) and the
// refresh of the local database's cached tables from the server's snapshot service.
#include <cstddef>
#include <string>

#include "platform/rtl/variant.h"

namespace kdr::Zelnor {

// Filled by kdr-host from its command line and environment before any screen opens.
struct HostConfig {
  std::string webUrl = "127.0.0.1";
  int webPort = 0;
  std::string token;                 // sent to the server when not empty
  std::string user;                  // the desktop's user name, sent with every call
  std::size_t cachePageRows = 10000; // rows of a cached table per answer of the server
};
extern HostConfig config;

std::string WebURL();
int WebPort();
// The token a server started with one expects; empty when it asks for none.
std::string WebToken();
// Who uses this desktop, for the server's history of changes.
std::string WebUser();

// For each table named in the array (a single name is accepted too), asks the server for what
// changed since the local copy's last refresh (the whole table when there is none), in pages,
// and applies it, each table in one transaction with its new mark. Raises EDatabaseError with a message for
// the user when the server refuses or cannot be reached, or the local file fails; tables refreshed before the
// failure keep their new rows.
void AtualizaLocalCache(const Variant &tableNames);

} // namespace kdr::Zelnor
