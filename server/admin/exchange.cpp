#include "server/admin/exchange.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>
#include <unordered_map>

#include "platform/rtl/utf8.h"
#include "server/errors.h"
#include "server/methods/billing.h"
#include "server/methods/delta_writer.h"
#include "server/methods/param_fat_cli.h"
#include "server/methods/row_locks.h"

namespace kdr::server {
namespace {

const DeltaTable &tableOf(ExchangeTable table) {
  return table == ExchangeTable::Params ? rdmParamFatCli::parClieKdr() : rdmParamFatCli::parEmpKdr();
}

// A rate as the spreadsheet of the file's separator writes it: "12,5" beside ";", "12.5" beside ",".
std::string numberText(double d, char separator) {
  std::string text = formatFloat(d);
  if (separator == ';') std::replace(text.begin(), text.end(), '.', ',');
  return text;
}

// Either decimal mark is read; nothing else may follow the number.
std::optional<double> numberOf(std::string text) {
  if (text.find('.') == std::string::npos) std::replace(text.begin(), text.end(), ',', '.');
  double d = 0;
  const char *end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, d);
  if (ec != std::errc() || ptr != end || !std::isfinite(d)) return std::nullopt;
  return d;
}

// Columns an export adds for people to read; an import passes over them.
const std::vector<std::string_view> readableColumns{"NMFANTCLIE", "NRINSJURCLIE", "NMTPFATU", "NMEMPRESA"};

// The codes the screens bring to their width as they are typed; a spreadsheet that took "01" for
// the number 1 gives them back short.
bool paddedCode(std::string_view column) {
  return column == "CDEMPRESA" || column == "CDTIPOSERV" || column == "CDGERENTEIMPCLI";
}

// The registration number as the client's screen shows it.
std::string shownRegistration(const Variant &personType, const Variant &number) {
  const std::string type = personType.asString(), digits = number.asString();
  const std::string_view mask = type == "F" ? "000.000.000-00" : type == "J" ? "00.000.000/0000-00" : "";
  if (mask.empty() || static_cast<std::size_t>(std::count(mask.begin(), mask.end(), '0')) != digits.size() ||
      digits != registrationDigits(digits))
    return digits;
  std::string out;
  std::size_t d = 0;
  for (char m : mask) out += m == '0' ? digits[d++] : m;
  return out;
}

constexpr std::size_t readableOnly = std::size_t(-1);
constexpr std::size_t faultsListed = 100;

// Where each header field goes: its stored column, or readableOnly.
std::vector<std::size_t> mapHeader(const DeltaTable &t, const csv::Record &header) {
  const std::string at = "Linha " + std::to_string(header.line);
  std::vector<std::size_t> out;
  for (const csv::Cell &cell : header.cells) {
    std::size_t column = t.stored.columns.size();
    for (std::size_t i = 0; i < t.stored.columns.size(); ++i)
      if (utf8::sameText(t.stored.columns[i].def.name, cell.text)) column = i;
    if (column == t.stored.columns.size()) {
      if (std::none_of(readableColumns.begin(), readableColumns.end(),
                       [&](std::string_view r) { return utf8::sameText(r, cell.text); }))
        refuse(at + ": o campo \"" + utf8::inert(cell.text) + "\" não pertence a " + t.stored.name + ".");
      column = readableOnly;
    } else if (std::find(out.begin(), out.end(), column) != out.end()) {
      refuse(at + ": o campo " + utf8::inert(cell.text) + " aparece duas vezes.");
    }
    out.push_back(column);
  }
  for (const std::string &k : t.stored.key)
    if (std::find(out.begin(), out.end(), t.stored.index(k)) == out.end())
      refuse(at + ": falta o campo " + k + ", parte da chave.");
  return out;
}

// Checks and writes the records inside the caller's transaction: a new key is an insertion, a
// row whose carried fields differ is a modification of those fields only, an equal row is left
// alone. Each row goes through the rules of a delta as it is written, in the file's order, so a
// rule that looks at rows written before (one row per billing type) sees the file's earlier rows.
// Records are written in rounds: a round's stored rows are read with one statement, its clients
// locked with one, and its history written with one, so that a row costs about one round trip
// (its write) instead of five. A fault is listed in the file's order: the round so far is
// written before a fault of reading is noted.
class Importer {
public:
  Importer(Session &s, const DeltaTable &t, const csv::Record &header, const Author &author)
      : s_(s), t_(t), author_(author), columnOf_(mapHeader(t, header)) {
    for (const Column &c : t.stored.columns) fields_.push_back(c.def);
  }

