#include "host/connection_monitor.h"

#include <httplib.h>

namespace kdr::host {

ConnectionMonitor::ConnectionMonitor(std::string host, int port, Periods periods)
    : host_(std::move(host)), port_(port), periods_(periods), thread_([this] { run(); }) {}

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
  httplib::Client client(host_, port_);
  client.set_connection_timeout(std::chrono::seconds(2));
  client.set_read_timeout(std::chrono::seconds(5));
  const auto result = client.Get("/health");
  return result && result->status == 200;
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
