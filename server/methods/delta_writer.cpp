#include "server/methods/delta_writer.h"

#include <algorithm>
#include <cmath>

#include "platform/rtl/utf8.h"
#include "server/errors.h"
#include "server/methods/row_locks.h"

namespace kdr::server {

std::size_t DeltaRow::index(std::string_view column) const {
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].def.name == column) return i;
  throw ServiceError(ErrorCode::Internal, "Erro interno do servidor.");
}

const Variant &DeltaRow::operator[](std::string_view column) const { return values_[index(column)]; }

bool DeltaRow::changed(std::string_view column) const { return changed_[index(column)]; }

std::string DeltaRow::shown(std::string_view column) const { return quoted(text(column)); }

namespace {

struct Change {
  RowStatus kind;
  Row original; // empty for an insert
  Row current;  // empty for a deletion
  // Per stored column: set by the change (insert, modification), or sent as an original value
  // the row must still hold (deletion).
  std::vector<bool> changed;
};

class DeltaApplier {
public:
  DeltaApplier(Session &session, const DeltaTable &table, HistoryWriter *history, bool clientsHeld)
      : session_(session), table_(table), stored_(table.stored), history_(history),
        clientsHeld_(clientsHeld) {}

  void run(const DataPacket &delta) {
    mapFields(delta);
    std::vector<Change> changes = readChanges(delta);
    for (Change &c : changes) validate(c);
    if (!clientsHeld_) lockClients(changes);
    for (const Change &c : changes) write(c);
  }

private:
  static bool storedAs(FieldType stored, FieldType sent) {
    return sent == stored || (stored == FieldType::Float && sent == FieldType::Integer);
  }

  void mapFields(const DataPacket &delta) {
    for (const FieldDef &f : delta.fields) {
      int column = -1;
      for (std::size_t i = 0; i < stored_.columns.size(); ++i)
        if (utf8::sameText(stored_.columns[i].def.name, f.name)) column = static_cast<int>(i);
      bool shown = std::any_of(table_.shownOnly.begin(), table_.shownOnly.end(),
                               [&](const std::string &s) { return utf8::sameText(s, f.name); });
      if (column < 0 && !shown)
        refuse("O campo " + quoted(f.name) + " não pertence aos dados de " + stored_.name + ".");
      // Original values locate rows unchecked, so their declared type must be the stored one.
      if (column >= 0 && !storedAs(stored_.columns[column].def.type, f.type))
        refuse("O campo " + quoted(f.name) + " foi enviado com um tipo diferente do gravado.");
      columnOf_.push_back(column);
    }
    for (const std::string &k : stored_.key)
      if (std::find_if(delta.fields.begin(), delta.fields.end(),
                       [&](const FieldDef &f) { return utf8::sameText(f.name, k); }) == delta.fields.end())
        refuse("Os dados enviados não trazem o campo " + k + ".");
  }

  // Values of the stored columns, in column order; fields absent from the delta stay unassigned.
  Row storedValues(const PacketRow &row) const {
    Row out(stored_.columns.size(), Variant::unassigned());
    for (std::size_t f = 0; f < columnOf_.size(); ++f)
      if (columnOf_[f] >= 0) out[columnOf_[f]] = row.values[f];
    return out;
  }

  static Row assignedOrNull(Row row) {
    for (Variant &v : row)
      if (v.isUnassigned()) v = nullptr;
    return row;
  }

  std::vector<Change> readChanges(const DataPacket &delta) const {
    std::vector<Change> out;
    const auto &rows = delta.rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const PacketRow &row = rows[i];
      switch (row.status) {
      case RowStatus::Inserted: {
        Row values = assignedOrNull(storedValues(row));
        out.push_back({RowStatus::Inserted, {}, values, std::vector<bool>(values.size(), true)});
        break;
      }
      case RowStatus::Deleted: {
        Row original = storedValues(row);
        std::vector<bool> sent(original.size());
        for (std::size_t k = 0; k < original.size(); ++k) sent[k] = !original[k].isUnassigned();
        out.push_back({RowStatus::Deleted, assignedOrNull(std::move(original)), {}, std::move(sent)});
        break;
      }
      case RowStatus::Unmodified: {
        if (i + 1 >= rows.size() || rows[i + 1].status != RowStatus::Modified)
          refuse("Alteração incompleta nos dados enviados: falta a linha modificada.");
        Row original = assignedOrNull(storedValues(row));
        Row modified = storedValues(rows[++i]);
        Change c{RowStatus::Modified, original, original, std::vector<bool>(original.size(), false)};
        for (std::size_t k = 0; k < modified.size(); ++k)
          if (!modified[k].isUnassigned()) {
            c.current[k] = modified[k];
            c.changed[k] = true;
          }
        out.push_back(std::move(c));
        break;
      }
      case RowStatus::Modified:
        refuse("Alteração incompleta nos dados enviados: falta a linha original.");
      }
    }
    return out;
  }

