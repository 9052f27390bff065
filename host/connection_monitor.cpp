#include "host/connection_monitor.h"

namespace kdr::host {

ConnectionMonitor::ConnectionMonitor(net::HttpEndpoint server, Periods periods)
    : server_(std::move(server)), periods_(periods), thread_([this] { run(); }) {
  server_.connectTimeoutSeconds = 2;
  server_.readTimeoutSeconds = 5;
}

ConnectionMonitor::~ConnectionMonitor() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

std::optional<bool> ConnectionMonitor::connected() const {
  std::lock_guard lock(mutex_);
  return connected_;
}

bool ConnectionMonitor::await(bool connected, std::chrono::milliseconds atMost) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, atMost, [&] { return connected_ == connected; });
}

bool ConnectionMonitor::answers() const {
  const auto answer = net::openHttpClient(server_)->get("/health");
  return answer && answer.status == 200;
}

void ConnectionMonitor::run() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    lock.unlock();
    const bool up = answers();
    lock.lock();
    if (connected_ != up) {
      connected_ = up;
      changed_.notify_all();
    }
    changed_.wait_for(lock, up ? periods_.whileUp : periods_.whileDown, [this] { return stop_; });
  }
}

} // namespace kdr::host
