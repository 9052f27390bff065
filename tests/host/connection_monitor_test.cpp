// The desktop's view of the server: seen answering, seen gone, and seen back again without
// anybody asking, against a real HTTP server on loopback that stops and starts on its port.
#include <gtest/gtest.h>

#include <httplib.h>

#include <memory>
#include <thread>

#include "host/connection_monitor.h"

namespace kdr::host {
namespace {

// A server answering /health on a port of its own, which can stop and start again on that port.
class HealthServer {
public:
  HealthServer() { port_ = start(0); }
  ~HealthServer() { stop(); }
  int port() const { return port_; }
  void stop() {
    if (!server_) return;
    server_->stop();
    thread_.join();
    server_.reset();
  }
  void restart() { start(port_); }

private:
  int start(int port) {
    server_ = std::make_unique<httplib::Server>();
    server_->Get("/health", [](const httplib::Request &, httplib::Response &res) {
      res.set_content("ok", "text/plain");
    });
    const int bound = port ? (server_->bind_to_port("127.0.0.1", port) ? port : -1)
                           : server_->bind_to_any_port("127.0.0.1");
    EXPECT_GT(bound, 0);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // A stop asked before the loop runs would be missed, and the loop would never end.
    while (!server_->is_running()) std::this_thread::yield();
    return bound;
  }
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
};

TEST(ConnectionMonitor, SeesTheServerGoAndComeBackOnItsOwn) {
  HealthServer server;
  const ConnectionMonitor::Periods quick{std::chrono::milliseconds(20), std::chrono::milliseconds(20)};
  ConnectionMonitor monitor("127.0.0.1", server.port(), quick);
  const auto deadline = std::chrono::seconds(20);
  ASSERT_TRUE(monitor.await(true, deadline));
  EXPECT_EQ(monitor.connected(), true);

  server.stop();
  ASSERT_TRUE(monitor.await(false, deadline)) << "a server gone is seen gone";
  EXPECT_EQ(monitor.connected(), false);

  server.restart();
  EXPECT_TRUE(monitor.await(true, deadline)) << "and seen back without a retry by hand";
}

TEST(ConnectionMonitor, NothingListeningIsNoConnection) {
  int port = 0;
  {
    HealthServer gone;
    port = gone.port();
  }
  ConnectionMonitor monitor("127.0.0.1", port);
  EXPECT_TRUE(monitor.await(false, std::chrono::seconds(20)));
}

} // namespace
} // namespace kdr::host
