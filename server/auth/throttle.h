#pragma once
// Slows down guessing: after a few failed sign-ins of one operator, or from one address, the next
// attempt must wait, twice as long after each further failure. An attempt that comes too early is
// refused without looking at its password, so a guesser gets few tries an hour whatever it sends.
// Kept in this server's memory: each server of a shared database counts on its own.
#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace kdr::server {

class SignInThrottle {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr int freeFailures = 3; // a few typing mistakes cost nothing
  static constexpr std::chrono::seconds firstWait{1}, longestWait{300};

  // How long the key must still wait before its next attempt; zero when it may try now.
  std::chrono::seconds waitFor(const std::string &key, Clock::time_point now) const;
  void failed(const std::string &key, Clock::time_point now);
  void succeeded(const std::string &key);

private:
  struct Record {
    int failures = 0;
    Clock::time_point until;
  };
  void forgetOld(Clock::time_point now);

  mutable std::mutex mutex_;
  std::map<std::string, Record> records_;
};

} // namespace kdr::server
