// The host's local copy against a server of many clients (bench/host_start.sh runs it):
//   bench_host_cache load PORT LOCAL_DB
//     the first load of every cached table into an empty local file, as the host's background
//     load does it; prints the seconds it took.
//   bench_host_cache save PORT LOCAL_DB ROUNDS CLIENT
//     a save of one of the client's parameter rows as the billing screen sends it, bare and
//     followed by the refresh of the local copy the screen does after it, in alternated rounds;
//     prints min/median/max of each and of the difference.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/data/clientdataset.h"
#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/net/netconnection.h"
#include "platform/rtl/exceptions.h"

namespace {

using namespace kdr;
using Clock = std::chrono::steady_clock;

const Variant::Array cachedTables{"EMPRESA", "OPERADOR", "OPERGRUPOP", "AUTGRUPOP", "CLIENTE", "PARCLIEKDR"};

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void printSpread(const char *label, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::printf("%-44s min %8.2f  median %8.2f  max %8.2f ms  (%zu rounds)\n", label, values.front(),
              values[values.size() / 2], values.back(), values.size());
}

int load() {
  const Clock::time_point start = Clock::now();
  Zelnor::AtualizaLocalCache(Variant(cachedTables));
  std::printf("first load of the local copy                 %8.2f s\n", millisecondsSince(start) / 1000);
  return 0;
}

// One round: the first row's invoice text changed, sent as the screen sends it, and the local
// copy refreshed after it when asked.
double save(TNetConnection &server, TClientDataSet &rows, int round, bool refresh) {
  rows.First();
  rows.Edit();
  rows.FieldByName("DSFATURCLIE").SetAsString("Texto da rodada " + std::to_string(round));
  rows.Post();
  const Clock::time_point start = Clock::now();
  const Variant result = server.Call("SetParamFatCli", {rows.Delta()});
  if (TNetConnection::isErrorResult(result)) throw EDatabaseError(TNetConnection::errorMessage(result));
  if (refresh) Zelnor::AtualizaLocalCache(Variant(Variant::Array{Variant("PARCLIEKDR")}));
  const double ms = millisecondsSince(start);
  rows.MergeChangeLog();
  return ms;
}

int saves(int rounds, const std::string &client) {
  TNetConnection server;
  server.ServerName = "KDR03020.rdmParamFatCli";
  Zelnor::PointAtServer(server);
  server.Open();
  TClientDataSet rows;
  rows.SetData(TNetConnection::payloadOf(server.Call("GetParamFatCli", {Variant(client)})));
  if (rows.IsEmpty()) throw EDatabaseError("o cliente " + client + " não tem parâmetros");
  std::vector<double> bare, refreshed, difference;
  for (int i = 0; i < rounds; ++i) {
    // Alternated, so that a slow moment of a shared machine weighs on both.
    const bool refreshFirst = i % 2 == 1;
    const double a = save(server, rows, 2 * i, refreshFirst);
    const double b = save(server, rows, 2 * i + 1, !refreshFirst);
    bare.push_back(refreshFirst ? b : a);
    refreshed.push_back(refreshFirst ? a : b);
    difference.push_back(refreshed.back() - bare.back());
  }
  printSpread("save of one parameter row, bare", bare);
  printSpread("save and the local copy's refresh", refreshed);
  printSpread("difference (the refresh)", difference);
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool loading = args.size() == 3 && args[0] == "load";
  const bool saving = args.size() == 5 && args[0] == "save";
  if (!loading && !saving) {
    std::fprintf(stderr, "uso: bench_host_cache load PORTA BANCO_LOCAL\n"
                         "     bench_host_cache save PORTA BANCO_LOCAL RODADAS CLIENTE\n");
    return 2;
  }
  try {
    Zelnor::config.webPort = std::stoi(args[1]);
    Zelnor::SignIn("supervisor", "supervisor");
    TdtmDBGeral db(args[2]);
    dtmDBGeral = &db;
    const int code = loading ? load() : saves(std::stoi(args[3]), args[4]);
    dtmDBGeral = nullptr;
    return code;
  } catch (const Exception &e) {
    std::fprintf(stderr, "bench_host_cache: %s\n", e.Message().c_str());
    return 1;
  }
}
