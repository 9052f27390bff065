// The client lookups of the billing screen on bulk databases of N clients, so that the cost at a
// million clients can be set beside the cost at ten thousand: GetCliente by registration number,
// and PesquisaCliente, the search dialog's page (its first page, a filter typed down to a few
// clients, a filter no client matches). On SQLite always; on PostgreSQL too when KDR_BENCH_PG
// names a cluster (an admin URL such as postgresql://postgres@/postgres?host=/tmp/pg).
// The databases are kept between runs (filling a million clients takes longer than measuring):
// SQLite files in KDR_BENCH_DIR (default: the temporary folder), PostgreSQL databases
// kdr_lookup_N in that cluster (KDR_BENCH_NAME names them otherwise, so that builds of different
// schemas can be set side by side on copies of one database).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "server/admin/seed.h"
#include "server/methods/param_fat_cli.h"
#include "server/store/store.h"

namespace {

using namespace kdr::server;

void adminExec(const std::string &adminUrl, const std::string &sql) {
  PGconn *c = PQconnectdb(adminUrl.c_str());
  PGresult *r = PQexec(c, sql.c_str());
  std::string why = PQresultStatus(r) == PGRES_COMMAND_OK ? "" : PQerrorMessage(c);
  PQclear(r);
  PQfinish(c);
  // A database left by an earlier run is the point of keeping them.
  if (!why.empty() && why.find("already exists") == std::string::npos)
    throw std::runtime_error(sql + ": " + why);
}

std::string databaseUrl(const std::string &engine, std::int64_t clients) {
  const char *prefix = std::getenv("KDR_BENCH_NAME");
  const std::string name =
      std::string(prefix && *prefix ? prefix : "kdr_lookup") + "_" + std::to_string(clients);
  if (engine == "sqlite") {
    const char *dir = std::getenv("KDR_BENCH_DIR");
    return "sqlite:" + (std::filesystem::path(dir ? dir : std::filesystem::temp_directory_path().string()) /
                        (name + ".db"))
                           .string();
  }
  const std::string admin = std::getenv("KDR_BENCH_PG");
  adminExec(admin, "CREATE DATABASE " + name + " ENCODING 'UTF8' TEMPLATE template0");
  const std::size_t query = admin.find('?');
  const std::size_t slash = admin.rfind('/', query == std::string::npos ? admin.size() : query);
  return admin.substr(0, slash + 1) + name + (query == std::string::npos ? "" : admin.substr(query));
}

// One store per database for the whole run; filled on first use.
Store &bulkStore(const std::string &engine, std::int64_t clients) {
  static std::map<std::string, std::unique_ptr<Store>> stores;
  const std::string url = databaseUrl(engine, clients);
  auto &store = stores[url];
  if (!store) {
    store = Store::open(url);
    auto s = store->session();
    // Filling a million clients outlasts the server's limit on one statement.
    if (engine == "postgresql") s->executeScript("SET statement_timeout = 0");
    seedBulk(*s, clients);
  }
  return *store;
}

void getClienteByNumber(benchmark::State &state, const std::string &engine) {
  const std::int64_t clients = state.range(0);
  auto s = bulkStore(engine, clients).session();
  std::int64_t i = 0;
  for (auto _ : state) {
    // Bulk client I has the registration number 20000000000000 + I; written with punctuation.
    std::string digits = std::to_string(20000000000000 + 1 + (i++ * 7919) % clients);
    std::string typed = digits.substr(0, 2) + "." + digits.substr(2, 3) + "." + digits.substr(5, 3) + "/" +
                        digits.substr(8, 4) + "-" + digits.substr(12);
    benchmark::DoNotOptimize(rdmParamFatCli::GetCliente(*s, typed, ""));
  }
}

// A page of 100, as the billing screen asks it. Bulk clients are named "Cliente N": "ente 4321"
// is what a user has typed on the way to client 4321 (one client at 10k, 111 at 1M).
void searchPage(benchmark::State &state, const std::string &engine, const std::string &filter) {
  auto s = bulkStore(engine, state.range(0)).session();
  for (auto _ : state) benchmark::DoNotOptimize(rdmParamFatCli::PesquisaCliente(*s, filter, "", "100"));
}

void registerEngine(const std::string &engine) {
  auto add = [&](const std::string &name, benchmark::TimeUnit unit, auto measure) {
    benchmark::RegisterBenchmark((name + "/" + engine).c_str(), measure)
        ->Arg(10000)
        ->Arg(1000000)
        ->Unit(unit);
  };
  add("GetClienteByNumber", benchmark::kMicrosecond,
      [engine](benchmark::State &st) { getClienteByNumber(st, engine); });
  add("SearchFirstPage", benchmark::kMillisecond,
      [engine](benchmark::State &st) { searchPage(st, engine, ""); });
  add("SearchNarrowed", benchmark::kMillisecond,
      [engine](benchmark::State &st) { searchPage(st, engine, "ente 4321"); });
  add("SearchNoMatch", benchmark::kMillisecond,
      [engine](benchmark::State &st) { searchPage(st, engine, "Fornecedor"); });
  // Filters the index of three-character runs alone cannot serve: one and two characters no name
  // holds, wildcards taken as written, a name typed without its accent, and a long filter many
  // names past the first clients contain ("ente 9": the clients from 9 on, after those from 1).
  add("SearchOneChar", benchmark::kMillisecond,
      [engine](benchmark::State &st) { searchPage(st, engine, "q"); });
  add("SearchTwoChars", benchmark::kMillisecond,
      [engine](benchmark::State &st) { searchPage(st, engine, "qz"); });
  add("SearchWildcard", benchmark::kMillisecond,
      [engine](benchmark::State &st) { searchPage(st, engine, "Cliente_1"); });
  add("SearchAccents", benchmark::kMillisecond,
      [engine](benchmark::State &st) { searchPage(st, engine, "clienté 4321"); });
  add("SearchManyLater", benchmark::kMillisecond,
      [engine](benchmark::State &st) { searchPage(st, engine, "ente 9"); });
}

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  registerEngine("sqlite");
  if (const char *pg = std::getenv("KDR_BENCH_PG"); pg && *pg) registerEngine("postgresql");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
