#include "server/admin/admin.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>

#include "platform/rtl/utf8.h"
#include "server/admin/csv.h"
#include "server/admin/exchange.h"
#include "server/admin/operators.h"
#include "server/admin/terminal_progress.h"
#include "server/admin/undo.h"
#include "server/cli/command_line.h"
#include "server/errors.h"
#include "server/history/history.h"
#include "server/history/moment.h"
#include "server/methods/billing.h"
#include "server/methods/copy_order.h"
#include "server/store/backup.h"
#include "server/store/packets.h"
#include "server/store/serving_mark.h"
#include "server/store/store.h"
#include "server/store/tables.h"

namespace kdr::server {
namespace {

// An option of a command: "--name" (a value, or a flag when form is empty) or, without dashes, a
// word in its place on the line.
struct OptionDecl {
  std::string name, form, help;
  std::optional<CLI::Validator> check = std::nullopt;
  bool required = false;
};

struct CommandDecl {
  std::string name, help;
  std::vector<OptionDecl> options;
};

constexpr std::int64_t largestBatch = 999'999'999'999'999'999;

// "1,3": billing types, each one the screens know.
CLI::Validator billingTypes() {
  return CLI::Validator(
      [](std::string &text) -> std::string {
        auto list = rdmParamFatCli::parseTargetList(text);
        if (list.everyone || list.codes.empty()) return "informe os tipos de faturamento: 1,3";
        for (const std::string &t : list.codes)
          if (!isBillingType(t)) return "tipo de faturamento inválido: \"" + t + "\" (de 1 a 6)";
        return {};
      },
      "", "tipos");
}

CLI::Validator copiedTexts() {
  return CLI::Validator(
      [](std::string &text) -> std::string {
        for (const std::string &t : rdmParamFatCli::parseTargetList(text).codes)
          if (t != "fat" && t != "bol") return "espera fat e bol, separados por vírgula, não \"" + t + "\"";
        return {};
      },
      "", "textos");
}

const std::vector<CommandDecl> &commandDecls() {
  static const std::vector<CommandDecl> commands{
      {"history",
       "Mostra o histórico das alterações gravadas, da mais antiga à mais recente.",
       {{"--client", "CÓDIGO", "só as alterações deste cliente"},
        {"--since", "DATA",
         "a partir deste dia (AAAA-MM-DD) ou momento (AAAA-MM-DD HH:MM[:SS]), na hora deste computador",
         cli::dateTime()},
        {"--batch", "LOTE", "só as alterações deste lote", cli::wholeNumber(1, largestBatch)},
        {"--csv", "", "em CSV (separado por ;) para planilhas"}}},
      {"init", "Cria o banco (ou atualiza o seu esquema) sem iniciar o servidor.", {}},
      {"status",
       "Mostra a versão do esquema, as contagens das tabelas, o último lote e se um servidor o serve.",
       {}},
      {"backup",
       "Copia o banco inteiro para um arquivo; pode ser feito com o servidor em serviço.",
       {{"ARQUIVO", "ARQUIVO", "o arquivo da cópia", std::nullopt, true}}},
      {"restore",
       "Substitui o banco pela cópia de um arquivo; recusado enquanto um servidor o serve.",
       {{"ARQUIVO", "ARQUIVO", "o arquivo da cópia (de kdr-server backup)", std::nullopt, true}}},
      {"batches", "Lista os lotes de cópia, importação e desfazer.", {}},
      {"undo",
       "Desfaz um lote: exclui as linhas que ele incluiu e restaura as que substituiu.",
       {{"LOTE", "LOTE", "o número do lote (veja kdr-server batches)", cli::wholeNumber(1, largestBatch),
         true}}},
      {"copy",
       "Copia os parâmetros de um cliente modelo para outros clientes, como a tela de cadastro automático.",
       {{"--model", "CÓDIGO", "o cliente modelo", std::nullopt, true},
        {"--types", "TIPOS", "os tipos de faturamento a copiar, separados por vírgula (1 a 6)",
         billingTypes(), true},
        {"--texts", "TEXTOS", "os textos copiados: fat, bol ou fat,bol (padrão fat,bol)", copiedTexts()},
        {"--targets", "ALVOS", "T (todos os clientes) ou os códigos dos clientes, separados por vírgula",
         std::nullopt, true},
        {"--dry-run", "", "mostra o que seria feito, sem gravar"}}},
      {"export",
       "Escreve uma tabela em CSV na saída.",
       {{"TABELA", "TABELA", "params (parâmetros dos clientes) ou defaults (descrições padrão)",
         cli::oneOf({"params", "defaults"}), true},
        {"--client", "CÓDIGO", "só os parâmetros deste cliente"},
        {"--readable", "",
         "com colunas de leitura (nome do cliente, inscrição, tipo), que a importação ignora"}}},
      {"import",
       "Lê um CSV e grava as linhas novas e as alteradas, tudo ou nada.",
       {{"TABELA", "TABELA", "params ou defaults", cli::oneOf({"params", "defaults"}), true},
        {"ARQUIVO", "ARQUIVO", "o arquivo CSV, ou - para a entrada", std::nullopt, true},
        {"--encoding", "CODIFICAÇÃO", "utf-8 (o padrão) ou cp1252, a de planilhas antigas do Windows",
         cli::oneOf({"utf-8", "cp1252"})},
        {"--dry-run", "", "verifica o arquivo inteiro, sem gravar"}}},
      {"operator",
       "Grava a senha de um operador (set-password OPERADOR: do terminal, sem eco, ou da entrada) ou lista "
       "os operadores, se têm senha e as suas autorizações (list).",
       {{"AÇÃO", "AÇÃO", "set-password ou list", cli::oneOf({"set-password", "list"}), true},
        {"OPERADOR", "OPERADOR", "o código do operador (de set-password)"}}},
  };
  return commands;
}

const CommandDecl *findCommand(std::string_view name) {
  for (const CommandDecl &c : commandDecls())
    if (c.name == name) return &c;
  return nullptr;
}

// The command line as the command's body reads it: the options given (values already checked),
// the flags given and the words in their places.
struct Arguments {
  std::string db;
  std::map<std::string, std::string, std::less<>> options;
  std::vector<std::string> words;
  std::vector<std::string> flags;

