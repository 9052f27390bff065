#include "server/history/history.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "server/errors.h"
#include "server/store/packets.h"
#include "server/store/tables.h"

namespace kdr::server {

std::string utcText(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  std::time_t seconds = system_clock::to_time_t(when);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char buf[32];
  std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
  std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(ms));
  return buf;
}

std::string nowText() { return utcText(std::chrono::system_clock::now()); }

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

// Where an entry stands in the history's order: by time; at one time the records before a copy's
// lines; records by number, lines by batch and key. The two kinds are read apart, each in that
// order by the engine, and merged by time and kind alone, so that no two client codes are ever
// compared outside the engine (whose collation may not be this program's).
struct Place {
  enum Kind : std::int64_t { Record = 0, Line = 1 };
  std::string when;
  std::int64_t kind = Record;
  std::int64_t number = 0; // the record's, or the line's batch
  Variant client = nullptr, type = nullptr, company = nullptr;

  // Between places of different kinds only.
  bool before(const Place &other) const { return when != other.when ? when < other.when : kind < other.kind; }
};

struct Placed {
  Place place;
  HistoryEntry entry;
};

// Entries of one kind read from after a place, at most limit rows read (some lines stand for no
// change and give no entry): whether the limit cut the read, and where the last row read stands.
struct Read {
  std::vector<Placed> entries;
  bool cut = false;
  Place last;
};

std::string limitClause(std::size_t limit) { return " LIMIT " + std::to_string(limit); }

// The records of a copy's rows, read back from its lines; an undo of a copy reads the same lines
// the other way round. The copies (and their undoes) come first, few as they are; then each one's
// lines by the lines' own key, so that a page costs the rows it reads and never a sort of every
// line after it (a copy to a million clients has millions).
Read readCopyLines(Session &s, const HistoryFilter &filter, const std::optional<Place> &after,
                   std::size_t limit) {
  std::string sql =
      "SELECT DTLOTE, NMUSUARIO, NRPEDIDO, NMMETODO, NRLOTE, NMOPERACAO, CASE WHEN NMOPERACAO = "
      "'desfazer' THEN NRLOTEDESFEITO ELSE NRLOTE END AS NRLOTELINHAS FROM KDR_LOTE WHERE NMOPERACAO IN "
      "('copia', 'desfazer')";
  Params params;
  HistoryFilter batchesOf = filter; // a client's lines are picked among each batch's below
  batchesOf.client.clear();
  sql += filterCondition(batchesOf, {"NRLOTE", "", "DTLOTE"}, params);
  if (after && after->kind == Place::Record) {
    sql += " AND DTLOTE >= ?";
    params.push_back(after->when);
  } else if (after) {
    sql += " AND (DTLOTE, NRLOTE) >= (?, ?)";
    params.insert(params.end(), {after->when, after->number});
  }
  const Rows batches = s.query(sql + " ORDER BY DTLOTE, NRLOTE", params);

  const std::vector<std::string> &copied = tables::copiedColumns();
  const std::string lines =
      "SELECT L.CDCLIENTE, L.IDTPFATUCLIE, L.CDEMPRESA, L.IDACAO, L.DSFATURCLIE, L.DSBOLETCLIE, "
      "T.DSFATURCLIE, "
      "T.DSBOLETCLIE, " +
      nameList(copied, "M.") +
      " FROM KDR_LOTE_LINHA L LEFT JOIN KDR_LOTE_TEXTO T ON T.NRLOTE = L.NRLOTE AND T.IDTPFATUCLIE = "
      "L.IDTPFATUCLIE AND T.CDEMPRESA = L.CDEMPRESA LEFT JOIN KDR_LOTE_COPIA M ON M.NRLOTE = L.NRLOTE AND "
      "M.IDTPFATUCLIE = L.IDTPFATUCLIE AND M.CDEMPRESA = L.CDEMPRESA WHERE L.NRLOTE = ?";
  Read read;
  std::size_t rows = 0;
  for (const Row &b : batches) {
    if (rows == limit) break;
    const std::int64_t number = b[4].asInteger();
    Params lineParams{b[6]};
    std::string linesSql = lines;
    if (!filter.client.empty()) {
      linesSql += " AND L.CDCLIENTE = ?";
      lineParams.push_back(filter.client);
    }
    if (after && after->kind == Place::Line && after->when == b[0].asString() && after->number == number) {
      linesSql += " AND (L.CDCLIENTE, L.IDTPFATUCLIE, L.CDEMPRESA) > (?, ?, ?)";
      lineParams.insert(lineParams.end(), {after->client, after->type, after->company});
    }
    linesSql += " ORDER BY L.CDCLIENTE, L.IDTPFATUCLIE, L.CDEMPRESA" + limitClause(limit - rows);
    const bool undo = b[5].asString() == undoOperation;
    s.scan(linesSql, lineParams, [&](Row &r) {
      ++rows;
      read.last = Place{b[0].asString(), Place::Line, number, r[0], r[1], r[2]};
      HistoryEntry e{b[0].asString(), b[1].asString(), integerOf(b[2]), b[3].asString(), number, {}};
      RowChange &c = e.change;
      c.table = "PARCLIEKDR";
      c.client = r[0];
      c.type = r[1];
      c.company = r[2];
      if (r[3].asString() == "I") {
        c.operation = undo ? Operation::Delete : Operation::Insert;
        for (std::size_t i = 0; i < copied.size(); ++i) {
          const Variant &v = r[8 + i];
          if (!v.isNull())
            c.fields.push_back(undo ? FieldChange{copied[i], v, nullptr}
                                    : FieldChange{copied[i], nullptr, v});
        }
      } else {
        c.operation = Operation::Modify;
        Variant invoice = r[6].isNull() ? r[4] : r[6], slip = r[7].isNull() ? r[5] : r[7];
        addIfChanged(c.fields, "DSFATURCLIE", undo ? invoice : r[4], undo ? r[4] : invoice);
        addIfChanged(c.fields, "DSBOLETCLIE", undo ? slip : r[5], undo ? r[5] : slip);
        if (c.fields.empty()) return;
      }
      read.entries.push_back({read.last, std::move(e)});
    });
  }
  read.cut = rows == limit;
  return read;
}

