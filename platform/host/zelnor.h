#pragma once
// The host's configuration as the module sees it (where the application server is) and the
// refresh of the local database's cached tables from the server's snapshot service.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/netconnection.h"
#include "platform/rtl/variant.h"

namespace kdr::Zelnor {

// Filled by kdr-host from its command line and environment before any screen opens.
struct HostConfig {
  std::string webUrl = "127.0.0.1";
  int webPort = 0;
  bool tls = false;                        // HTTPS, verifying the server's certificate
  std::string caFile;                      // the authority that signed it, when not one of the system's
  std::string token;                       // the server's machine token, for the cache when nobody signed in
  std::string session;                     // the signed-in operator's key, sent with every call
  std::string user;                        // the signed-in operator's code
  std::vector<std::string> authorisations; // the codes the operator's groups hold
  // Rows of a cached table per answer of the server. An answer is held whole twice while it is
  // written (its text and its rows): small answers keep the desktop's memory low while a copy
  // loads behind the screens, at one more round trip per 2000 rows.
  std::size_t cachePageRows = 2000;
  // Asks the operator's password again after the session ended (kdr-host's sign-in dialog);
  // true once config.session holds a new key.
  std::function<bool()> renewSession;
};
extern HostConfig config;

std::string WebURL();
int WebPort();
// The token a server started with one expects; empty when it asks for none.
std::string WebToken();
// The signed-in operator's code.
std::string WebUser();

// The one place that points a connection at the application server: address, the session's key
// (else the machine token) and, for the desktop's own connections, asking the password again when
// the session has ended. Every screen, the cache refresh and the background load go through it.
void PointAtServer(TNetConnection &connection, const HostConfig &server = config, bool askAgain = true);

// Signs in on the server of config and keeps the session, the operator and its authorisations
// in config. Raises EDatabaseError with the server's message.
void SignIn(const std::string &operatorCode, const std::string &password);
// True when the signed-in operator holds the code.
bool Holds(std::string_view code);

// For each table named in the array (a single name is accepted too), asks the server for what
// changed since the local copy's last refresh (the whole table when there is none), in pages,
// and applies it, each table in one transaction with its new mark. Raises EDatabaseError with a message for
// the user when the server refuses or cannot be reached, or the local file fails; tables refreshed before the
// failure keep their new rows.
void AtualizaLocalCache(const Variant &tableNames);

} // namespace kdr::Zelnor
