#pragma once
// Stops a front when the process is asked to stop (SIGINT, SIGTERM), from a thread of its own
// that waits for those signals outside any signal handler. Leaving the scope ends that thread
// whether a signal came or not, so a front whose run() failed still leaves the process cleanly.
#include <atomic>
#include <csignal>
#include <initializer_list>
#include <thread>

#include "server/http/http_front.h"

namespace kdr::server {

class StopOnSignals {
public:
  // Blocks the signals in the calling thread, so every thread it starts afterwards leaves them to
  // the waiting one.
  StopOnSignals(HttpFront &front, std::initializer_list<int> signals);
  ~StopOnSignals();
  StopOnSignals(const StopOnSignals &) = delete;
  StopOnSignals &operator=(const StopOnSignals &) = delete;

private:
  sigset_t signals_;
  int wake_;
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

} // namespace kdr::server
