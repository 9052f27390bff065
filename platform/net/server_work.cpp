#include "platform/net/server_work.h"

#include <random>

namespace kdr {
namespace {

constexpr std::string_view workServer = "KDR.rdmTrabalho";

// Unique enough among one user's running works: 16 random hexadecimal digits.
std::string newWorkName() {
  std::random_device random;
  std::uniform_int_distribution<int> digit(0, 15);
  std::string name = "trabalho-";
  for (int i = 0; i < 16; ++i) name += "0123456789abcdef"[digit(random)];
  return name;
}

} // namespace

ServerWork::ServerWork(TNetConnection &like, std::string_view method, Variant::Array args)
    : like_(like), method_(method), args_(std::move(args)), name_(newWorkName()) {
  args_.emplace_back(name_);
  like_.Open();
  copySettings(watcher_, std::string(workServer));
  watcher_.ThrowException = false;
  // A question the server does not answer is asked again at the next turn of the dialog, which
  // must not stall meanwhile.
  watcher_.RetryCount = 0;
  watcher_.Open();
}

ServerWork::~ServerWork() {
  if (thread_.joinable()) thread_.join();
}

void ServerWork::copySettings(TNetConnection &to, std::string serverName) const {
  to.ServerName = std::move(serverName);
  to.HostName = like_.HostName;
  to.Port = like_.Port;
  to.Token = like_.Token;
  to.UseTls = like_.UseTls;
  to.CaFile = like_.CaFile;
  to.ConnectTimeoutSeconds = like_.ConnectTimeoutSeconds;
  to.RetryCount = like_.RetryCount;
  to.RetryDelayMilliseconds = like_.RetryDelayMilliseconds;
}

void ServerWork::start() {
  thread_ = std::thread([this] {
    TNetConnection connection;
    copySettings(connection, like_.ServerName);
    connection.ThrowException = false;
    // The work answers when it is done, which for a large base is minutes away.
    connection.ReadTimeoutSeconds = 3600;
    connection.Open();
    result_ = connection.Call(method_, args_);
    over_.store(true);
  });
}

ServerWork::Progress ServerWork::progress() {
  const Variant answer = watcher_.Call("GetProgresso", {Variant(name_)});
  if (TNetConnection::isErrorResult(answer)) return {};
  const Variant payload = TNetConnection::payloadOf(answer);
  const Variant::Array &state = payload.array();
  return {state.at(0).asInteger(), state.at(1).asInteger()};
}

void ServerWork::cancel() { watcher_.Call("Cancela", {Variant(name_)}); }

Variant ServerWork::result() {
  if (thread_.joinable()) thread_.join();
  return result_;
}

} // namespace kdr
