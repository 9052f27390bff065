#include "server/history/history.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "server/store/packets.h"

namespace kdr::server {

std::string nowText() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char buf[32];
  std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(ms));
  return buf;
}

namespace {

Variant orNull(std::int64_t n) { return n ? Variant(n) : Variant(nullptr); }
Variant orNull(std::optional<std::int64_t> n) { return n ? Variant(*n) : Variant(nullptr); }
Variant orNull(std::string_view s) { return s.empty() ? Variant(nullptr) : Variant(std::string(s)); }
std::int64_t integerOf(const Variant &v) { return v.isNull() ? 0 : v.asInteger(); }
std::optional<std::int64_t> optionalOf(const Variant &v) {
  return v.isNull() ? std::nullopt : std::optional<std::int64_t>(v.asInteger());
}

// [[name, before, after], ...]: the fields in the order the table lists them.
std::string fieldsJson(const std::vector<FieldChange> &fields) {
  std::string out = "[";
  for (const FieldChange &f : fields) {
    if (out.size() > 1) out += ',';
    out += '[';
    appendVariantJson(out, Variant(f.name));
    out += ',';
    appendVariantJson(out, f.before);
    out += ',';
    appendVariantJson(out, f.after);
    out += ']';
  }
  return out + "]";
}

std::vector<FieldChange> fieldsFromJson(const std::string &text) {
  std::vector<FieldChange> out;
  const Variant doc = variantFromJsonText(text);
  for (const Variant &f : doc.array()) {
    const Variant::Array &a = f.array();
    out.push_back({a.at(0).asString(), a.at(1), a.at(2)});
  }
  return out;
}

constexpr std::string_view batchColumns =
    "NRLOTE, DTLOTE, NMUSUARIO, NRPEDIDO, NMMETODO, NMOPERACAO, CDMODELO, DSTIPOS, DSALVOS, QTINCLUIDAS, "
    "QTSUBSTITUIDAS, NRLOTEDESFEITO, NRHISTBASE, "
    "(SELECT MIN(D.NRLOTE) FROM KDR_LOTE D WHERE D.NRLOTEDESFEITO = KDR_LOTE.NRLOTE)";

BatchInfo batchFromRow(const Row &r) {
  BatchInfo b;
  b.number = r[0].asInteger();
  b.when = r[1].asString();
  b.user = r[2].asString();
  b.request = integerOf(r[3]);
  b.operation = r[5].asString();
  b.model = r[6].asString();
  b.types = r[7].asString();
  b.targets = r[8].asString();
  b.added = integerOf(r[9]);
  b.replaced = integerOf(r[10]);
  b.undoes = optionalOf(r[11]);
  b.historyBase = integerOf(r[12]);
  b.undoneBy = optionalOf(r[13]);
  return b;
}

// The columns a copy sets on a row it adds, after the key; texts first, as the copy rule lists them.
const std::vector<std::string> &copiedNames() {
  static const std::vector<std::string> names{"DSFATURCLIE",     "DSBOLETCLIE",    "IDFATURAPFILI",
                                              "IDFATMESATUCLIE", "CDTIPOSERV",     "CDGERENTEIMPCLI",
                                              "IDGERANFUNIFICA", "VRPERCAJUSTEINV"};
  return names;
}

void addIfChanged(std::vector<FieldChange> &fields, std::string name, const Variant &before,
                  const Variant &after) {
  if (!sameStoredValue(before, after)) fields.push_back({std::move(name), before, after});
}

// The columns a history filter compares: batch number, client code, time.
struct FilterColumns {
  std::string_view batch, client, when;
};

std::string filterCondition(const HistoryFilter &filter, const FilterColumns &columns, Params &params) {
  std::string sql;
  auto add = [&](std::string_view column, std::string_view op, Variant value) {
    sql += " AND " + std::string(column) + " " + std::string(op) + " ?";
    params.push_back(std::move(value));
  };
  if (filter.batch) add(columns.batch, "=", *filter.batch);
  if (!filter.client.empty()) add(columns.client, "=", filter.client);
  if (!filter.since.empty()) add(columns.when, ">=", filter.since);
  return sql;
}

// The records of a copy's rows, read back from its lines; an undo of a copy reads the same lines
// the other way round.
void readCopyLines(Session &s, const HistoryFilter &filter, std::vector<HistoryEntry> &out) {
  std::string sql =
      "SELECT B.DTLOTE, B.NMUSUARIO, B.NRPEDIDO, B.NMMETODO, B.NRLOTE, B.NMOPERACAO, L.CDCLIENTE, "
      "L.IDTPFATUCLIE, L.CDEMPRESA, L.IDACAO, L.DSFATURCLIE, L.DSBOLETCLIE, T.DSFATURCLIE, T.DSBOLETCLIE, "
      "M.DSFATURCLIE, M.DSBOLETCLIE, M.IDFATURAPFILI, M.IDFATMESATUCLIE, M.CDTIPOSERV, M.CDGERENTEIMPCLI, "
      "M.IDGERANFUNIFICA, M.VRPERCAJUSTEINV FROM KDR_LOTE B JOIN KDR_LOTE_LINHA L ON L.NRLOTE = "
      "(CASE WHEN B.NMOPERACAO = 'desfazer' THEN B.NRLOTEDESFEITO ELSE B.NRLOTE END) "
      "LEFT JOIN KDR_LOTE_TEXTO T ON T.NRLOTE = L.NRLOTE AND T.IDTPFATUCLIE = L.IDTPFATUCLIE "
      "AND T.CDEMPRESA = L.CDEMPRESA "
      "LEFT JOIN KDR_LOTE_COPIA M ON M.NRLOTE = L.NRLOTE AND M.IDTPFATUCLIE = L.IDTPFATUCLIE "
      "AND M.CDEMPRESA = L.CDEMPRESA WHERE B.NMOPERACAO IN ('copia', 'desfazer')";
  Params params;
  sql += filterCondition(filter, {"B.NRLOTE", "L.CDCLIENTE", "B.DTLOTE"}, params);
  sql += " ORDER BY B.NRLOTE, L.CDCLIENTE, L.IDTPFATUCLIE, L.CDEMPRESA";
  for (const Row &r : s.query(sql, params)) {
    HistoryEntry e{r[0].asString(), r[1].asString(), integerOf(r[2]), r[3].asString(), r[4].asInteger(), {}};
    const bool undo = r[5].asString() == undoOperation;
    RowChange &c = e.change;
    c.table = "PARCLIEKDR";
    c.client = r[6];
    c.type = r[7];
    c.company = r[8];
    if (r[9].asString() == "I") {
      c.operation = undo ? Operation::Delete : Operation::Insert;
      for (std::size_t i = 0; i < copiedNames().size(); ++i) {
        const Variant &v = r[14 + i];
        if (!v.isNull())
          c.fields.push_back(undo ? FieldChange{copiedNames()[i], v, nullptr}
                                  : FieldChange{copiedNames()[i], nullptr, v});
      }
    } else {
      c.operation = Operation::Modify;
      Variant invoice = r[12].isNull() ? r[10] : r[12], slip = r[13].isNull() ? r[11] : r[13];
      addIfChanged(c.fields, "DSFATURCLIE", undo ? invoice : r[10], undo ? r[10] : invoice);
      addIfChanged(c.fields, "DSBOLETCLIE", undo ? slip : r[11], undo ? r[11] : slip);
      if (c.fields.empty()) continue;
    }
    out.push_back(std::move(e));
  }
}

void readRecords(Session &s, const HistoryFilter &filter, std::vector<HistoryEntry> &out) {
  std::string sql = "SELECT DTHIST, NMUSUARIO, NRPEDIDO, NMMETODO, NRLOTE, NMTABELA, CDCLIENTE, IDTPFATU, "
                    "CDEMPRESA, IDOPERACAO, DSCAMPOS FROM KDR_HISTORICO WHERE 1 = 1";
  Params params;
  sql += filterCondition(filter, {"NRLOTE", "CDCLIENTE", "DTHIST"}, params);
  for (const Row &r : s.query(sql + " ORDER BY NRHIST", params)) {
    HistoryEntry e{r[0].asString(), r[1].asString(), integerOf(r[2]), r[3].asString(), optionalOf(r[4]), {}};
    e.change = RowChange{r[5].asString(),
                         r[6],
                         r[7],
                         r[8],
                         static_cast<Operation>(r[9].asString().at(0)),
                         fieldsFromJson(r[10].asString())};
    out.push_back(std::move(e));
  }
}

} // namespace