Read readRecords(Session &s, const HistoryFilter &filter, const std::optional<Place> &after,
                 std::size_t limit) {
  std::string sql = "SELECT DTHIST, NMUSUARIO, NRPEDIDO, NMMETODO, NRLOTE, NMTABELA, CDCLIENTE, IDTPFATU, "
                    "CDEMPRESA, IDOPERACAO, DSCAMPOS, NRHIST FROM KDR_HISTORICO WHERE 1 = 1";
  Params params;
  sql += filterCondition(filter, {"NRLOTE", "CDCLIENTE", "DTHIST"}, params);
  if (after && after->kind == Place::Record) {
    sql += " AND (DTHIST, NRHIST) > (?, ?)";
    params.insert(params.end(), {after->when, after->number});
  } else if (after) {
    sql += " AND DTHIST > ?";
    params.push_back(after->when);
  }
  Read read;
  s.scan(sql + " ORDER BY DTHIST, NRHIST" + limitClause(limit), params, [&](Row &r) {
    read.last = Place{r[0].asString(), Place::Record, r[11].asInteger()};
    HistoryEntry e{r[0].asString(), r[1].asString(), integerOf(r[2]), r[3].asString(), optionalOf(r[4]), {}};
    e.change = RowChange{r[5].asString(),
                         r[6],
                         r[7],
                         r[8],
                         static_cast<Operation>(r[9].asString().at(0)),
                         fieldsFromJson(r[10].asString())};
    read.entries.push_back({read.last, std::move(e)});
  });
  read.cut = read.entries.size() == limit;
  return read;
}

// The next entries after a place, both kinds merged: only as far as both reads are known whole,
// so that nothing of one kind is passed over for a later entry of the other. An empty "next"
// ends the history.
struct Slice {
  std::vector<Placed> entries;
  std::optional<Place> next;
};

Slice readSlice(Session &s, const HistoryFilter &filter, const std::optional<Place> &after,
                std::size_t limit) {
  Read records = readRecords(s, filter, after, limit), lines = readCopyLines(s, filter, after, limit);
  std::optional<Place> bound;
  if (records.cut) bound = records.last;
  if (lines.cut && (!bound || lines.last.before(*bound))) bound = lines.last;
  // Everything read of the bound's own kind lies at or before it.
  auto within = [&](const Place &p) { return !bound || p.kind == bound->kind || p.before(*bound); };
  Slice slice;
  std::size_t r = 0, l = 0;
  for (;;) {
    const bool haveRecord = r < records.entries.size() && within(records.entries[r].place);
    const bool haveLine = l < lines.entries.size() && within(lines.entries[l].place);
    if (!haveRecord && !haveLine) break;
    const bool takeRecord =
        haveRecord && (!haveLine || !lines.entries[l].place.before(records.entries[r].place));
    slice.entries.push_back(std::move(takeRecord ? records.entries[r++] : lines.entries[l++]));
  }
  slice.next = bound;
  return slice;
}