  std::string option(std::string_view name) const {
    auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
  }
  bool flag(std::string_view name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
  }
};

// Parses the command's line; nullopt when it only asked for help or the version (printed on out).
std::optional<Arguments> parseArguments(const CommandDecl &command, const std::vector<std::string> &args,
                                        const cli::Environment &env, std::ostream &out) {
  cli::CommandLine line("kdr-server " + command.name, command.help);
  Arguments a;
  line.setting("db", a.db, "o banco: sqlite:CAMINHO ou postgresql://...")
      ->check(cli::databaseUrl())
      ->type_name("URL");
  std::vector<std::pair<const OptionDecl *, CLI::Option *>> declared;
  for (const OptionDecl &o : command.options) {
    CLI::Option *option = o.form.empty() ? line.app().add_flag(o.name, o.help)
                                         : line.app().add_option(o.name, o.help)->type_name(o.form);
    if (o.check) option->check(*o.check);
    if (o.required) option->required();
    declared.emplace_back(&o, option);
  }
  if (!line.parse(std::vector<std::string>(args.begin() + 1, args.end()), env, out)) return std::nullopt;
  line.require("db");
  for (auto [o, option] : declared) {
    if (option->count() == 0) continue;
    if (o->form.empty())
      a.flags.push_back(o->name);
    else if (o->name.rfind("--", 0) == 0)
      a.options[o->name] = option->as<std::string>();
    else
      a.words.push_back(option->as<std::string>());
  }
  return a;
}

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

// A batch number, already checked by the command line.
std::int64_t batchNumber(const std::string &text) { return std::stoll(text); }

int history(Store &store, const Arguments &a, std::ostream &out) {
  // The administrator types and reads times on the clock of this machine; the history keeps UTC.
  const std::string since = a.option("--since");
  HistoryFilter filter{a.option("--client"), since.empty() ? since : utcFromLocal(since), std::nullopt};
  if (a.options.count("--batch")) filter.batch = batchNumber(a.option("--batch"));
  auto s = store.session();
  // A page at a time, so that the longest history is never held whole; the table's columns are
  // aligned within each page.
  std::string position;
  bool first = true;
  do {
    HistoryPage page = readHistoryPage(*s, filter, position);
    position = std::move(page.next);
    for (HistoryEntry &e : page.entries) e.when = localMoment(e.when);
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
    rows.push_back({std::to_string(b.number), localMoment(b.when), b.user, b.operation, b.model, b.types,
                    targets, std::to_string(b.added), std::to_string(b.replaced), state});
  }
  printTable(
      out,
      {"lote", "quando", "quem", "operação", "modelo", "tipos", "alvos", "incluídas", "substituídas", ""},
      rows);
  return 0;
}

int undo(Store &store, const Arguments &a, std::ostream &out, std::ostream *shown) {
  std::int64_t batch = batchNumber(a.words[0]);
  auto s = store.session();
  UndoReport r = [&] {
    TerminalProgress terminal(shown, "desfazendo", "linhas");
    return undoBatch(*s, batch, commandAuthor("undo"), &terminal.progress());
  }();
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

// A code that names no client would make the copy run over nobody and still report success.
void requireTargets(Session &s, const std::string &targets) {
  for (const std::string &code : rdmParamFatCli::parseTargetList(targets).codes)
    if (s.query("SELECT 1 FROM CLIENTE WHERE CDCLIENTE = ?", {code}).empty())
      throw ServiceError(ErrorCode::NotFound, "Cliente " + code + " não cadastrado.");
}

int copy(Store &store, const Arguments &a, std::ostream &out, std::ostream *shown) {
  std::string model = a.option("--model"), targets = a.option("--targets");
  auto s = store.session();
  requireTargets(*s, targets);
  std::string texts = a.options.count("--texts") ? a.option("--texts") : "fat,bol";
  DataPacket order = copyOrder(*s, model, a.option("--types"), texts);
  if (!a.flag("--dry-run")) {
    rdmParamFatCli::CopyReport r = [&] {
      TerminalProgress terminal(shown, "copiando", "clientes");
      return rdmParamFatCli::GeraAutomParam(*s, targets, model, order, commandAuthor("copy"),
                                            {&terminal.progress()});
    }();
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
             std::ostream &out, std::ostream *shown) {
  auto s = store.session();
  if (command == "export") {
    exportCsv(*s, exchangeTable(a.words[0]), out, ExportOptions{a.option("--client"), a.flag("--readable")});
    return 0;
  }
  bool dryRun = a.flag("--dry-run");
  ImportOptions options{dryRun,
                        csv::encodingNamed(a.options.count("--encoding") ? a.option("--encoding") : "utf-8")};
  std::ifstream file;
  if (a.words[1] != "-") {
    file.open(a.words[1], std::ios::binary);
    if (!file) refuse("Não foi possível ler o arquivo " + a.words[1] + ".");
  }
  ImportReport r = [&] {
    TerminalProgress terminal(shown, "importando", "registros");
    options.progress = &terminal.progress();
    return importCsv(*s, exchangeTable(a.words[0]), a.words[1] == "-" ? in : file, options,
                     commandAuthor("import"));
  }();
  out << (dryRun    ? "Verificado, nada foi gravado (--dry-run): "
          : r.batch ? "Lote " + std::to_string(r.batch) + ": "
                    : "")
      << r.added << " linha(s) incluída(s), " << r.changed << " alterada(s), " << r.unchanged
      << " sem mudança.\n";
  return 0;
}

int operators(Store &store, const Arguments &a, std::istream &in, std::ostream &out, std::ostream &err) {
  if (a.words[0] == "set-password") {
    if (a.words.size() < 2) throw cli::UsageError("set-password precisa do código do operador");
    return setPasswordCommand(store, a.words[1], in, out, err);
  }
  if (a.words.size() > 1) throw cli::UsageError("list não recebe um operador");
  printTable(out, {"operador", "nome", "senha", "grupos", "autorizações"}, operatorRows(store));
  return 0;
}

int init(const std::string &url, std::ostream &out) {
  auto store = Store::open(url);
  out << "Banco pronto na versão " << store->schemaVersion() << " do esquema.\n";
  return 0;
}

// What an administrator checks first: which schema, how much data, the last bulk change, and
// whether a server is serving the database right now. Reads only; any schema version is shown.
int status(const std::string &url, std::ostream &out) {
  auto store = Store::openExisting(url, Store::Schema::Any);
  const int version = store->schemaVersion();
  out << "esquema: versão " << version << " (este kdr-server usa a " << store->knownSchemaVersion() << ")\n";
  auto s = store->session();
  auto count = [&](std::string_view label, std::string_view table) {
    if (s->query(std::string(store->dialect().countTables()), {std::string(table)})[0][0].asInteger() == 0)
      return;
    out << label << ": " << s->query("SELECT COUNT(*) FROM " + std::string(table))[0][0].asInteger() << "\n";
  };
  count("clientes", "CLIENTE");
  count("empresas", "EMPRESA");
  count("parâmetros de faturamento", "PARCLIEKDR");
  count("descrições padrão", "PAREMPKDR");
  count("alterações no histórico", "KDR_HISTORICO");
  if (s->query(std::string(store->dialect().countTables()), {"KDR_LOTE"})[0][0].asInteger() > 0) {
    Rows last =
        s->query("SELECT NRLOTE, DTLOTE, NMUSUARIO, NMOPERACAO FROM KDR_LOTE ORDER BY NRLOTE DESC LIMIT 1");
    out << "último lote: "
        << (last.empty() ? std::string("nenhum")
                         : last[0][0].asString() + ", " + last[0][1].asString() + " UTC, " +
                               last[0][2].asString() + ", " + last[0][3].asString())
        << "\n";
  }
  const int servers = ServingMark::servers(*store, url);
  out << "servidor: " << (servers ? "em serviço" : "nenhum servidor em serviço");
  if (servers > 1) out << " (" << servers << " servidores)";
  out << "\n";
  return 0;
}

int run(const Arguments &a, const std::string &command, std::istream &in, std::ostream &out,
        std::ostream &err, std::ostream *shown) {
  if (command == "init") return init(a.db, out);
  if (command == "status") return status(a.db, out);
  if (command == "backup") {
    backupDatabase(a.db, a.words[0]);
    out << "Cópia gravada em " << a.words[0] << ".\n";
    return 0;
  }
  if (command == "restore") {
    restoreDatabase(a.db, a.words[0]);
    out << "Banco restaurado de " << a.words[0] << ".\n";
    return 0;
  }
  // Never creates nor migrates: a mistyped path is an error, not a new empty database.
  auto store = Store::openExisting(a.db);
  if (command == "operator") return operators(*store, a, in, out, err);
  if (command == "history") return history(*store, a, out);
  if (command == "batches") return batches(*store, out);
  if (command == "undo") return undo(*store, a, out, shown);
  if (command == "copy") return copy(*store, a, out, shown);
  return exchange(*store, command, a, in, out, shown);
}

} // namespace

bool isAdminCommand(std::string_view word) { return findCommand(word) != nullptr; }

std::string adminCommandList() {
  std::string text = "Comandos do administrador (kdr-server COMANDO --help mostra as opções de cada um):\n";
  for (const CommandDecl &c : commandDecls()) {
    std::string name = "  " + c.name;
    text += name + std::string(name.size() < 12 ? 12 - name.size() : 1, ' ') + c.help + "\n";
  }
  return text;
}

int runAdminCommand(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
                    std::ostream &err, const std::map<std::string, std::string> &env, bool showProgress) {
  const CommandDecl &command = *findCommand(args.at(0));
  const std::string program = "kdr-server " + command.name;
  try {
    std::optional<Arguments> a = parseArguments(command, args, env, out);
    return a ? run(*a, command.name, in, out, err, showProgress ? &err : nullptr) : 0;
  } catch (const cli::UsageError &e) {
    err << program << ": " << e.what() << "\n"
        << "Veja " << program << " --help.\n";
    return 2;
  } catch (const ServiceError &e) {
    err << program << ": " << e.Message() << "\n";
  } catch (const std::exception &e) {
    err << program << ": " << e.what() << "\n";
  }
  return 1;
}

int runAdminCommand(const std::vector<std::string> &args, std::istream &in, std::ostream &out,
                    std::ostream &err, bool showProgress) {
  return runAdminCommand(args, in, out, err, cli::processEnvironment(), showProgress);
}

} // namespace kdr::server