HistoryWriter::HistoryWriter(Session &session, Author author, std::optional<std::int64_t> batch)
    : session_(session), author_(std::move(author)), batch_(batch), when_(nowText()) {}

void HistoryWriter::record(const RowChange &change) {
  session_.execute(
      "INSERT INTO KDR_HISTORICO (DTHIST, NMUSUARIO, NRPEDIDO, NMMETODO, NRLOTE, NMTABELA, "
      "CDCLIENTE, IDTPFATU, CDEMPRESA, IDOPERACAO, DSCAMPOS) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      {when_, orNull(author_.user), orNull(author_.request), author_.method, orNull(batch_), change.table,
       change.client, change.type, change.company, std::string(1, static_cast<char>(change.operation)),
       fieldsJson(change.fields)});
}

std::int64_t openBatch(Session &s, const Author &author, std::string_view operation, std::string_view model,
                       std::string_view types, std::string_view targets, std::optional<std::int64_t> undoes) {
  Rows base = s.query("SELECT MAX(NRHIST) FROM KDR_HISTORICO");
  Rows made = s.query("INSERT INTO KDR_LOTE (DTLOTE, NMUSUARIO, NRPEDIDO, NMMETODO, NMOPERACAO, CDMODELO, "
                      "DSTIPOS, DSALVOS, NRLOTEDESFEITO, NRHISTBASE) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                      "RETURNING NRLOTE",
                      {nowText(), orNull(author.user), orNull(author.request), author.method,
                       std::string(operation), orNull(model), orNull(types), orNull(targets), orNull(undoes),
                       Variant(integerOf(base[0][0]))});
  return made.at(0).at(0).asInteger();
}

