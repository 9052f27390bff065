#include "server/http/metrics.h"

#include <algorithm>
#include <charconv>

namespace kdr::server {
namespace {

void appendNumber(std::string &out, auto value) {
  char buf[32];
  out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

void header(std::string &out, std::string_view name, std::string_view type, std::string_view help) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void sample(std::string &out, std::string_view name, std::string_view labels, auto value) {
  out.append(name);
  if (!labels.empty()) out.append("{").append(labels).append("}");
  out += ' ';
  appendNumber(out, value);
  out += '\n';
}

std::string label(std::string_view name, std::string_view value) {
  return std::string(name) + "=\"" + std::string(value) + "\"";
}

} // namespace

void Metrics::countRequest(std::string_view method, int status, double seconds) {
  std::lock_guard lock(mutex_);
  auto it = methods_.find(method);
  if (it == methods_.end()) it = methods_.emplace(std::string(method), Method{}).first;
  Method &m = it->second;
  ++m.byStatus[status];
  std::size_t bucket = 0;
  while (bucket < bounds.size() && seconds > bounds[bucket]) ++bucket;
  if (bucket < bounds.size()) ++m.buckets[bucket];
  ++m.count;
  m.seconds += seconds;
}

std::string Metrics::render(const MetricsGauges &g) const {
  std::string out;
  std::lock_guard lock(mutex_);
  header(out, "kdr_requests_total", "counter", "Requests answered, by remote method and HTTP status.");
  for (const auto &[method, m] : methods_)
    for (const auto &[status, count] : m.byStatus)
      sample(out, "kdr_requests_total",
             label("method", method) + "," + label("status", std::to_string(status)), count);
  header(out, "kdr_request_duration_seconds", "histogram",
         "Time from a request's first byte to its answer, by remote method.");
  for (const auto &[method, m] : methods_) {
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < bounds.size(); ++i) {
      cumulative += m.buckets[i];
      char le[32];
      std::string bound(le, std::to_chars(le, le + sizeof le, bounds[i]).ptr);
      sample(out, "kdr_request_duration_seconds_bucket", label("method", method) + "," + label("le", bound),
             cumulative);
    }
    sample(out, "kdr_request_duration_seconds_bucket", label("method", method) + "," + label("le", "+Inf"),
           m.count);
    sample(out, "kdr_request_duration_seconds_sum", label("method", method), m.seconds);
    sample(out, "kdr_request_duration_seconds_count", label("method", method), m.count);
  }
  header(out, "kdr_first_loads_total", "counter", "Whole tables sent to a host filling its local cache.");
  for (const auto &[table, count] : g.firstLoads)
    sample(out, "kdr_first_loads_total", label("table", table), count);
  header(out, "kdr_db_connections", "gauge", "Database connections of the pool, by state.");
  sample(out, "kdr_db_connections", label("state", "idle"), g.poolIdle);
  sample(out, "kdr_db_connections", label("state", "in_use"), g.poolOpen - std::min(g.poolOpen, g.poolIdle));
  header(out, "kdr_answer_cache_lookups_total", "counter", "Reads looked up in the answer cache, by result.");
  sample(out, "kdr_answer_cache_lookups_total", label("result", "hit"), g.cacheHits);
  sample(out, "kdr_answer_cache_lookups_total", label("result", "miss"), g.cacheMisses);
  header(out, "kdr_answer_cache_bytes", "gauge", "Bytes of answers kept (0 when --answer-cache is off).");
  sample(out, "kdr_answer_cache_bytes", "", g.cacheBytes);
  header(out, "kdr_answer_cache_budget_bytes", "gauge", "Bytes the answer cache may keep.");
  sample(out, "kdr_answer_cache_budget_bytes", "", g.cacheBudget);
  return out;
}

} // namespace kdr::server
