#include "server/http/stop_signals.h"

#include <pthread.h>

namespace kdr::server {

StopOnSignals::StopOnSignals(HttpFront &front, std::initializer_list<int> signals) : wake_(*signals.begin()) {
  sigemptyset(&signals_);
  for (int s : signals) sigaddset(&signals_, s);
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  thread_ = std::thread([this, &front] {
    int signal = 0;
    sigwait(&signals_, &signal);
    front.stop();
  });
}

// One of its own signals, sent to the thread alone, ends its wait when no signal came; stopping
// a front that already stopped, or never ran, changes nothing.
StopOnSignals::~StopOnSignals() {
  pthread_kill(thread_.native_handle(), wake_);
  thread_.join();
}

} // namespace kdr::server
