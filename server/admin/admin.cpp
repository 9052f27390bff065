#include "server/admin/admin.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>

#include "platform/rtl/utf8.h"
#include "server/admin/csv.h"
#include "server/admin/exchange.h"
#include "server/admin/undo.h"
#include "server/errors.h"
#include "server/history/history.h"
#include "server/methods/copy_order.h"
#include "server/store/packets.h"
#include "server/store/store.h"
#include "server/store/tables.h"

namespace kdr::server {
namespace {

const char *const usage =
    "uso: kdr-server history --db URL [--client CÓDIGO] [--since DATA] [--batch N] [--csv]\n"
    "     kdr-server batches --db URL\n"
    "     kdr-server undo --db URL LOTE\n"
    "     kdr-server copy --db URL --model CÓDIGO --types 1,3 [--texts fat,bol] --targets T|CÓDIGOS "
    "[--dry-run]\n"
    "     kdr-server export --db URL params|defaults [--client CÓDIGO] [--readable]\n"
    "     kdr-server import --db URL params|defaults ARQUIVO|- [--dry-run] [--encoding utf-8|cp1252]\n";

const std::vector<std::string_view> commands{"history", "batches", "undo", "copy", "export", "import"};

class UsageError : public std::exception {};

// Options of the form --name VALUE, flags (--csv, --dry-run) and plain words, in any order.
struct Arguments {
  std::map<std::string, std::string, std::less<>> options;
  std::vector<std::string> words;
  std::vector<std::string> flags;

  Arguments(const std::vector<std::string> &args, const std::vector<std::string_view> &known,
            const std::vector<std::string_view> &knownFlags) {
    for (std::size_t i = 1; i < args.size(); ++i) {
      const std::string &a = args[i];
      if (a.rfind("--", 0) != 0) {
        words.push_back(a);
      } else if (std::find(knownFlags.begin(), knownFlags.end(), a) != knownFlags.end()) {
        flags.push_back(a);
      } else if (std::find(known.begin(), known.end(), a) != known.end() && i + 1 < args.size()) {
        options[a] = args[++i];
      } else {
        throw UsageError();
      }
    }
    if (!options.count("--db")) throw UsageError();
  }
  std::string option(std::string_view name) const {
    auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
  }
  bool flag(std::string_view name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
  }
};

// Who runs the command, for the history: the login of this process.
Author commandAuthor(std::string_view command) {
  std::string user;
  if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_name) user = pw->pw_name;
  if (const char *env = std::getenv("USER"); user.empty() && env) user = env;
  return Author{user, 0, std::string(command)};
}

// Columns padded to their widest value, counted in characters; the header line only when asked.
void printTable(std::ostream &out, const std::vector<std::string> &header,
                const std::vector<std::vector<std::string>> &rows, bool headerLine = true) {
  std::vector<std::size_t> width(header.size());
  for (std::size_t i = 0; i < header.size(); ++i) width[i] = utf8::length(header[i]);
  for (const auto &r : rows)
    for (std::size_t i = 0; i < r.size(); ++i) width[i] = std::max(width[i], utf8::length(r[i]));
  auto line = [&](const std::vector<std::string> &cells) {
    std::string text;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      text += cells[i];
      if (i + 1 < cells.size()) text += std::string(width[i] - utf8::length(cells[i]) + 2, ' ');
    }
    out << text << '\n';
  };
  if (headerLine) line(header);
  for (const auto &r : rows) line(r);
}

std::string numberOrBlank(std::int64_t n) { return n ? std::to_string(n) : std::string(); }

std::int64_t batchNumber(const std::string &text) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    refuse("O lote deve ser um número: \"" + text + "\".");
  return std::stoll(text);
}

