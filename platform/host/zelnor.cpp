#include "platform/host/zelnor.h"

#include <algorithm>

#include "platform/host/cache_refresh.h"
#include "platform/host/localdb.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr::Zelnor {

HostConfig config;

std::string WebURL() { return config.webUrl; }
int WebPort() { return config.webPort; }
std::string WebToken() { return config.token; }
std::string WebUser() { return config.user; }

namespace {

// Asks once at a time: a screen that calls the server again while the dialog closes (its
// activation reloads) is not asked about in a dialog of its own.
bool askedAgain() {
  static bool asking = false;
  if (asking || !config.renewSession) return false;
  asking = true;
  struct Done {
    ~Done() { asking = false; }
  } done;
  return config.renewSession();
}

} // namespace

void PointAtServer(TNetConnection &connection, const HostConfig &server, bool askAgain) {
  connection.HostName = server.webUrl;
  connection.Port = server.webPort;
  connection.UseTls = server.tls;
  connection.CaFile = server.caFile;
  connection.Token = server.session.empty() ? server.token : server.session;
  if (!askAgain) return;
  connection.OnSessionExpired = [](TNetConnection &c) {
    // Someone signed in at this desktop since the connection took its key: it takes the new one
    // without asking anybody; otherwise the operator is asked for the password again.
    const bool signedInSince = !config.session.empty() && c.Token != config.session;
    if (!signedInSince && !askedAgain()) return false;
    c.Token = config.session;
    return true;
  };
}

void SignIn(const std::string &operatorCode, const std::string &password) {
  TNetConnection connection;
  PointAtServer(connection, config, false);
  TNetConnection::SessionGrant grant = connection.OpenSession(operatorCode, password);
  // Another operator at the same desktop: the previous session is of no more use.
  if (!config.session.empty()) connection.CloseSession();
  config.session = grant.key;
  config.user = grant.operatorCode;
  config.authorisations = grant.authorisations;
}

bool Holds(std::string_view code) {
  return std::find(config.authorisations.begin(), config.authorisations.end(), code) !=
         config.authorisations.end();
}

namespace {

std::vector<std::string> namesOf(const Variant &tableNames) {
  std::vector<std::string> names;
  if (tableNames.isArray())
    for (const auto &name : tableNames.array()) names.push_back(name.asString());
  else if (!tableNames.isEmpty())
    names.push_back(tableNames.asString());
  return names;
}

} // namespace

void AtualizaLocalCache(const Variant &tableNames) {
  if (dtmDBGeral == nullptr) throw EDatabaseError("Banco de dados local não está aberto.");
  // A first copy still loading holds the local file's write lock, and this refresh would only
  // repeat its work: it ends first.
  dtmDBGeral->firstLoads.awaitAll();
  TNetConnection connection;
  connection.ServerName = snapshotServer;
  PointAtServer(connection);
  connection.ThrowException = false;
  connection.Open();
  CacheRefreshOptions options;
  options.pageRows = config.cachePageRows;
  for (const auto &name : namesOf(tableNames))
    refreshCachedTable(connection, dtmDBGeral->adcGeral, utf8::toUpper(name), options);
}

} // namespace kdr::Zelnor
