#pragma once
// A writer stopped at a chosen statement while the test starts another, then let go: the
// interleavings of two writers, one at a time and on purpose.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "tests/server/hooked_session.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {

// Runs work on a connection of its own whose first statement that hold() picks waits until
// release(): held at its COMMIT, the work has taken every lock it takes. The constructor returns
// once the work is held (or over). The work's failure, if any, is kept for the test to show.
class HeldWork {
public:
  using Pick = std::function<bool(std::string_view sql)>;
  static bool commit(std::string_view sql) { return sql == "COMMIT"; }

  HeldWork(const std::string &url, std::function<void(Session &)> work, Pick hold = commit) {
    thread_ = std::thread([this, url, work = std::move(work), hold = std::move(hold)] {
      HookedSession s(connectTo(url), [this, hold](std::string_view sql) {
        if (!reached_ && hold(sql)) {
          signal(reached_);
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [this] { return released_; });
        }
        return HookedSession::Fate::Run;
      });
      try {
        work(s);
      } catch (const std::exception &e) {
        std::lock_guard lock(mutex_);
        failure_ = e.what();
      }
      signal(reached_);
    });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return reached_; });
  }
  ~HeldWork() {
    release();
    if (thread_.joinable()) thread_.join();
  }
  void release() { signal(released_); }
  // Released and done: empty when the work committed.
  std::string outcome() {
    release();
    if (thread_.joinable()) thread_.join();
    return failure_;
  }

private:
  void signal(bool &flag) {
    std::lock_guard lock(mutex_);
    flag = true;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool reached_ = false, released_ = false;
  std::string failure_;
  std::thread thread_;
};

// Runs call on a thread of its own (a call that throws fails the test) and waits until it is done
// or, on PostgreSQL, comes to wait for a lock; the thread is joined by finish().
class Attempt {
public:
  explicit Attempt(std::function<void()> call)
      : thread_([this, call = std::move(call)] {
          try {
            call();
          } catch (const std::exception &e) {
            ADD_FAILURE() << "the call failed: " << e.what();
          }
          done_ = true;
        }) {}
  ~Attempt() { finish(); }
  // True when the call came to wait for a lock before it was done.
  bool waitsFor(const std::string &url) {
    auto watcher = connectTo(url);
    const bool postgresql = watcher->dialect().engine() == "postgresql";
    for (int i = 0; i < 20000 && !done_; ++i) {
      if (postgresql && !watcher
                             ->query("SELECT 1 FROM pg_stat_activity WHERE datname = current_database() AND "
                                     "wait_event_type = 'Lock'")
                             .empty())
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return !done_;
  }
  bool done() const { return done_; }
  void finish() {
    if (thread_.joinable()) thread_.join();
  }

private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

} // namespace kdr::server::testing
