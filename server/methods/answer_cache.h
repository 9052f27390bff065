#pragma once
// Answers of the reading methods kept by request, so a repeated read skips the database. Every
// write through this server empties it. Writes by anyone else (another server or a tool on the
// same database) are not seen, so a server uses it only when told it is the database's only
// writer (--answer-cache).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kdr::server {

class AnswerCache {
public:
  // Keeps at most budget bytes of keys and answers; 0 keeps nothing.
  explicit AnswerCache(std::size_t budget) : budget_(budget) {}
  bool enabled() const { return budget_ > 0; }

  std::optional<std::string> find(std::string_view key) const;
  // Whether an answer is kept for key, without counting a hit or a miss: for deciding where a call
  // runs, which find() then answers.
  bool holds(std::string_view key) const;
  // Read before running the query that makes an answer, and handed back to put(): a write that
  // ends in between keeps that answer out, since it may have been read before the write.
  std::uint64_t generation() const;
  void put(std::string key, const std::string &answer, std::uint64_t generation);
  // After every write, committed or not.
  void invalidate();

  struct Usage {
    std::uint64_t hits = 0, misses = 0;
    std::size_t bytes = 0, budget = 0;
  };
  Usage usage() const;

private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };

  const std::size_t budget_;
  mutable std::mutex mutex_;
  std::uint64_t generation_ = 0;
  std::size_t used_ = 0;
  mutable std::uint64_t hits_ = 0, misses_ = 0;
  std::unordered_map<std::string, std::string, Hash, std::equal_to<>> answers_;
};

} // namespace kdr::server
