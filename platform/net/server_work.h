#pragma once
// A call that may take minutes (a copy to every client of a large base), made on a thread of its
// own with a connection of its own and under a name the server follows it by, so that the desktop
// meanwhile shows how far it got and can ask the server to stop it.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

#include "platform/net/netconnection.h"

namespace kdr {

class ServerWork {
public:
  // like: the screen's connection, whose server, address, token and user the work takes; the
  // work's name goes after args.
  ServerWork(TNetConnection &like, std::string_view method, Variant::Array args);
  // Waits for the call.
  ~ServerWork();
  ServerWork(const ServerWork &) = delete;
  ServerWork &operator=(const ServerWork &) = delete;

  void start();
  // The call came back (done, refused or stopped).
  bool over() const { return over_.load(); }
  // How far the server says the work got; zero while it has not started or once it is over.
  struct Progress {
    std::int64_t done = 0, total = 0;
  };
  Progress progress();
  // Asks the server to stop the work; kept for it when it has not started yet.
  void cancel();
  // The call's result envelope; waits for it.
  Variant result();

  const std::string &name() const { return name_; }

private:
  void copySettings(TNetConnection &to, std::string serverName) const;

  TNetConnection &like_;
  std::string method_;
  Variant::Array args_;
  std::string name_;
  TNetConnection watcher_; // on the desktop's thread
  std::thread thread_;
  std::atomic<bool> over_{false};
  Variant result_;
};

} // namespace kdr
