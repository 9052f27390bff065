// The billing screen's client search in its Qt dialog against a server of many clients: the time
// from asking the first page to the dialog showing its rows, and from a filter typed to the
// dialog showing the clients matching it (each page asked as the screen asks it: PesquisaCliente,
// 100 rows, decoded into a client dataset). Run on the offscreen platform when there is no
// display. Prints "first-rows MS ROWS" and "filtered-rows MS ROWS".
//   bench_search_dialog PORT [FILTER]     default filter "ente 4321"
#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"
#include "platform/net/netconnection.h"
#include "platform/qt/qtdialogs.h"
#include "platform/qt/qtwidgetset.h"

using namespace kdr;

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_search_dialog PORT [FILTER]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const std::string typed = argc > 2 ? argv[2] : "ente 4321";
  qt::install(argc, argv);

  TNetConnection server;
  server.ServerName = "KDR03020.rdmParamFatCli";
  server.Port = port;
  server.Token = server.OpenSession("supervisor", "supervisor").key;
  TClientDataSet clients;
  TDataSource source;
  source.SetDataSet(&clients);
  std::string filter;
  auto page = [&](const std::string &text, const std::string &after) {
    const Variant answer = server.Call("PesquisaCliente", {text, after, "100"});
    if (!answer.isArray() || !answer.array()[0].asBoolean()) {
      std::fprintf(stderr, "PesquisaCliente failed\n");
      std::exit(1);
    }
    return answer.array()[1];
  };
  SearchPages pages{[&](const std::string &text) {
                      filter = text;
                      clients.SetData(page(text, ""));
                    },
                    [] { return false; }};

  auto start = std::chrono::steady_clock::now();
  clients.SetData(page("", ""));
  qt::SearchDialog dialog("Cliente", source, false, {}, &pages);
  dialog.show();
  QApplication::processEvents();
  std::printf("first-rows %.3f %d\n", msSince(start), dialog.table()->rowCount());

  start = std::chrono::steady_clock::now();
  dialog.filter()->setText(QString::fromStdString(typed));
  QApplication::processEvents();
  std::printf("filtered-rows %.3f %d\n", msSince(start), dialog.table()->rowCount());
  return 0;
}