  // False once the database refused a statement: the transaction is lost, nothing more is read.
  bool read(const csv::Record &record) {
    const std::string at = "Linha " + std::to_string(record.line);
    std::vector<std::string> faults;
    std::optional<Row> values;
    if (record.cells.size() != columnOf_.size())
      faults.push_back(at + ": esperados " + std::to_string(columnOf_.size()) + " campos, há " +
                       std::to_string(record.cells.size()) + ".");
    else
      values = valuesOf(record, at, faults);
    Pending pending{record.line, {}, {}};
    if (values) {
      for (const std::string &k : t_.stored.key)
        pending.keyText += (*values)[t_.stored.index(k)].asString() + '\x1f';
      auto [seen, fresh] = firstLine_.emplace(pending.keyText, record.line);
      if (!fresh) faults.push_back(at + ": a chave repete a da linha " + std::to_string(seen->second) + ".");
    }
    if (!faults.empty()) {
      if (!writeRound()) return false;
      for (std::string &f : faults) fault(std::move(f));
      return true;
    }
    pending.values = std::move(*values);
    round_.push_back(std::move(pending));
    return round_.size() < recordsPerRound || writeRound();
  }

  // The client a record writes, when the import will take it: for locking before anything is
  // written. Nothing for a record it refuses.
  std::optional<Variant> clientOf(const csv::Record &record) {
    const std::size_t client = t_.stored.index("CDCLIENTE");
    if (record.cells.size() != columnOf_.size()) return std::nullopt;
    std::vector<std::string> faults;
    std::optional<Row> values = valuesOf(record, {}, faults);
    if (!values || (*values)[client].isUnassigned()) return std::nullopt;
    return (*values)[client];
  }

  // Raises ServiceError listing the faults found; else stores the batch's counts.
  ImportReport finish() {
    writeRound();
    if (faults_ > 0) {
      std::string list;
      for (const std::string &f : listed_) list += "\n" + f;
      if (faults_ > listed_.size())
        list += "\n... e mais " + std::to_string(faults_ - listed_.size()) + " erro(s).";
      if (notUtf8_)
        list += "\nSe o arquivo foi salvo em Windows-1252 (ANSI), salve-o como UTF-8 ou importe com "
                "--encoding cp1252.";
      refuse("Nada foi importado; corrija o arquivo:" + list);
    }
    if (batch_) {
      closeBatch(s_, batch_, report.added, report.changed);
      report.batch = batch_;
    }
    return report;
  }

  ImportReport report;

private:
  static constexpr std::size_t recordsPerRound = 500;

  // A record read and not yet written: its line, its key as text (cells joined) and its values.
  struct Pending {
    std::size_t line;
    std::string keyText;
    Row values;
  };

  // Writes the round's records in order, each refused one noted with its line. False once the
  // database refused a statement.
  bool writeRound() {
    if (round_.empty()) return true;
    std::vector<Pending> round = std::move(round_);
    round_.clear();
    std::size_t line = round.front().line;
    try {
      const std::unordered_map<std::string, Row> stored = storedRows(round);
      lockRoundClients(round);
      for (const Pending &p : round) {
        line = p.line;
        const auto found = stored.find(p.keyText);
        try {
          write(p.values, found == stored.end() ? nullptr : &found->second);
        } catch (const ServiceError &e) {
          fault("Linha " + std::to_string(p.line) + ": " + e.Message());
        }
      }
      if (history_) history_->flush();
    } catch (const EngineError &) {
      // On PostgreSQL the transaction is lost with the statement: nothing more can be read.
      fault("Linha " + std::to_string(line) + ": o banco de dados recusou a linha.");
      return false;
    }
    return true;
  }

  // The stored rows of the round's keys, by key text.
  std::unordered_map<std::string, Row> storedRows(const std::vector<Pending> &round) {
    std::string sql = "SELECT " + t_.stored.names() + " FROM " + t_.stored.name + " JOIN (VALUES ", on;
    Params keys;
    for (const Pending &p : round) {
      sql += (keys.empty() ? "(" : ", (") + placeholders(t_.stored.key.size()) + ")";
      for (const std::string &k : t_.stored.key) keys.push_back(p.values[t_.stored.index(k)]);
    }
    for (std::size_t i = 0; i < t_.stored.key.size(); ++i)
      on += (i ? " AND " : "") + t_.stored.name + "." + t_.stored.key[i] + " = V.column" +
            std::to_string(i + 1);
    std::unordered_map<std::string, Row> out;
    for (Row &row : s_.query(sql + ") V ON " + on, keys)) {
      std::string keyText;
      for (const std::string &k : t_.stored.key) keyText += row[t_.stored.index(k)].asString() + '\x1f';
      out.emplace(std::move(keyText), std::move(row));
    }
    return out;
  }

