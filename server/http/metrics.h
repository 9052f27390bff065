#pragma once
// The counters GET /metrics answers, in the text format monitoring systems scrape: requests by
// method and status, their latency, the database's connection pool, the answer cache and the
// first loads of a host's local cache. Updated by every loop; one lock, held for a few additions.
#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace kdr::server {

// What the rest of the server reports at the moment of a scrape.
struct MetricsGauges {
  std::size_t poolOpen = 0, poolIdle = 0;
  std::uint64_t cacheHits = 0, cacheMisses = 0;
  std::size_t cacheBytes = 0, cacheBudget = 0;
  std::map<std::string, std::uint64_t> firstLoads; // by table
};

class Metrics {
public:
  // method: the remote method ("GetParamFatCli"), or a name of our own for the other paths
  // ("health", "metrics", "unknown"): never a text a client chose, which could grow the list
  // without end.
  void countRequest(std::string_view method, int status, double seconds);
  std::string render(const MetricsGauges &gauges) const;

  // Upper bounds of the latency buckets, in seconds.
  static constexpr std::array<double, 12> bounds{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                 0.1,   0.25,   0.5,   1,    2.5,   10};

private:
  struct Method {
    std::map<int, std::uint64_t> byStatus;
    std::array<std::uint64_t, bounds.size()> buckets{}; // each bucket counts only its own range
    std::uint64_t count = 0;
    double seconds = 0;
  };

  mutable std::mutex mutex_;
  std::map<std::string, Method, std::less<>> methods_;
};

} // namespace kdr::server