void closeBatch(Session &s, std::int64_t batch, std::int64_t added, std::int64_t replaced) {
  s.execute("UPDATE KDR_LOTE SET QTINCLUIDAS = ?, QTSUBSTITUIDAS = ? WHERE NRLOTE = ?",
            {added, replaced, batch});
}

std::vector<BatchInfo> listBatches(Session &s) {
  std::vector<BatchInfo> out;
  for (const Row &r : s.query("SELECT " + std::string(batchColumns) + " FROM KDR_LOTE ORDER BY NRLOTE"))
    out.push_back(batchFromRow(r));
  return out;
}

std::optional<BatchInfo> findBatch(Session &s, std::int64_t batch) {
  Rows rows = s.query("SELECT " + std::string(batchColumns) + " FROM KDR_LOTE WHERE NRLOTE = ?", {batch});
  if (rows.empty()) return std::nullopt;
  return batchFromRow(rows[0]);
}

std::vector<HistoryEntry> readHistory(Session &s, const HistoryFilter &filter) {
  std::vector<HistoryEntry> out;
  readRecords(s, filter, out);
  readCopyLines(s, filter, out);
  std::stable_sort(out.begin(), out.end(),
                   [](const HistoryEntry &a, const HistoryEntry &b) { return a.when < b.when; });
  return out;
}

std::vector<FieldChange> shownFields(const RowChange &change) {
  if (!change.fields.empty()) return change.fields;
  return {FieldChange{}};
}

std::string keyText(const RowChange &c) {
  // The default texts are named company first, as their key is.
  if (c.client.isNull()) return c.company.asString() + "/" + c.type.asString();
  return c.client.asString() + "/" + c.type.asString() + "/" + c.company.asString();
}

bool sameStoredValue(const Variant &a, const Variant &b) {
  if (a.isNumber() && b.isNumber()) return a.asFloat() == b.asFloat();
  if (a.isEmpty() || b.isEmpty()) return a.isEmpty() && b.isEmpty();
  return a == b;
}

std::string shownValue(const Variant &v) {
  if (v.isEmpty()) return {};
  return v.kind() == Variant::Kind::Float ? formatFloat(v.asFloat()) : v.asString();
}

Variant historyPacket(const std::vector<HistoryEntry> &entries) {
  auto integer = [](std::string_view name) {
    return FieldDef{std::string(name), FieldType::Integer, 0, false};
  };
  std::vector<FieldDef> fields{
      textField("DTHIST", 23),    textField("NMUSUARIO", 100), integer("NRPEDIDO"),
      textField("NMMETODO", 40),  integer("NRLOTE"),           textField("NMTABELA", 30),
      textField("CDCLIENTE", 21), textField("IDTPFATU", 1),    textField("CDEMPRESA", 2),
      textField("IDOPERACAO", 1), textField("NMCAMPO", 30),    textField("DSANTES", 400),
      textField("DSDEPOIS", 400)};
  auto shown = [](const Variant &v) { return v.isEmpty() ? Variant(nullptr) : Variant(shownValue(v)); };
  Rows rows;
  for (const HistoryEntry &e : entries)
    for (const FieldChange &f : shownFields(e.change))
      rows.push_back({e.when, orNull(e.user), orNull(e.request), e.method, orNull(e.batch), e.change.table,
                      e.change.client, e.change.type, e.change.company,
                      std::string(1, static_cast<char>(e.change.operation)), orNull(f.name), shown(f.before),
                      shown(f.after)});
  return packetFromRows(std::move(fields), std::move(rows));
}

} // namespace kdr::server
