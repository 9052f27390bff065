#include "server/http/stop_signals.h"

#include <pthread.h>

namespace kdr::server {

StopOnSignals::StopOnSignals(HttpFront &front, std::initializer_list<int> signals) : wake_(*signals.begin()) {
  sigemptyset(&signals_);
  for (int s : signals) sigaddset(&signals_, s);
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
  // Every signal stops the front: the first gives notice and stops, a second skips the notice.
  thread_ = std::thread([this, &front] {
    int signal = 0;
    while (sigwait(&signals_, &signal) == 0 && !ending_) front.stop();
  });
}

// One of its own signals, sent to the thread alone, ends its wait; stopping a front that already
// stopped, or never ran, changes nothing.
StopOnSignals::~StopOnSignals() {
  ending_ = true;
  pthread_kill(thread_.native_handle(), wake_);
  thread_.join();
}

} // namespace kdr::server
