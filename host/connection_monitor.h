#pragma once
// Whether the application server answers, asked in a thread of its own: often while it does not,
// so the desktop sees it come back without anybody retrying by hand, and seldom while it does.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/net/http_client.h"

namespace kdr::host {

class ConnectionMonitor {
public:
  struct Periods {
    std::chrono::milliseconds whileDown{2000};
    std::chrono::milliseconds whileUp{10000};
  };
  // Asks over HTTPS when the server is reached that way (the time-outs of the endpoint are the monitor's
  // own).
  ConnectionMonitor(net::HttpEndpoint server, Periods periods);
  explicit ConnectionMonitor(net::HttpEndpoint server) : ConnectionMonitor(std::move(server), Periods{}) {}
  // A server on plain HTTP.
  ConnectionMonitor(std::string host, int port, Periods periods)
      : ConnectionMonitor(plainEndpoint(std::move(host), port), periods) {}
  ConnectionMonitor(std::string host, int port) : ConnectionMonitor(plainEndpoint(std::move(host), port)) {}
  // Stops asking.
  ~ConnectionMonitor();
  ConnectionMonitor(const ConnectionMonitor &) = delete;
  ConnectionMonitor &operator=(const ConnectionMonitor &) = delete;

  // Empty until the server was first asked.
  std::optional<bool> connected() const;
  // Waits until the server is seen answering (or not), at most for the time given; true when it was.
  bool await(bool connected, std::chrono::milliseconds atMost) const;

private:
  static net::HttpEndpoint plainEndpoint(std::string host, int port) {
    net::HttpEndpoint server;
    server.host = std::move(host);
    server.port = port;
    return server;
  }
  void run();
  bool answers() const;

  net::HttpEndpoint server_;
  Periods periods_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::optional<bool> connected_;
  bool stop_ = false;
  std::thread thread_;
};

} // namespace kdr::host
