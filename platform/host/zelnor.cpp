#include "platform/host/zelnor.h"

#include "platform/host/cache_refresh.h"
#include "platform/host/localdb.h"
#include "platform/net/netconnection.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr::Zelnor {

HostConfig config;

std::string WebURL() { return config.webUrl; }
int WebPort() { return config.webPort; }
std::string WebToken() { return config.token; }
std::string WebUser() { return config.user; }

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
  connection.HostName = WebURL();
  connection.Port = WebPort();
  connection.Token = WebToken();
  connection.UserName = WebUser();
  connection.ThrowException = false;
  connection.Open();
  CacheRefreshOptions options;
  options.pageRows = config.cachePageRows;
  for (const auto &name : namesOf(tableNames))
    refreshCachedTable(connection, dtmDBGeral->adcGeral, utf8::toUpper(name), options);
}

} // namespace kdr::Zelnor