std::string positionText(const Place &p) {
  std::string out;
  appendVariantJson(out, Variant(Variant::Array{Variant(p.when), Variant(p.kind), Variant(p.number), p.client,
                                                p.type, p.company}));
  return out;
}

std::optional<Place> placeOf(const std::string &position) {
  if (position.empty()) return std::nullopt;
  try {
    const Variant v = variantFromJsonText(position);
    const Variant::Array &a = v.array();
    Place p{a.at(0).asString(), a.at(1).asInteger(), a.at(2).asInteger(), a.at(3), a.at(4), a.at(5)};
    if (a.size() == 6 && (p.kind == Place::Record || p.kind == Place::Line)) return p;
  } catch (const std::exception &) {
  }
  refuse("Posição de página do histórico inválida: " + quoted(position) + ".");
}

} // namespace

HistoryPage readHistoryPage(Session &s, const HistoryFilter &filter, const std::string &position,
                            std::size_t size) {
  HistoryPage page;
  std::optional<Place> after = placeOf(position);
  for (;;) {
    Slice slice = readSlice(s, filter, after, size);
    for (Placed &p : slice.entries) {
      if (page.entries.size() == size) {
        page.next = positionText(*after);
        return page;
      }
      after = p.place;
      page.entries.push_back(std::move(p.entry));
    }
    // Lines that stand for no change give no entry: read on until the page is full or the end.
    if (!slice.next) return page;
    after = slice.next;
    if (page.entries.size() == size) {
      page.next = positionText(*after);
      return page;
    }
  }
}

void forEachHistoryEntry(Session &s, const HistoryFilter &filter,
                         const std::function<void(const HistoryEntry &)> &visit) {
  std::string position;
  do {
    HistoryPage page = readHistoryPage(s, filter, position, historyPageSize);
    for (const HistoryEntry &e : page.entries) visit(e);
    position = std::move(page.next);
  } while (!position.empty());
}

HistoryWriter::HistoryWriter(Session &session, Author author, std::optional<std::int64_t> batch,
                             std::size_t recordsPerInsert)
    : session_(session), author_(std::move(author)), batch_(batch), when_(nowText()),
      recordsPerInsert_(std::max<std::size_t>(recordsPerInsert, 1)) {}

namespace {
constexpr std::string_view historyColumns =
    "DTHIST, NMUSUARIO, NRPEDIDO, NMMETODO, NRLOTE, NMTABELA, CDCLIENTE, IDTPFATU, CDEMPRESA, IDOPERACAO, "
    "DSCAMPOS";
constexpr std::size_t historyValues = 11;
} // namespace

void HistoryWriter::record(const RowChange &change) {
  kept_.insert(kept_.end(), {when_, orNull(author_.user), orNull(author_.request), author_.method,
                             orNull(batch_), change.table, change.client, change.type, change.company,
                             std::string(1, static_cast<char>(change.operation)), fieldsJson(change.fields)});
  if (kept_.size() >= recordsPerInsert_ * historyValues) flush();
}

void HistoryWriter::flush() {
  if (kept_.empty()) return;
  std::string rows;
  for (std::size_t i = 0; i < kept_.size(); i += historyValues)
    rows += (i ? ", (" : "(") + placeholders(historyValues) + ")";
  Params values = std::move(kept_);
  kept_.clear();
  session_.execute("INSERT INTO KDR_HISTORICO (" + std::string(historyColumns) + ") VALUES " + rows, values);
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
  forEachHistoryEntry(s, filter, [&out](const HistoryEntry &e) { out.push_back(e); });
  return out;
}

std::optional<HistoryEntry> lastChange(Session &s, std::string_view table, const Variant &client,
                                       const Variant &type, const Variant &company) {
  std::optional<HistoryEntry> last;
  forEachHistoryEntry(s, {client.isNull() ? "" : client.asString(), {}, {}}, [&](const HistoryEntry &e) {
    const RowChange &c = e.change;
    if (c.table == table && sameStoredValue(c.client, client) && sameStoredValue(c.type, type) &&
        sameStoredValue(c.company, company))
      last = e;
  });
  return last;
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
