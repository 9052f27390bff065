#pragma once
// Long bulk work (a copy to many clients, an import, an undo) tells how far it got and can be
// stopped. The work says how much there is and advances between its steps; a stop asked from
// elsewhere (a desktop's Cancelar, Ctrl+C at the terminal) makes its next step raise, so that its
// transaction rolls back whole and nothing of it is kept.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace kdr::server {

class WorkProgress {
public:
  // Told on the working thread each time the work advances.
  using Listener = std::function<void(std::int64_t done, std::int64_t total)>;
  explicit WorkProgress(Listener listener = {}) : listener_(std::move(listener)) {}

  // The work's side. Each raises ServiceError (cancelled) once a stop was asked.
  void begin(std::int64_t total);
  // done grows by rows, never past the total.
  void advance(std::int64_t rows);
  void checkpoint() const;

  // Anyone's side; cancel() is safe from a signal handler.
  void cancel() { cancel_.store(true); }
  bool cancelled() const { return cancel_.load(); }
  std::int64_t done() const { return done_.load(); }
  std::int64_t total() const { return total_.load(); }

private:
  std::atomic<std::int64_t> done_{0}, total_{0};
  std::atomic<bool> cancel_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
  Listener listener_;
};

// The work running for the desktops, each under a name its desktop chose and seen only by the user
// who started it.
class WorkBoard {
public:
  struct State {
    std::int64_t done = 0, total = 0;
    bool running = false, cancelled = false;
  };

  // The progress of a work starting now. A stop asked before it started is kept for it, so a
  // Cancelar pressed at once is not lost; a name already running is refused.
  std::shared_ptr<WorkProgress> start(const std::string &user, const std::string &name);
  void finish(const std::string &user, const std::string &name);
  // Not running: a work that ended, or that never started.
  State state(const std::string &user, const std::string &name) const;
  void cancel(const std::string &user, const std::string &name);

private:
  struct Entry {
    std::shared_ptr<WorkProgress> progress = std::make_shared<WorkProgress>();
    bool running = false;
  };
  mutable std::mutex mutex_;
  std::map<std::string, Entry> works_; // "user\nname"
};

// A work's name as a desktop gives it: 1 to 64 letters, digits, '-' or '_'; refused otherwise.
void checkWorkName(const std::string &name);

} // namespace kdr::server
