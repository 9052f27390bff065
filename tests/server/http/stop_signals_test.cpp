// The server's main thread runs the front while a thread of its own waits for the signals that
// stop it: a signal stops a serving front, and whatever ends the run, that thread ends with it
// (a thread left running at exit would end the process with an abort instead of its message).
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <system_error>

#include "server/http/stop_signals.h"
#include "tests/server/server_fixture.h"
#include "tests/support/thread_starts_fail.h"

namespace kdr::server::testing {
namespace {

// SIGUSR2 stands for the server's stop signals. It is blocked before any of the front's threads
// start, as main() blocks SIGINT and SIGTERM, so that only the waiting thread takes it.
struct StopSignalBlocked {
  StopSignalBlocked() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  }
};

// A front on a scratch database, bound and not yet running.
struct BoundFront {
  explicit BoundFront(std::size_t loops) {
    HttpOptions options;
    options.loops = loops;
    front = std::make_unique<HttpFront>(dispatcher, options);
    front->bind();
  }
  StopSignalBlocked blocked;
  ScratchDatabase db{"sqlite"};
  std::unique_ptr<Store> store = Store::open(db.url());
  Dispatcher dispatcher{*store, 0};
  std::unique_ptr<HttpFront> front;
};

TEST(StopOnSignals, ASignalStopsAServingFront) {
  BoundFront bound(2);
  StopOnSignals stop(*bound.front, {SIGUSR2});
  std::thread asker([] { ::kill(::getpid(), SIGUSR2); });
  bound.front->run();
  asker.join();
}

TEST(StopOnSignals, AFrontWhoseLoopsCannotStartFailsAndLeavesNoThreadBehind) {
  BoundFront bound(3);
  auto serve = [&] {
    StopOnSignals stop(*bound.front, {SIGUSR2});
    test::ThreadStartsFail noThreads;
    bound.front->run();
  };
  EXPECT_THROW(serve(), std::system_error);
  // The front can still be stopped and destroyed as after any run.
  bound.front->stop();
}

} // namespace
} // namespace kdr::server::testing