  void validate(Change &c) {
    const bool deletion = c.kind == RowStatus::Deleted;
    Row &values = deletion ? c.original : c.current;
    for (std::size_t k = 0; k < stored_.columns.size(); ++k) {
      const Column &col = stored_.columns[k];
      Variant &v = values[k];
      if (stored_.isKey(col.def.name) && (v.isNull() || (v.isString() && v.str().empty())))
        refuse(col.label + " deve ser informado(a).");
      // A deletion's values are the row as its desktop saw it, compared as they are.
      if (deletion) {
        if (col.def.type == FieldType::Float && v.kind() == Variant::Kind::Integer) v = Variant(v.asFloat());
        continue;
      }
      if (col.optionalCode && v.isString() && utf8::isBlank(v.str())) v = nullptr;
      if (!c.changed[k] || v.isNull()) continue;
      if (col.def.type == FieldType::Float) {
        // Infinity and NaN travel as JSON too, but are no value a rate can hold.
        if (!v.isNumber() || !std::isfinite(v.asFloat())) refuse(col.label + " deve ser numérico(a).");
        v = Variant(v.asFloat());
      } else if (!v.isString()) {
        refuse(col.label + " deve ser um texto.");
      } else if (utf8::length(v.str()) > static_cast<std::size_t>(col.def.size)) {
        refuse(col.label + " deve ter no máximo " + std::to_string(col.def.size) + " caracteres.");
      }
    }
    if (c.kind != RowStatus::Deleted) table_.check(session_, DeltaRow(stored_.columns, c.current, c.changed));
  }

  // The clients whose rows the delta writes, before it looks at them: a copy, an undo or another
  // desktop writing the same clients goes first or waits, so that a key checked free stays free.
  void lockClients(const std::vector<Change> &changes) {
    if (table_.historyClient.empty()) return;
    const std::size_t k = columnIndex(table_.historyClient);
    Params codes;
    for (const Change &c : changes)
      for (const Row *values : {&c.original, &c.current})
        if (!values->empty()) codes.push_back((*values)[k]);
    if (!codes.empty())
      kdr::server::lockClients(session_, "CDCLIENTE IN (" + placeholders(codes.size()) + ")", codes);
  }

  // " AND column <same as> ?" for each column marked, with the value of values.
  std::string sameValues(Params &params, const Row &values, const std::vector<bool> &marked) const {
    std::string sql;
    for (std::size_t k = 0; k < stored_.columns.size(); ++k)
      if (marked[k]) {
        sql +=
            " AND " + stored_.columns[k].def.name + " " + std::string(session_.dialect().sameValue()) + " ?";
        params.push_back(values[k]);
      }
    return sql;
  }

  std::string keyCondition(Params &params, const Row &values) const {
    std::string sql;
    for (const std::string &k : stored_.key) {
      sql += sql.empty() ? "" : " AND ";
      sql += k + " = ?";
      params.push_back(values[columnIndex(k)]);
    }
    return sql;
  }

  std::size_t columnIndex(std::string_view name) const { return stored_.index(name); }

  bool exists(const Row &values) {
    Params params;
    std::string where = keyCondition(params, values);
    return !session_.query("SELECT 1 FROM " + stored_.name + " WHERE " + where, params).empty();
  }

  bool isKey(std::size_t column) const { return stored_.isKey(stored_.columns[column].def.name); }

  bool keyChanged(const Change &c) const {
    return std::any_of(stored_.key.begin(), stored_.key.end(),
                       [&](const std::string &k) { return c.changed[columnIndex(k)]; });
  }

  // Kept out of line: the refusal path is cold, and inlined into every write it only adds weight.
  [[noreturn, gnu::noinline]] void conflict(const Row &values, const std::vector<bool> &changed,
                                            bool duplicate) const {
    DeltaRow row(stored_.columns, values, changed);
    if (duplicate) throw ServiceError(ErrorCode::Conflict, table_.duplicateMessage(row));
    throw ServiceError(ErrorCode::Conflict, table_.conflictMessage(row), heldDetail(values));
  }

  // What the other desktop left: the row as stored now, and who changed it last and when.
  Variant heldDetail(const Row &values) const {
    if (!table_.heldRow) return nullptr;
    if (history_) history_->flush(); // the row's last change may be this transaction's
    const std::vector<bool> none(values.size(), false);
    auto keyValue = [&](const std::string &column) -> Variant {
      return column.empty() ? Variant(nullptr) : values[columnIndex(column)];
    };
    const std::optional<HistoryEntry> last =
        lastChange(session_, stored_.name, keyValue(table_.historyClient), keyValue(table_.historyType),
                   keyValue(table_.historyCompany));
    return Variant(Variant::Array{table_.heldRow(session_, DeltaRow(stored_.columns, values, none)),
                                  last && !last->user.empty() ? Variant(last->user) : Variant(nullptr),
                                  last ? Variant(last->when) : Variant(nullptr)});
  }

