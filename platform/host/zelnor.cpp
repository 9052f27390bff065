#include "platform/host/zelnor.h"

#include "platform/host/localdb.h"
#include "platform/net/netconnection.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"

namespace kdr::Zelnor {

HostConfig config;

std::string WebURL() { return config.webUrl; }
int WebPort() { return config.webPort; }
std::string WebToken() { return config.token; }

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
  TNetConnection connection;
  connection.ServerName = snapshotServer;
  connection.HostName = WebURL();
  connection.Port = WebPort();
  connection.Token = WebToken();
  connection.ThrowException = false;
  connection.Open();
  for (const auto &name : namesOf(tableNames)) {
    const Variant result =
        connection.Call(snapshotMethod, {Variant(utf8::toUpper(name)), Variant(dtmDBGeral->cacheMark(name))});
    if (TNetConnection::isErrorResult(result))
      throw EDatabaseError("Não foi possível atualizar a cópia local da tabela " + name + ": " +
                           TNetConnection::errorMessage(result));
    // [mark, "T" when whole, rows, removed keys]
    const Variant &changes = TNetConnection::payloadOf(result);
    if (!changes.isArray() || changes.array().size() != 4 || !changes.array()[0].isString() ||
        !changes.array()[2].isPacket() || !changes.array()[3].isPacket())
      throw EDatabaseError("O servidor não enviou os dados da tabela " + name + " para a cópia local.");
    const auto &parts = changes.array();
    dtmDBGeral->applyChanges(name, *parts[2].packet(), *parts[3].packet(), parts[1].asString() == "T",
                             parts[0].str());
  }
}

} // namespace kdr::Zelnor
