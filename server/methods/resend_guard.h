#pragma once
// Writes a desktop may send twice. A desktop whose answer was lost (the server died, the
// connection was cut, the balancer gave up) cannot know whether its change was applied, so it
// sends the change again with the same key (the Idempotency-Key header). The key is recorded with
// the write's answer in the write's own transaction: a key seen before is answered with that first
// answer and nothing is applied again; a key whose write failed was never recorded, so its resend
// is simply tried again. Keys are kept a day, far longer than any desktop retries, then removed.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "server/methods/answer.h"
#include "server/store/session.h"

namespace kdr::server {

class ResendGuard {
public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  struct Options {
    std::chrono::seconds keep = std::chrono::hours(24);
    std::chrono::seconds sweepEvery = std::chrono::minutes(1); // how often expired keys are removed
    Clock now = [] { return std::chrono::system_clock::now(); };
  };

  ResendGuard() : ResendGuard(Options{}) {}
  // The first sweep comes sweepEvery after the start, so that servers restarted together do not
  // all sweep at once.
  explicit ResendGuard(Options options) : options_(std::move(options)), lastSweep_(nowSeconds()) {}

  // Null, or the key as the server accepts it: 1 to 100 printable ASCII characters.
  static bool validKey(std::string_view key);
  // What identifies a request beyond its key (who sends it, the method and the body), so that a
  // key sent again with another request is refused rather than answered with an unrelated result.
  static std::string fingerprint(std::string_view user, std::string_view method, std::string_view body);

  // Runs write (which opens its own write transaction, joined to this one) and records key with
  // its answer before committing both; a key already recorded is answered with its first answer
  // without running write. A resend that arrives while the first is still being applied, on this
  // server or another, waits for it. A key recorded with another fingerprint is refused.
  Answer once(Session &s, std::string_view key, std::string_view fingerprint,
              const std::function<Answer()> &write);

private:
  std::int64_t nowSeconds() const;
  // Removes expired keys, at most once per sweepEvery on this server, in a transaction of its own.
  void sweepIfDue(Session &s);

  Options options_;
  std::atomic<std::int64_t> lastSweep_{0};
};

} // namespace kdr::server
