#include "server/admin/exchange.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "platform/rtl/utf8.h"
#include "server/admin/csv.h"
#include "server/errors.h"
#include "server/methods/delta_writer.h"
#include "server/methods/param_fat_cli.h"

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

// Where each header field goes: its stored column.
std::vector<std::size_t> mapHeader(const DeltaTable &t, const csv::Record &header) {
  std::vector<std::size_t> out;
  for (const csv::Cell &cell : header.cells) {
    std::size_t column = t.stored.columns.size();
    for (std::size_t i = 0; i < t.stored.columns.size(); ++i)
      if (utf8::sameText(t.stored.columns[i].def.name, cell.text)) column = i;
    if (column == t.stored.columns.size())
      refuse("Linha " + std::to_string(header.line) + ": o campo \"" + cell.text + "\" não pertence a " +
             t.stored.name + ".");
    if (std::find(out.begin(), out.end(), column) != out.end())
      refuse("Linha " + std::to_string(header.line) + ": o campo " + cell.text + " aparece duas vezes.");
    out.push_back(column);
  }
  for (const std::string &k : t.stored.key)
    if (std::find(out.begin(), out.end(), t.stored.index(k)) == out.end())
      refuse("Linha " + std::to_string(header.line) + ": falta o campo " + k + ", parte da chave.");
  return out;
}

// Reads the records into a delta against what is stored: a new key is an insertion, a row whose
// carried fields differ is a modification of those fields only; an equal row is left alone.
class ImportReader {
public:
  ImportReader(Session &s, const DeltaTable &t, const csv::Table &file)
      : s_(s), t_(t), file_(file), columnOf_(mapHeader(t, file.records.at(0))) {
    delta.fields.reserve(t.stored.columns.size());
    for (const Column &c : t.stored.columns) delta.fields.push_back(c.def);
  }

  void run() {
    for (std::size_t r = 1; r < file_.records.size(); ++r) read(file_.records[r]);
    for (const RowFault &f : checkDelta(s_, t_, delta))
      faults.push_back("Linha " + std::to_string(lineOfRow[f.row]) + ": " + f.message);
  }

  DataPacket delta;
  std::vector<std::size_t> lineOfRow; // per delta row
  std::vector<std::string> faults;
  ImportReport report;

private:
  void read(const csv::Record &record) {
    const std::string at = "Linha " + std::to_string(record.line);
    if (record.cells.size() != columnOf_.size()) {
      faults.push_back(at + ": esperados " + std::to_string(columnOf_.size()) + " campos, há " +
                       std::to_string(record.cells.size()) + ".");
      return;
    }
    Row values(t_.stored.columns.size(), Variant::unassigned());
    bool readable = true;
    for (std::size_t i = 0; i < record.cells.size(); ++i) {
      const csv::Cell &cell = record.cells[i];
      const Column &column = t_.stored.columns[columnOf_[i]];
      Variant &v = values[columnOf_[i]];
      if (cell.missing()) {
        v = nullptr;
      } else if (column.def.type != FieldType::Float) {
        v = cell.text;
      } else if (auto d = numberOf(cell.text)) {
        v = *d;
      } else {
        faults.push_back(at + ", campo " + column.def.name + ": \"" + cell.text + "\" não é um número.");
        readable = false;
      }
    }
    if (!readable) return;
    Params key;
    std::string where, keyText;
    for (const std::string &k : t_.stored.key) {
      where += (where.empty() ? "" : " AND ") + k + " = ?";
      key.push_back(values[t_.stored.index(k)]);
      keyText += shownValue(key.back()) + '\x1f';
    }
    auto [seen, fresh] = firstLine_.emplace(keyText, record.line);
    if (!fresh) {
      faults.push_back(at + ": a chave repete a da linha " + std::to_string(seen->second) + ".");
      return;
    }
    Rows stored =
        s_.query("SELECT " + t_.stored.names() + " FROM " + t_.stored.name + " WHERE " + where, key);
    if (stored.empty()) {
      delta.rows.push_back({RowStatus::Inserted, values});
      lineOfRow.push_back(record.line);
      ++report.added;
      return;
    }
    Row changes(t_.stored.columns.size(), Variant::unassigned());
    bool any = false;
    for (std::size_t k = 0; k < values.size(); ++k)
      if (!values[k].isUnassigned() && !sameStoredValue(values[k], stored[0][k])) {
        changes[k] = values[k];
        any = true;
      }
    if (!any) {
      ++report.unchanged;
      return;
    }
    delta.rows.push_back({RowStatus::Unmodified, stored[0]});
    delta.rows.push_back({RowStatus::Modified, changes});
    lineOfRow.push_back(record.line);
    lineOfRow.push_back(record.line);
    ++report.changed;
  }

  Session &s_;
  const DeltaTable &t_;
  const csv::Table &file_;
  std::vector<std::size_t> columnOf_;
  std::map<std::string, std::size_t> firstLine_;
};

} // namespace

ExchangeTable exchangeTable(std::string_view name) {
  if (name == "params") return ExchangeTable::Params;
  if (name == "defaults") return ExchangeTable::Defaults;
  refuse("Tabela desconhecida: \"" + std::string(name) + "\". Use params ou defaults.");
}

std::string exportCsv(Session &s, ExchangeTable table, const std::string &client) {
  const DeltaTable &t = tableOf(table);
  constexpr char separator = ';';
  std::string out(csv::byteOrderMark);
  for (std::size_t i = 0; i < t.stored.columns.size(); ++i)
    out += (i ? ";" : "") + t.stored.columns[i].def.name;
  out += '\n';
  std::string sql = "SELECT " + t.stored.names() + " FROM " + t.stored.name;
  Params params;
  if (!client.empty()) {
    if (table != ExchangeTable::Params) refuse("--client vale somente para params.");
    sql += " WHERE CDCLIENTE = ?";
    params.push_back(client);
  }
  Transaction tx(s, Transaction::Mode::Read);
  for (const Row &row : s.query(sql + " ORDER BY " + t.stored.keyNames(), params)) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i) out += separator;
      const Variant &v = row[i];
      out += v.kind() == Variant::Kind::Float ? numberText(v.asFloat(), separator)
                                              : csv::field(shownValue(v), separator, v.isEmpty());
    }
    out += '\n';
  }
  tx.commit();
  return out;
}

ImportReport importCsv(Session &s, ExchangeTable table, std::string_view text, bool dryRun,
                       const Author &author) {
  const DeltaTable &t = tableOf(table);
  csv::Table file = csv::parse(text);
  if (file.records.empty()) refuse("O arquivo está vazio: falta a linha de cabeçalho.");
  Transaction tx(s, Transaction::Mode::Write);
  ImportReader reader(s, t, file);
  reader.run();
  if (!reader.faults.empty()) {
    std::string list;
    for (const std::string &f : reader.faults) list += "\n" + f;
    refuse("Nada foi importado; corrija o arquivo:" + list);
  }
  ImportReport report = reader.report;
  if (dryRun || reader.delta.rows.empty()) return report;
  report.batch = openBatch(s, author, importOperation, {}, {}, t.stored.name);
  HistoryWriter history(s, author, report.batch);
  applyDelta(s, t, reader.delta, &history);
  closeBatch(s, report.batch, report.added, report.changed);
  tx.commit();
  return report;
}

} // namespace kdr::server
