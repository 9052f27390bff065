// GetCliente by registration number on a bulk database of N clients (SQLite), so that the cost at
// a million clients can be set beside the cost at ten thousand. The databases are kept in
// KDR_BENCH_DIR (default: the temporary folder) between runs, since filling a million clients
// takes longer than measuring.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "server/param_fat_cli.h"
#include "server/seed.h"
#include "server/store.h"

namespace {

using namespace kdr::server;

std::unique_ptr<Store> bulkStore(std::int64_t clients) {
  const char *dir = std::getenv("KDR_BENCH_DIR");
  std::filesystem::path path =
      std::filesystem::path(dir ? dir : std::filesystem::temp_directory_path().string()) /
      ("kdr_lookup_" + std::to_string(clients) + ".db");
  auto store = Store::open("sqlite:" + path.string());
  auto s = store->session();
  seedBulk(*s, clients);
  return store;
}

void BM_GetClienteByNumber(benchmark::State &state) {
  const std::int64_t clients = state.range(0);
  auto store = bulkStore(clients);
  auto s = store->session();
  std::int64_t i = 0;
  for (auto _ : state) {
    // Bulk client I has the registration number 20000000000000 + I; written with punctuation.
    std::string digits = std::to_string(20000000000000 + 1 + (i++ * 7919) % clients);
    std::string typed = digits.substr(0, 2) + "." + digits.substr(2, 3) + "." + digits.substr(5, 3) + "/" +
                        digits.substr(8, 4) + "-" + digits.substr(12);
    benchmark::DoNotOptimize(rdmParamFatCli::GetCliente(*s, typed, ""));
  }
}
BENCHMARK(BM_GetClienteByNumber)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