  // The round's clients, taken in code order before their rows are written (as a delta takes
  // them): where rows are locked, the file's clients were taken before the first write, and this
  // only finds them held.
  void lockRoundClients(const std::vector<Pending> &round) {
    const std::size_t client = t_.stored.index("CDCLIENTE");
    if (client == t_.stored.columns.size()) return;
    Params codes;
    for (const Pending &p : round)
      if (!p.values[client].isUnassigned()) codes.push_back(p.values[client]);
    if (!codes.empty()) lockClients(s_, "CDCLIENTE IN (" + placeholders(codes.size()) + ")", codes);
  }

  // The row as a delta against what is stored, written with the delta's rules and its history.
  void write(const Row &values, const Row *stored) {
    DataPacket delta;
    delta.fields = fields_;
    if (!stored) {
      delta.rows.push_back({RowStatus::Inserted, values});
    } else {
      Row changes(values.size(), Variant::unassigned());
      for (std::size_t k = 0; k < values.size(); ++k)
        if (!values[k].isUnassigned() && !sameStoredValue(values[k], (*stored)[k])) changes[k] = values[k];
      if (std::all_of(changes.begin(), changes.end(), [](const Variant &v) { return v.isUnassigned(); })) {
        ++report.unchanged;
        return;
      }
      delta.rows.push_back({RowStatus::Unmodified, *stored});
      delta.rows.push_back({RowStatus::Modified, std::move(changes)});
    }
    if (!history_) {
      batch_ = openBatch(s_, author_, importOperation, {}, {}, t_.stored.name);
      history_.emplace(s_, author_, batch_, recordsPerRound);
    }
    applyDelta(s_, t_, delta, &*history_, true);
    ++(stored ? report.changed : report.added);
  }

  void fault(std::string message) {
    if (++faults_ <= faultsListed) listed_.push_back(std::move(message));
  }

  // The record's values by stored column (unassigned where the file carries none); nothing when
  // a cell cannot be read, its fault added to faults.
  std::optional<Row> valuesOf(const csv::Record &record, const std::string &at,
                              std::vector<std::string> &faults) {
    Row values(t_.stored.columns.size(), Variant::unassigned());
    bool readable = true;
    for (std::size_t i = 0; i < record.cells.size(); ++i) {
      if (columnOf_[i] == readableOnly) continue;
      const csv::Cell &cell = record.cells[i];
      const Column &column = t_.stored.columns[columnOf_[i]];
      const std::string where = at + ", campo " + column.def.name + ": ";
      Variant &v = values[columnOf_[i]];
      if (cell.text.find('\0') != std::string::npos) {
        faults.push_back(where + "caractere nulo.");
        readable = false;
      } else if (!utf8::isValid(cell.text)) {
        faults.push_back(where + "o texto não está em UTF-8.");
        notUtf8_ = true;
        readable = false;
      } else if (cell.missing()) {
        v = nullptr;
      } else if (column.def.type == FieldType::Float) {
        if (auto d = numberOf(cell.text)) {
          v = *d;
        } else {
          faults.push_back(where + "\"" + cell.text + "\" não é um número.");
          readable = false;
        }
      } else if (column.def.name == "CDCLIENTE") {
        v = clientCode(cell.text);
      } else if (paddedCode(column.def.name)) {
        v = utf8::padCode(cell.text, static_cast<std::size_t>(column.def.size));
      } else {
        v = cell.text;
      }
    }
    if (!readable) return std::nullopt;
    return values;
  }

