#include "platform/host/first_loads.h"

#include <algorithm>
#include <chrono>

#include "platform/rtl/utf8.h"

namespace kdr {

namespace {

bool identifierChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

} // namespace

void FirstLoads::begin(const std::vector<std::string> &tables) {
  std::lock_guard lock(mutex_);
  for (const std::string &table : tables) loading_.push_back(utf8::toUpper(table));
}

void FirstLoads::end(std::string_view table) {
  {
    std::lock_guard lock(mutex_);
    const std::string name = utf8::toUpper(std::string(table));
    loading_.erase(std::remove(loading_.begin(), loading_.end(), name), loading_.end());
  }
  ended_.notify_all();
}

// Every word of the statement, quoted or not, is compared with the tables still loading: a
// word that only looks like a table name costs a wait, never a read of a partial copy.
bool FirstLoads::namesLoading(std::string_view sql) const {
  for (std::size_t i = 0; i < sql.size();) {
    if (!identifierChar(sql[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < sql.size() && identifierChar(sql[end])) ++end;
    const std::string word = utf8::toUpper(std::string(sql.substr(i, end - i)));
    if (std::find(loading_.begin(), loading_.end(), word) != loading_.end()) return true;
    i = end;
  }
  return false;
}

void FirstLoads::awaitTablesOf(std::string_view sql) const {
  std::unique_lock lock(mutex_);
  const auto free = [&] { return loading_.empty() || !namesLoading(sql); };
  if (!whileWaiting_) return ended_.wait(lock, free);
  bool waited = false;
  while (!ended_.wait_for(lock, std::chrono::milliseconds(250), free)) {
    waited = true;
    lock.unlock();
    whileWaiting_(true);
    lock.lock();
  }
  if (!waited) return;
  lock.unlock();
  whileWaiting_(false);
}

bool FirstLoads::wouldWait(std::string_view sql) const {
  std::lock_guard lock(mutex_);
  return namesLoading(sql);
}

void FirstLoads::awaitAll() const {
  std::unique_lock lock(mutex_);
  ended_.wait(lock, [&] { return loading_.empty(); });
}

} // namespace kdr
