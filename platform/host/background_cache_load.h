#pragma once
// Loads the first copy of local tables that have none, in a thread of its own with its own
// connections to the local file and to the server, while the host already serves its user.
// Statements of the host's connection that name one of those tables wait for it (FirstLoads);
// tables loaded before are read at once. Each table lands whole with its mark or not at all.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/first_loads.h"
#include "platform/host/zelnor.h"

namespace kdr {

class BackgroundCacheLoad {
public:
  // Marks the tables as loading in gate and starts. A table whose load fails is left as the file
  // holds it, and the failure is kept among the warnings. When the thread cannot start, raises
  // std::system_error with no table left loading.
  BackgroundCacheLoad(std::string localPath, Zelnor::HostConfig server, std::vector<std::string> tables,
                      FirstLoads &gate);
  // Stops.
  ~BackgroundCacheLoad();
  BackgroundCacheLoad(const BackgroundCacheLoad &) = delete;
  BackgroundCacheLoad &operator=(const BackgroundCacheLoad &) = delete;

  // Waits until every table has loaded or failed.
  void join();
  // Stops a load still running after its current page (nothing of the table being loaded is
  // kept; the next start loads it again) and waits for the thread.
  void stop();
  // The messages for the user of the loads that failed.
  std::vector<std::string> warnings() const;

  // How far the loads got: rows written of the rows the tables held when they began (0 when the
  // server could not tell), and whether every table has ended.
  struct Progress {
    std::size_t done = 0, total = 0;
    bool finished = false;
  };
  Progress progress() const;

private:
  void run();

  std::string localPath_;
  Zelnor::HostConfig server_;
  std::vector<std::string> tables_;
  FirstLoads &gate_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> warnings_;
  Progress progress_;
  std::thread thread_;
};

} // namespace kdr