  // A client code as registered: the screens take it from the register, where a spreadsheet may
  // have taken the zeros off its left ("0101" read back as 101).
  std::string clientCode(const std::string &code) {
    const std::size_t width = static_cast<std::size_t>(t_.stored.column("CDCLIENTE").def.size);
    if (code.empty() || code.size() >= width || code.find_first_not_of("0123456789") != std::string::npos)
      return code;
    if (code == lastClient_.first) return lastClient_.second;
    std::string registered = code;
    if (!codeExists(s_, "CLIENTE", "CDCLIENTE", code)) {
      std::string sql = "SELECT CDCLIENTE FROM CLIENTE WHERE CDCLIENTE IN (?";
      Params padded{"0" + code};
      while (padded.size() < width - code.size()) {
        padded.push_back("0" + padded.back().asString());
        sql += ", ?";
      }
      Rows found = s_.query(sql + ")", padded);
      if (found.size() == 1) registered = found[0][0].asString();
    }
    lastClient_ = {code, registered};
    return registered;
  }

  Session &s_;
  const DeltaTable &t_;
  const Author &author_;
  std::vector<std::size_t> columnOf_; // per header field
  std::vector<FieldDef> fields_;      // of every delta: the stored columns
  std::unordered_map<std::string, std::size_t> firstLine_;
  std::pair<std::string, std::string> lastClient_;
  std::int64_t batch_ = 0;
  std::optional<HistoryWriter> history_;
  std::vector<Pending> round_; // read, not yet written
  std::size_t faults_ = 0;
  std::vector<std::string> listed_;
  bool notUtf8_ = false;
};

} // namespace

ExchangeTable exchangeTable(std::string_view name) {
  if (name == "params") return ExchangeTable::Params;
  if (name == "defaults") return ExchangeTable::Defaults;
  refuse("Tabela desconhecida: \"" + std::string(name) + "\". Use params ou defaults.");
}

void exportCsv(Session &s, ExchangeTable table, std::ostream &out, const ExportOptions &options) {
  const DeltaTable &t = tableOf(table);
  const bool params = table == ExchangeTable::Params;
  constexpr char separator = ';';
  std::string sql = "SELECT ", keys;
  out << csv::byteOrderMark;
  for (std::size_t i = 0; i < t.stored.columns.size(); ++i) {
    out << (i ? ";" : "") << t.stored.columns[i].def.name;
    sql += (i ? ", p." : "p.") + t.stored.columns[i].def.name;
  }
  for (const std::string &k : t.stored.key) keys += (keys.empty() ? "p." : ", p.") + k;
  if (options.readable) {
    out << (params ? ";NMFANTCLIE;NRINSJURCLIE" : "") << ";NMTPFATU;NMEMPRESA";
    sql += params ? ", c.NMFANTCLIE, c.IDTPIJURCLIE, c.NRINSJURCLIE, e.NMEMPRESA" : ", e.NMEMPRESA";
  }
  out << '\n';
  sql += " FROM " + t.stored.name + " p";
  if (options.readable) {
    if (params) sql += " LEFT JOIN CLIENTE c ON c.CDCLIENTE = p.CDCLIENTE";
    sql += " LEFT JOIN EMPRESA e ON e.CDEMPRESA = p.CDEMPRESA";
  }
  Params where;
  if (!options.client.empty()) {
    if (!params) refuse("--client vale somente para params.");
    sql += " WHERE p.CDCLIENTE = ?";
    where.emplace_back(options.client);
  }
  const std::size_t stored = t.stored.columns.size(), type = t.stored.index(t.historyType);
  Transaction tx(s, Transaction::Mode::Read);
  std::string line;
  s.scan(sql + " ORDER BY " + keys, where, [&](Row &row) {
    line.clear();
    auto cell = [&](const Variant &v) {
      line += v.kind() == Variant::Kind::Float ? numberText(v.asFloat(), separator)
                                               : csv::field(shownValue(v), separator, v.isEmpty());
    };
    for (std::size_t i = 0; i < stored; ++i) {
      if (i) line += separator;
      cell(row[i]);
    }
    if (options.readable) {
      std::vector<Variant> shown;
      if (params) shown = {row[stored], Variant(shownRegistration(row[stored + 1], row[stored + 2]))};
      shown.push_back(billingTypeText(row[type].asString()));
      shown.push_back(row.back());
      for (const Variant &v : shown) {
        line += separator;
        cell(v);
      }
    }
    out << line << '\n';
  });
  tx.commit();
}

std::string exportCsv(Session &s, ExchangeTable table, const std::string &client) {
  std::ostringstream out;
  exportCsv(s, table, out, ExportOptions{client, false});
  return out.str();
}

