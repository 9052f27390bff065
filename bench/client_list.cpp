// The automatic registration's client list in its Qt dialog over the host's local copy: the time
// from opening the screen's query (every client but the model 1, by registration number) to the
// dialog showing its rows, then marks on two clients found by typing, confirmed, and the peak
// memory of the whole process. The query and its fields are the screen's; the dialog is the
// host's list service, as the screen calls it. Run on the offscreen platform when there is no
// display. Prints "list-shown MS ROWS", "list-typed MS ROWS TEXT" for each filter (its rows
// shown), "list-chosen MS SELECTION-LENGTH" and "peak-mb MB".
//   bench_client_list LOCAL_DB [FILTER...]     default filters "Cliente 4321" "Cliente 98765"
#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/data/datasource.h"
#include "platform/host/adoibquery.h"
#include "platform/host/dialog_services.h"
#include "platform/host/localdb.h"
#include "platform/qt/qtdialogs.h"
#include "platform/qt/qtwidgetset.h"
#include "platform/rtl/exceptions.h"
#include "tests/support/client_list.h"

using namespace kdr;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024;
}

// Marks the first row holding each filter's text, as a user types it and ticks the box (an empty
// filter: the first row, nothing typed). Prints the time each text took to show its rows.
void markFound(qt::SearchDialog &dialog, const std::vector<std::string> &filters) {
  for (const std::string &text : filters) {
    const Clock::time_point typed = Clock::now();
    dialog.filter()->setText(QString::fromStdString(text));
    QApplication::processEvents();
    QTableWidget &table = *dialog.table();
    int shown = 0;
    for (int row = 0; row < table.rowCount(); ++row) shown += table.isRowHidden(row) ? 0 : 1;
    std::printf("list-typed %.3f %d %s\n", msSince(typed), shown, text.c_str());
    for (int row = 0; row < table.rowCount(); ++row) {
      if (table.isRowHidden(row)) continue;
      table.item(row, 0)->setCheckState(Qt::Checked);
      break;
    }
  }
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_client_list LOCAL_DB [FILTER...]\n");
    return 2;
  }
  std::vector<std::string> filters(argv + 2, argv + argc);
  if (filters.empty()) filters = {"Cliente 4321", "Cliente 98765"};
  qt::install(argc, argv);
  try {
    TdtmDBGeral db(argv[1]);
    dtmDBGeral = &db;
    TADOIBQuery clients;
    test::declareClientList(clients);
    TDataSource source;
    source.SetDataSet(&clients.Query);

    const Clock::time_point start = Clock::now();
    Clock::time_point chosenFrom;
    // Runs once the list's own event loop turns: the dialog is up with its rows.
    QTimer::singleShot(0, [&] {
      auto *dialog = dynamic_cast<qt::SearchDialog *>(QApplication::activeModalWidget());
      if (dialog == nullptr) {
        std::fprintf(stderr, "the list dialog did not open\n");
        std::exit(1);
      }
      std::printf("list-shown %.3f %d\n", msSince(start), dialog->table()->rowCount());
      std::fflush(stdout);
      chosenFrom = Clock::now();
      markFound(*dialog, filters);
      dialog->accept();
    });
    clients.Open();
    std::string selection;
    if (!Pesqlista::PesquisaLista(source, "CDCLIENTE", "Cliente|Cliente não cadastrado.", false, selection)) {
      std::fprintf(stderr, "the list was not confirmed\n");
      return 1;
    }
    std::printf("list-chosen %.3f %zu\n", msSince(chosenFrom), selection.size());
    std::printf("selection %s\n", selection.c_str());
    std::printf("peak-mb %.1f\n", peakMegabytes());
    dtmDBGeral = nullptr;
    return 0;
  } catch (const Exception &e) {
    std::fprintf(stderr, "bench_client_list: %s\n", e.Message().c_str());
    return 1;
  }
}
