#include "platform/host/background_cache_load.h"

#include <algorithm>
#include <cstddef>

#include "platform/host/cache_refresh.h"
#include "platform/host/localdb.h"
#include "platform/net/netconnection.h"
#include "platform/rtl/exceptions.h"

namespace kdr {

namespace {

// Thrown between pages when the host is closing: the load's transaction rolls back.
struct Stopped {};

} // namespace

BackgroundCacheLoad::BackgroundCacheLoad(std::string localPath, Zelnor::HostConfig server,
                                         std::vector<std::string> tables, FirstLoads &gate)
    : localPath_(std::move(localPath)), server_(std::move(server)), tables_(std::move(tables)), gate_(gate) {
  gate_.begin(tables_);
  try {
    thread_ = std::thread([this] { run(); });
  } catch (...) {
    // No load will end them: their readers go on with what the file holds.
    for (const std::string &table : tables_) gate_.end(table);
    throw;
  }
}

BackgroundCacheLoad::~BackgroundCacheLoad() { stop(); }

void BackgroundCacheLoad::stop() {
  stop_ = true;
  join();
}

void BackgroundCacheLoad::join() {
  if (thread_.joinable()) thread_.join();
}

std::vector<std::string> BackgroundCacheLoad::warnings() const {
  std::lock_guard lock(mutex_);
  return warnings_;
}

BackgroundCacheLoad::Progress BackgroundCacheLoad::progress() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

void BackgroundCacheLoad::run() {
  std::size_t next = 0;
  auto warn = [this](const std::string &message) {
    std::lock_guard lock(mutex_);
    warnings_.push_back(message);
  };
  try {
    TLocalConnection local(localPath_);
    TNetConnection connection;
    connection.ServerName = snapshotServer;
    // Nobody can be asked for a password from this thread: an ended session fails the load.
    Zelnor::PointAtServer(connection, server_, false);
    connection.ThrowException = false;
    connection.Open();
    // The count is only for showing progress: a server that cannot tell leaves it unknown.
    std::size_t total = 0;
    for (const std::string &table : tables_) {
      const Variant count = connection.Call(snapshotCountMethod, {Variant(table)});
      if (TNetConnection::isErrorResult(count)) {
        total = 0;
        break;
      }
      total += static_cast<std::size_t>(TNetConnection::payloadOf(count).asInteger());
    }
    {
      std::lock_guard lock(mutex_);
      progress_.total = total;
    }
    const CacheRefreshOptions options{server_.cachePageRows, [this](std::size_t rows) {
                                        if (stop_) throw Stopped{};
                                        std::lock_guard lock(mutex_);
                                        progress_.done += rows;
                                        // Rows changed meanwhile are brought again: never past the end.
                                        if (progress_.total)
                                          progress_.done = std::min(progress_.done, progress_.total);
                                      }};
    for (; next < tables_.size(); ++next) {
      try {
        refreshCachedTable(connection, local, tables_[next], options);
      } catch (const Exception &e) {
        warn(e.Message());
      }
      gate_.end(tables_[next]);
    }
  } catch (const Stopped &) {
  } catch (const Exception &e) {
    warn(e.Message());
  } catch (const std::exception &e) {
    warn(e.what());
  }
  // Whatever stopped the loads, nobody waits for them any longer.
  for (; next < tables_.size(); ++next) gate_.end(tables_[next]);
  std::lock_guard lock(mutex_);
  progress_.finished = true;
}

} // namespace kdr
