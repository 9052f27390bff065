#include "server/admin/undo.h"

#include <string>
#include <vector>

#include "server/errors.h"
#include "server/methods/billing.h"
#include "server/methods/param_fat_cli.h"
#include "server/methods/row_locks.h"
#include "server/store/tables.h"

namespace kdr::server {
namespace {

struct RowKey {
  std::string table;
  Variant client, type, company;
};

std::string rowName(const RowKey &k) {
  std::string type = billingTypeText(k.type.asString());
  if (k.table == "PAREMPKDR") return "descrição padrão da empresa " + k.company.asString() + ", tipo " + type;
  return "cliente " + k.client.asString() + ", tipo " + type + ", empresa " + k.company.asString();
}

[[noreturn]] void refuseTouched(std::int64_t batch, const std::vector<RowKey> &rows) {
  constexpr std::size_t named = 20;
  std::string list;
  for (std::size_t i = 0; i < rows.size() && i < named; ++i) list += "\n  " + rowName(rows[i]);
  if (rows.size() > named) list += "\n  e mais " + std::to_string(rows.size() - named) + " linha(s)";
  throw ServiceError(ErrorCode::Conflict, "O lote " + std::to_string(batch) +
                                              " não pode ser desfeito: estas linhas foram alteradas depois "
                                              "dele. Nada foi gravado." +
                                              list);
}

// The rows changed after the batch by anything still in effect: later history records and later
// copies, leaving out batches that were undone and the undos themselves (the two cancel out).
void fillTouched(Session &s, const BatchInfo &b) {
  s.executeScript(
      "CREATE TEMP TABLE IF NOT EXISTS KDR_TOCADO (NMTABELA VARCHAR(30) NOT NULL, "
      "CDCLIENTE VARCHAR(21) NOT NULL, IDTPFATU VARCHAR(1) NOT NULL, CDEMPRESA VARCHAR(2) NOT NULL, "
      "PRIMARY KEY (NMTABELA, CDCLIENTE, IDTPFATU, CDEMPRESA))");
  s.execute("DELETE FROM KDR_TOCADO");
  const std::string cancelled = "SELECT NRLOTE FROM KDR_LOTE WHERE NMOPERACAO = 'desfazer' OR NRLOTE IN "
                                "(SELECT NRLOTEDESFEITO FROM KDR_LOTE WHERE NRLOTEDESFEITO IS NOT NULL)";
  s.execute("INSERT INTO KDR_TOCADO (NMTABELA, CDCLIENTE, IDTPFATU, CDEMPRESA) "
            "SELECT DISTINCT NMTABELA, COALESCE(CDCLIENTE, ''), IDTPFATU, CDEMPRESA FROM KDR_HISTORICO "
            "WHERE NRHIST > ? AND (NRLOTE IS NULL OR (NRLOTE <> ? AND NRLOTE NOT IN (" +
                cancelled +
                "))) UNION SELECT 'PARCLIEKDR', CDCLIENTE, IDTPFATUCLIE, CDEMPRESA FROM KDR_LOTE_LINHA "
                "WHERE NRLOTE > ? AND NRLOTE NOT IN (" +
                cancelled + ")",
            {b.historyBase, b.number, b.number});
}

bool touched(Session &s, const RowKey &k) {
  return !s.query("SELECT 1 FROM KDR_TOCADO WHERE NMTABELA = ? AND CDCLIENTE = ? AND IDTPFATU = ? AND "
                  "CDEMPRESA = ?",
                  {k.table, k.client.isNull() ? Variant(std::string()) : k.client, k.type, k.company})
              .empty();
}

// A copy: its lines say which rows it added and which texts the replaced ones had.
UndoReport undoCopy(Session &s, const BatchInfo &b, std::int64_t undo, WorkProgress &progress) {
  const std::string same = " " + std::string(s.dialect().sameValue()) + " ";
  std::string copied;
  for (const std::string &c : tables::copiedColumns())
    copied += std::string(copied.empty() ? "" : " AND ") + "P." + c + same + "M." + c;
  auto lineKey = [](std::string_view t) {
    std::string a(t);
    return a + ".NRLOTE = L.NRLOTE AND " + a + ".IDTPFATUCLIE = L.IDTPFATUCLIE AND " + a +
           ".CDEMPRESA = L.CDEMPRESA";
  };
  Rows changed = s.query(
      "SELECT L.CDCLIENTE, L.IDTPFATUCLIE, L.CDEMPRESA FROM KDR_LOTE_LINHA L LEFT JOIN PARCLIEKDR P "
      "ON P.CDCLIENTE = L.CDCLIENTE AND P.IDTPFATUCLIE = L.IDTPFATUCLIE AND P.CDEMPRESA = L.CDEMPRESA "
      "LEFT JOIN KDR_LOTE_TEXTO T ON " +
          lineKey("T") + " LEFT JOIN KDR_LOTE_COPIA M ON " + lineKey("M") +
          " WHERE L.NRLOTE = ? AND (P.CDCLIENTE IS NULL OR (L.IDACAO = 'A' AND NOT (P.DSFATURCLIE" + same +
          "COALESCE(T.DSFATURCLIE, L.DSFATURCLIE) AND P.DSBOLETCLIE" + same +
          "COALESCE(T.DSBOLETCLIE, L.DSBOLETCLIE))) OR (L.IDACAO = 'I' AND NOT (" + copied +
          ")) OR EXISTS (SELECT 1 FROM KDR_TOCADO K WHERE K.NMTABELA = 'PARCLIEKDR' AND "
          "K.CDCLIENTE = L.CDCLIENTE AND K.IDTPFATU = L.IDTPFATUCLIE AND K.CDEMPRESA = L.CDEMPRESA)) "
          "ORDER BY L.CDCLIENTE, L.IDTPFATUCLIE, L.CDEMPRESA",
      {b.number});
  if (!changed.empty()) {
    std::vector<RowKey> rows;
    for (const Row &r : changed) rows.push_back({"PARCLIEKDR", r[0], r[1], r[2]});
    refuseTouched(b.number, rows);
  }
  UndoReport report{undo, 0, 0};
  progress.begin(b.added + b.replaced);
  report.restored = s.execute(
      "UPDATE PARCLIEKDR SET DSFATURCLIE = L.DSFATURCLIE, DSBOLETCLIE = L.DSBOLETCLIE FROM KDR_LOTE_LINHA L "
      "WHERE L.NRLOTE = ? AND L.IDACAO = 'A' AND L.CDCLIENTE = PARCLIEKDR.CDCLIENTE "
      "AND L.IDTPFATUCLIE = PARCLIEKDR.IDTPFATUCLIE AND L.CDEMPRESA = PARCLIEKDR.CDEMPRESA",
      {b.number});
  progress.advance(report.restored);
  report.removed = s.execute("DELETE FROM PARCLIEKDR WHERE (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA) IN "
                             "(SELECT CDCLIENTE, IDTPFATUCLIE, CDEMPRESA FROM KDR_LOTE_LINHA "
                             "WHERE NRLOTE = ? AND IDACAO = 'I')",
                             {b.number});
  progress.advance(report.removed);
  return report;
}

const DeltaTable &tableNamed(const std::string &name) {
  return name == "PAREMPKDR" ? rdmParamFatCli::parEmpKdr() : rdmParamFatCli::parClieKdr();
}

// "CDEMPRESA = ? AND ..." for the history key of a row of table.
std::string keyCondition(const DeltaTable &table, const RowChange &c, Params &params) {
  std::string sql;
  auto add = [&](const std::string &column, const Variant &v) {
    if (column.empty()) return;
    sql += (sql.empty() ? "" : " AND ") + column + " = ?";
    params.push_back(v);
  };
  add(table.historyClient, c.client);
  add(table.historyType, c.type);
  add(table.historyCompany, c.company);
  return sql;
}

// The row as it is now, field by field, or nothing when it is gone.
std::optional<Row> currentRow(Session &s, const RowChange &c) {
  const DeltaTable &table = tableNamed(c.table);
  std::string columns;
  for (const FieldChange &f : c.fields) columns += (columns.empty() ? "" : ", ") + f.name;
  Params params;
  std::string where = keyCondition(table, c, params);
  Rows rows = s.query("SELECT " + (columns.empty() ? std::string("1") : columns) + " FROM " +
                          table.stored.name + " WHERE " + where,
                      params);
  if (rows.empty()) return std::nullopt;
  return rows[0];
}

// An import: its history records hold every changed field's before and after. They are read a
// page at a time, once to check and once to write, so that undoing an import of a million rows
// holds a page of them, not all.
UndoReport undoRecords(Session &s, const BatchInfo &b, std::int64_t undo, const Author &author,
                       WorkProgress &progress) {
  HistoryFilter filter;
  filter.batch = b.number;
  std::vector<RowKey> changed;
  std::int64_t entries = 0;
  forEachHistoryEntry(s, filter, [&](const HistoryEntry &e) {
    const RowChange &c = e.change;
    RowKey key{c.table, c.client, c.type, c.company};
    std::optional<Row> now = currentRow(s, c);
    bool same = now.has_value() && !touched(s, key);
    for (std::size_t i = 0; same && i < c.fields.size(); ++i)
      same = sameStoredValue((*now)[i], c.fields[i].after);
    if (!same) changed.push_back(key);
    ++entries;
  });
  if (!changed.empty()) refuseTouched(b.number, changed);

  UndoReport report{undo, 0, 0};
  progress.begin(entries);
  HistoryWriter history(s, author, undo);
  forEachHistoryEntry(s, filter, [&](const HistoryEntry &e) {
    const RowChange &c = e.change;
    const DeltaTable &table = tableNamed(c.table);
    Params params;
    RowChange back{c.table, c.client, c.type, c.company, Operation::Modify, {}};
    for (const FieldChange &f : c.fields) back.fields.push_back({f.name, f.after, f.before});
    if (c.operation == Operation::Insert) {
      std::string where = keyCondition(table, c, params);
      s.execute("DELETE FROM " + table.stored.name + " WHERE " + where, params);
      back.operation = Operation::Delete;
      ++report.removed;
    } else {
      std::string set;
      for (const FieldChange &f : c.fields) {
        set += (set.empty() ? "" : ", ") + f.name + " = ?";
        params.push_back(f.before);
      }
      std::string where = keyCondition(table, c, params);
      s.execute("UPDATE " + table.stored.name + " SET " + set + " WHERE " + where, params);
      ++report.restored;
    }
    history.record(back);
    progress.advance(1);
  });
  return report;
}

// Takes what the undo checks before it checks it: the clients of the batch's rows, then the rows,
// each in key order, as every other writer takes them. A change committed meanwhile is then in
// the history and the rows when the check reads them, and a change started meanwhile waits for
// the undo and finds the rows no longer as its desktop saw them.
void lockBatchRows(Session &s, const BatchInfo &b) {
  const Params batch{b.number};
  if (b.operation == copyOperation) {
    const std::string lines = " FROM KDR_LOTE_LINHA WHERE NRLOTE = ?";
    lockClients(s, "CDCLIENTE IN (SELECT CDCLIENTE" + lines + ")", batch);
    lockTableRows(s, tables::parClieKdr(),
                  "(CDCLIENTE, IDTPFATUCLIE, CDEMPRESA) IN (SELECT CDCLIENTE, IDTPFATUCLIE, CDEMPRESA" +
                      lines + ")",
                  batch);
    return;
  }
  const std::string records = " FROM KDR_HISTORICO WHERE NRLOTE = ? AND NMTABELA = ";
  lockClients(s, "CDCLIENTE IN (SELECT CDCLIENTE" + records + "'PARCLIEKDR')", batch);
  lockTableRows(s, tables::parClieKdr(),
                "(CDCLIENTE, IDTPFATUCLIE, CDEMPRESA) IN (SELECT CDCLIENTE, IDTPFATU, CDEMPRESA" + records +
                    "'PARCLIEKDR')",
                batch);
  lockTableRows(s, tables::parEmpKdr(),
                "(CDEMPRESA, IDTPFATUEMPRESA) IN (SELECT CDEMPRESA, IDTPFATU" + records + "'PAREMPKDR')",
                batch);
}

} // namespace

UndoReport undoBatch(Session &s, std::int64_t batch, const Author &author, WorkProgress *progress) {
  WorkProgress quiet;
  WorkProgress &told = progress ? *progress : quiet;
  Transaction tx(s, Transaction::Mode::Write);
  // Two undos of one batch started together: the second waits here until the first is done,
  // then finds the batch undone.
  s.query("SELECT NRLOTE FROM KDR_LOTE WHERE NRLOTE = ?" + std::string(s.dialect().lockRows()), {batch});
  std::optional<BatchInfo> b = findBatch(s, batch);
  if (!b) throw ServiceError(ErrorCode::NotFound, "Lote " + std::to_string(batch) + " não encontrado.");
  if (b->operation == undoOperation)
    refuse("O lote " + std::to_string(batch) + " é um desfazer e não pode ser desfeito.");
  if (b->undoneBy)
    throw ServiceError(ErrorCode::Conflict, "O lote " + std::to_string(batch) +
                                                " já foi desfeito pelo lote " + std::to_string(*b->undoneBy) +
                                                ".");
  lockBatchRows(s, *b);
  fillTouched(s, *b);
  std::int64_t undo = openBatch(s, author, undoOperation, b->model, b->types, b->targets, b->number);
  UndoReport report =
      b->operation == copyOperation ? undoCopy(s, *b, undo, told) : undoRecords(s, *b, undo, author, told);
  closeBatch(s, undo, b->added, b->replaced);
  tx.commit();
  return report;
}

} // namespace kdr::server