  // Runs as each change is written, so a deletion earlier in the delta frees the values and a
  // row inserted earlier in it counts.
  void checkUnique(const Change &c) {
    if (table_.unique.empty()) return;
    if (c.kind == RowStatus::Modified &&
        std::none_of(table_.unique.begin(), table_.unique.end(), [&](const std::string &name) {
          std::size_t k = columnIndex(name);
          return c.changed[k] && !(c.current[k] == c.original[k]);
        }))
      return;
    Params params;
    std::string where, lockName = stored_.name;
    for (const std::string &name : table_.unique) {
      where += (where.empty() ? "" : " AND ") + name + " = ?";
      params.push_back(c.current[columnIndex(name)]);
      lockName += '|' + c.current[columnIndex(name)].asString();
    }
    // Two desktops writing the same values queue here, so the second one sees the first's row.
    if (std::string lock(session_.dialect().lockWriters()); !lock.empty()) session_.query(lock, {lockName});
    if (!session_.query("SELECT 1 FROM " + stored_.name + " WHERE " + where, params).empty())
      refuse(table_.uniqueMessage);
  }

  void write(const Change &c) {
    switch (c.kind) {
    case RowStatus::Inserted:
      insert(c);
      break;
    case RowStatus::Modified:
      update(c);
      break;
    case RowStatus::Deleted:
      remove(c);
      break;
    default:
      break;
    }
  }

  void insert(const Change &c) {
    if (exists(c.current)) conflict(c.current, c.changed, true);
    checkUnique(c);
    writeOnce(c, stored_.insertSql(), c.current);
    if (history_) history_->record(rowChange(Operation::Insert, c.current, Row(c.current.size())));
  }

  // A statement that gives a row its key: another desktop may have written that key after the
  // check above (its transaction was not committed yet), and the engine refuses the second.
  std::int64_t writeOnce(const Change &c, const std::string &sql, const Params &params) {
    try {
      return session_.execute(sql, params);
    } catch (const EngineError &e) {
      if (e.kind() == EngineError::Kind::Duplicate) conflict(c.current, c.changed, true);
      throw;
    }
  }

  // Every value the deleting desktop saw must still be there: a row another desktop changed
  // meanwhile is not removed under its feet.
  void remove(const Change &c) {
    Params params;
    std::string where = keyCondition(params, c.original);
    where += sameValues(params, c.original, c.changed);
    // The history keeps the row as it was stored, whatever the delta carried of it.
    Rows stored;
    if (history_)
      stored =
          session_.query("SELECT " + stored_.names() + " FROM " + stored_.name + " WHERE " + where, params);
    if (session_.execute("DELETE FROM " + stored_.name + " WHERE " + where, params) == 0)
      conflict(c.original, c.changed, false);
    if (history_ && !stored.empty())
      history_->record(rowChange(Operation::Delete, Row(stored[0].size()), stored[0]));
  }

  // The record of a row: every column whose value differs between before and after (the stored
  // values of an inserted or deleted row but its key), keyed by the row's original key.
  RowChange rowChange(Operation op, const Row &after, const Row &before) const {
    const Row &keyed = op == Operation::Insert ? after : before;
    auto keyValue = [&](const std::string &column) -> Variant {
      return column.empty() ? Variant(nullptr) : keyed[columnIndex(column)];
    };
    RowChange change{stored_.name,
                     keyValue(table_.historyClient),
                     keyValue(table_.historyType),
                     keyValue(table_.historyCompany),
                     op,
                     {}};
    for (std::size_t k = 0; k < stored_.columns.size(); ++k)
      if (!sameStoredValue(before[k], after[k]) && (op == Operation::Modify || !isKey(k)))
        change.fields.push_back({stored_.columns[k].def.name, before[k], after[k]});
    return change;
  }

  void update(const Change &c) {
    if (std::none_of(c.changed.begin(), c.changed.end(), [](bool b) { return b; })) return;
    if (keyChanged(c) && exists(c.current)) conflict(c.current, c.changed, true);
    checkUnique(c);
    Params params;
    std::string set;
    for (std::size_t k = 0; k < stored_.columns.size(); ++k)
      if (c.changed[k]) {
        set += (set.empty() ? "" : ", ") + stored_.columns[k].def.name + " = ?";
        params.push_back(c.current[k]);
      }
    std::string where = keyCondition(params, c.original);
    where += sameValues(params, c.original, c.changed);
    if (writeOnce(c, "UPDATE " + stored_.name + " SET " + set + " WHERE " + where, params) == 0)
      conflict(c.original, c.changed, false);
    if (!history_) return;
    // The original values of the changed fields are the stored ones: the update matched them.
    RowChange change = rowChange(Operation::Modify, c.current, c.original);
    if (!change.fields.empty()) history_->record(change);
  }

  Session &session_;
  const DeltaTable &table_;
  const Table &stored_; // the table's columns and key
  HistoryWriter *history_;
  const bool clientsHeld_;
  std::vector<int> columnOf_; // per delta field: stored column index, or -1 when shown only
};

} // namespace

void applyDelta(Session &session, const DeltaTable &table, const DataPacket &delta, HistoryWriter *history,
                bool clientsHeld) {
  DeltaApplier(session, table, history, clientsHeld).run(delta);
}

} // namespace kdr::server