int history(Store &store, const Arguments &a, std::ostream &out) {
  HistoryFilter filter{a.option("--client"), a.option("--since"), std::nullopt};
  if (a.options.count("--batch")) filter.batch = batchNumber(a.option("--batch"));
  auto s = store.session();
  // A page at a time, so that the longest history is never held whole; the table's columns are
  // aligned within each page.
  std::string position;
  bool first = true;
  do {
    HistoryPage page = readHistoryPage(*s, filter, position);
    position = std::move(page.next);
    if (a.flag("--csv")) {
      const Variant table = historyPacket(page.entries);
      const DataPacket &packet = *table.packet();
      if (first) {
        out << csv::byteOrderMark;
        for (std::size_t i = 0; i < packet.fields.size(); ++i) out << (i ? ";" : "") << packet.fields[i].name;
        out << '\n';
      }
      for (const PacketRow &r : packet.rows) {
        for (std::size_t i = 0; i < r.values.size(); ++i)
          out << (i ? ";" : "") << csv::field(shownValue(r.values[i]), ';', r.values[i].isEmpty());
        out << '\n';
      }
    } else {
      std::vector<std::vector<std::string>> rows;
      for (const HistoryEntry &e : page.entries)
        for (const FieldChange &f : shownFields(e.change))
          rows.push_back({e.when, utf8::inert(e.user), numberOrBlank(e.request), utf8::inert(e.method),
                          e.batch ? std::to_string(*e.batch) : "", e.change.table,
                          utf8::inert(keyText(e.change)),
                          std::string(1, static_cast<char>(e.change.operation)), f.name,
                          utf8::inert(shownValue(f.before)), utf8::inert(shownValue(f.after))});
      printTable(
          out,
          {"quando", "quem", "pedido", "método", "lote", "tabela", "chave", "op", "campo", "antes", "depois"},
          rows, first);
    }
    first = false;
  } while (!position.empty());
  return 0;
}

int batches(Store &store, std::ostream &out) {
  auto s = store.session();
  std::vector<std::vector<std::string>> rows;
  for (const BatchInfo &b : listBatches(*s)) {
    std::string state = b.undoes     ? "desfaz o lote " + std::to_string(*b.undoes)
                        : b.undoneBy ? "desfeito pelo lote " + std::to_string(*b.undoneBy)
                                     : "";
    std::string targets = utf8::length(b.targets) > 40 ? utf8::cut(b.targets, 37) + "..." : b.targets;
    rows.push_back({std::to_string(b.number), b.when, b.user, b.operation, b.model, b.types, targets,
                    std::to_string(b.added), std::to_string(b.replaced), state});
  }
  printTable(
      out,
      {"lote", "quando", "quem", "operação", "modelo", "tipos", "alvos", "incluídas", "substituídas", ""},
      rows);
  return 0;
}

int undo(Store &store, const Arguments &a, std::ostream &out) {
  if (a.words.size() != 1) throw UsageError();
  std::int64_t batch = batchNumber(a.words[0]);
  auto s = store.session();
  UndoReport r = undoBatch(*s, batch, commandAuthor("undo"));
  out << "Lote " << batch << " desfeito pelo lote " << r.batch << ": " << r.removed
      << " linha(s) excluída(s), " << r.restored << " linha(s) restaurada(s).\n";
  return 0;
}

// The order the copy screen sends: one row per model row of the chosen types, carrying the chosen
// texts of that row (null for a text not copied).
DataPacket copyOrder(Session &s, const std::string &model, const std::string &types,
                     const std::string &texts) {
  bool invoice = false, slip = false;
  std::vector<std::string> chosen;
  for (const std::string &t : rdmParamFatCli::parseTargetList(texts).codes) {
    if (t == "fat")
      invoice = true;
    else if (t == "bol")
      slip = true;
    else
      refuse("--texts aceita fat e bol, separados por vírgula: \"" + t + "\".");
  }
  for (const std::string &t : rdmParamFatCli::parseTargetList(types).codes) chosen.push_back(t);
  if (chosen.empty()) refuse("Informe os tipos de faturamento a copiar: --types 1,3.");
  DataPacket order;
  order.fields = tables::parClieKdr().fields({"IDTPFATUCLIE", "DSFATURCLIE", "DSBOLETCLIE"});
  Rows rows = s.query("SELECT " + columnList(order.fields) +
                          " FROM PARCLIEKDR WHERE CDCLIENTE = ? "
                          "ORDER BY IDTPFATUCLIE, CDEMPRESA",
                      {model});
  for (const std::string &type : chosen) {
    bool found = false;
    for (const Row &r : rows)
      if (r[0].asString() == type) {
        order.rows.push_back(
            {RowStatus::Inserted, {r[0], invoice ? r[1] : Variant(nullptr), slip ? r[2] : Variant(nullptr)}});
        found = true;
      }
    if (!found)
      refuse("O cliente modelo " + model + " não tem parâmetro do tipo de faturamento " + type + ".");
  }
  return order;
}

