#pragma once
// The local tables whose first copy is still being loaded while the host already serves its
// user. A statement that names one of them waits until its load has ended, so a table is never
// read before its first copy is whole; tables that already had a copy are read at once.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kdr {

class FirstLoads {
public:
  void begin(const std::vector<std::string> &tables);
  // The table's load ended, whole or failed: its readers go on with what the file holds.
  void end(std::string_view table);
  // Blocks while the statement names, as a word, a table still loading.
  void awaitTablesOf(std::string_view sql) const;
  // Runs on the waiting thread about every quarter second while a statement waits (true), and once
  // when the wait is over (false): a desktop shows meanwhile how far the load got. Set before the
  // loads begin.
  void whileWaiting(std::function<void(bool waiting)> hook) { whileWaiting_ = std::move(hook); }
  void awaitAll() const;
  // Whether the statement would wait now; never blocks.
  bool wouldWait(std::string_view sql) const;

private:
  bool namesLoading(std::string_view sql) const;

  mutable std::mutex mutex_;
  mutable std::condition_variable ended_;
  std::vector<std::string> loading_; // upper case
  std::function<void(bool)> whileWaiting_;
};

} // namespace kdr