namespace {

// The records after the header, read once ahead for a progress's total; a file that cannot be read
// twice (a pipe) or that the reading pass refuses gives none, and the import itself says why.
std::int64_t recordsIn(std::istream &file, csv::Encoding encoding) {
  const std::streampos start = file.tellg();
  if (start == std::streampos(-1)) return 0;
  std::int64_t records = -1;
  try {
    csv::Reader reader(file, encoding);
    csv::Record record;
    while (reader.next(record)) ++records;
  } catch (const std::exception &) {
    records = 0;
  }
  file.clear();
  file.seekg(start);
  return std::max<std::int64_t>(records, 0);
}

// A file that cannot be read twice (a pipe), kept in a scratch file that is gone once read.
std::fstream spooled(std::istream &in) {
  std::string path = (std::filesystem::temp_directory_path() / "kdr-import-XXXXXX").string();
  const int fd = mkstemp(path.data());
  if (fd < 0) refuse("Não foi possível guardar o arquivo lido da entrada padrão para a importação.");
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  close(fd);
  std::filesystem::remove(path);
  file << in.rdbuf();
  file.seekg(0);
  return file;
}

// Where rows are locked, the clients a file writes are locked before the first is written, in
// code order as every writer of clients locks them: taken one by one in the file's order, an
// import and a copy or an undo of the same clients could each wait for the other. The file is read
// once ahead for it, the clients gathered in a scratch table (a million of them stay out of memory).
void lockClientsOf(Session &s, const DeltaTable &t, std::istream &file, csv::Encoding encoding,
                   const Author &author) {
  const std::streampos start = file.tellg();
  csv::Reader reader(file, encoding);
  csv::Record record;
  if (reader.next(record)) {
    Importer lookup(s, t, record, author);
    s.executeScript("CREATE TEMP TABLE IF NOT EXISTS KDR_IMPORTA_CLIENTE (" +
                    tables::cliente().declarations("CDCLIENTE") + " PRIMARY KEY)");
    s.execute("DELETE FROM KDR_IMPORTA_CLIENTE");
    Params clients;
    auto store = [&] {
      std::string rows;
      for (std::size_t i = 0; i < clients.size(); ++i) rows += i ? ", (?)" : "(?)";
      if (!clients.empty())
        s.execute("INSERT INTO KDR_IMPORTA_CLIENTE (CDCLIENTE) VALUES " + rows + " ON CONFLICT DO NOTHING",
                  clients);
      clients.clear();
    };
    while (reader.next(record)) {
      if (auto client = lookup.clientOf(record)) clients.push_back(std::move(*client));
      if (clients.size() == 500) store();
    }
    store();
    lockClients(s, "CDCLIENTE IN (SELECT CDCLIENTE FROM KDR_IMPORTA_CLIENTE)", {});
  }
  file.clear();
  file.seekg(start);
}

} // namespace

ImportReport importCsv(Session &s, ExchangeTable table, std::istream &input, const ImportOptions &options,
                       const Author &author) {
  const DeltaTable &t = tableOf(table);
  const bool lockAhead =
      !s.dialect().lockRows().empty() && t.stored.index("CDCLIENTE") < t.stored.columns.size();
  std::fstream kept;
  if (lockAhead && input.tellg() == std::streampos(-1)) kept = spooled(input);
  std::istream &file = kept.is_open() ? kept : input;
  WorkProgress quiet;
  WorkProgress &progress = options.progress ? *options.progress : quiet;
  if (options.progress) progress.begin(recordsIn(file, options.encoding));
  Transaction tx(s, Transaction::Mode::Write);
  if (lockAhead) lockClientsOf(s, t, file, options.encoding, author);
  csv::Reader reader(file, options.encoding);
  csv::Record record;
  if (!reader.next(record)) refuse("O arquivo está vazio: falta a linha de cabeçalho.");
  Importer importer(s, t, record, author);
  std::int64_t sinceTold = 0;
  while (reader.next(record) && importer.read(record)) {
    if (++sinceTold < options.recordsPerStep) continue;
    progress.advance(sinceTold);
    sinceTold = 0;
  }
  ImportReport report = importer.finish();
  if (sinceTold) progress.advance(sinceTold);
  // A dry run is the real run rolled back, so the two cannot differ.
  if (options.dryRun) return ImportReport{0, report.added, report.changed, report.unchanged};
  tx.commit();
  return report;
}

ImportReport importCsv(Session &s, ExchangeTable table, std::string_view text, bool dryRun,
                       const Author &author) {
  std::istringstream file{std::string(text)};
  return importCsv(s, table, file, ImportOptions{dryRun, csv::Encoding::Utf8}, author);
}

} // namespace kdr::server