int copy(Store &store, const Arguments &a, std::ostream &out) {
  std::string model = a.option("--model"), targets = a.option("--targets");
  if (model.empty() || targets.empty() || !a.words.empty()) throw UsageError();
  auto s = store.session();
  std::string texts = a.options.count("--texts") ? a.option("--texts") : "fat,bol";
  DataPacket order = copyOrder(*s, model, a.option("--types"), texts);
  if (!a.flag("--dry-run")) {
    rdmParamFatCli::CopyReport r =
        rdmParamFatCli::GeraAutomParam(*s, targets, model, order, commandAuthor("copy"));
    out << "Lote " << r.batch << ": " << r.clients << " cliente(s), " << r.added << " linha(s) incluída(s), "
        << r.replaced << " substituída(s).\n";
    return 0;
  }
  rdmParamFatCli::CopyPreview p = rdmParamFatCli::previewGeraAutomParam(*s, targets, model, order);
  std::vector<std::vector<std::string>> rows;
  for (const auto &t : p.targets)
    rows.push_back(
        {t.client, std::to_string(t.added), t.addedRows, std::to_string(t.replaced), t.replacedRows});
  printTable(out, {"cliente", "incluir", "tipo/empresa", "substituir", "tipo/empresa"}, rows);
  out << "Total: " << p.totals.clients << " cliente(s), " << p.totals.added << " linha(s) a incluir, "
      << p.totals.replaced << " a substituir. Nada foi gravado (--dry-run).\n";
  return 0;
}

int exchange(Store &store, const std::string &command, const Arguments &a, std::istream &in,
             std::ostream &out) {
  auto s = store.session();
  if (command == "export") {
    if (a.words.size() != 1) throw UsageError();
    exportCsv(*s, exchangeTable(a.words[0]), out, ExportOptions{a.option("--client"), a.flag("--readable")});
    return 0;
  }
  if (a.words.size() != 2) throw UsageError();
  bool dryRun = a.flag("--dry-run");
  ImportOptions options{dryRun,
                        csv::encodingNamed(a.options.count("--encoding") ? a.option("--encoding") : "utf-8")};
  std::ifstream file;
  if (a.words[1] != "-") {
    file.open(a.words[1], std::ios::binary);
    if (!file) refuse("Não foi possível ler o arquivo " + a.words[1] + ".");
  }
  ImportReport r = importCsv(*s, exchangeTable(a.words[0]), a.words[1] == "-" ? in : file, options,
                             commandAuthor("import"));
  out << (dryRun    ? "Verificado, nada foi gravado (--dry-run): "
          : r.batch ? "Lote " + std::to_string(r.batch) + ": "
                    : "")
      << r.added << " linha(s) incluída(s), " << r.changed << " alterada(s), " << r.unchanged
      << " sem mudança.\n";
  return 0;
}

int run(const std::vector<std::string> &args, std::istream &in, std::ostream &out) {
  const std::string &command = args.at(0);
  const std::vector<std::string_view> known{"--db",    "--client", "--since",   "--batch",   "--model",
                                            "--types", "--texts",  "--targets", "--encoding"};
  Arguments a(args, known, {"--csv", "--dry-run", "--readable"});
  auto store = Store::open(a.option("--db"));
  if (command == "history") return history(*store, a, out);
  if (command == "batches") return batches(*store, out);
  if (command == "undo") return undo(*store, a, out);
  if (command == "copy") return copy(*store, a, out);
  return exchange(*store, command, a, in, out);
}

} // namespace

bool isAdminCommand(std::string_view word) {
  return std::find(commands.begin(), commands.end(), word) != commands.end();
}

int runAdminCommand(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
                    std::ostream &err) {
  try {
    return run(args, in, out);
  } catch (const UsageError &) {
    err << usage;
    return 2;
  } catch (const ServiceError &e) {
    err << "kdr-server " << args.at(0) << ": " << e.Message() << "\n";
  } catch (const std::exception &e) {
    err << "kdr-server " << args.at(0) << ": " << e.what() << "\n";
  }
  return 1;
}

} // namespace kdr::server
