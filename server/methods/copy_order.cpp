#include "server/methods/copy_order.h"

#include <algorithm>
#include <optional>

#include "platform/rtl/utf8.h"
#include "server/errors.h"
#include "server/methods/billing.h"
#include "server/methods/row_locks.h"
#include "server/store/packets.h"
#include "server/store/tables.h"

namespace kdr::server::rdmParamFatCli {
namespace {

struct OrderRow {
  std::string type;
  Variant invoiceText, slipText; // null: not copied
};

// A model row's columns as the copy handles them: the billing type and company that place it, the
// two texts an order may replace, and every other column of the row, copied as it is.
const std::vector<std::string> placeColumns{"IDTPFATUCLIE", "CDEMPRESA"};
const std::vector<std::string> &textColumns = tables::billingTexts();

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// What a text scratch row holds, and what a copy scratch row holds: every column but the client.
const std::vector<std::string> textRowColumns = joined(placeColumns, textColumns);
const std::vector<std::string> &copyRowColumns() {
  static const std::vector<std::string> names = joined(placeColumns, tables::copiedColumns());
  return names;
}

// "X.IDTPFATUCLIE = P.IDTPFATUCLIE AND X.CDEMPRESA = P.CDEMPRESA": two tables' rows of one place.
std::string samePlace(std::string_view a, std::string_view b) {
  std::string out;
  for (const std::string &c : placeColumns)
    out += (out.empty() ? "" : " AND ") + std::string(a) + "." + c + " = " + std::string(b) + "." + c;
  return out;
}

// A model row of an ordered type, with the texts its order row carries.
struct ModelRow {
  std::string type, company;
  Row values; // the copied columns after the texts, in tables::copiedColumns() order
  Variant invoiceText = nullptr, slipText = nullptr;
  bool paired = false;
};

std::string trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  return std::string(s);
}

std::vector<OrderRow> readOrder(const DataPacket &order) {
  int type = -1, invoice = -1, slip = -1;
  for (std::size_t i = 0; i < order.fields.size(); ++i) {
    const std::string &name = order.fields[i].name;
    int *slot = utf8::sameText(name, "IDTPFATUCLIE")  ? &type
                : utf8::sameText(name, "DSFATURCLIE") ? &invoice
                : utf8::sameText(name, "DSBOLETCLIE") ? &slip
                                                      : nullptr;
    if (!slot) refuse("O campo " + quoted(name) + " não pertence à ordem de cópia.");
    *slot = static_cast<int>(i);
  }
  if (type < 0) refuse("Os dados enviados não trazem o campo IDTPFATUCLIE.");
  auto text = [](const PacketRow &row, int index) -> Variant {
    if (index < 0 || row.values[index].isEmpty()) return nullptr;
    const Variant &v = row.values[index];
    if (!v.isString() || utf8::length(v.str()) > 400)
      refuse("As descrições devem ser textos de no máximo 400 caracteres.");
    return v;
  };
  std::vector<OrderRow> out;
  for (const PacketRow &row : order.rows) {
    if (row.status != RowStatus::Inserted) refuse("A ordem de cópia deve trazer somente linhas incluídas.");
    std::string code = row.values[type].isString() ? row.values[type].str() : std::string();
    if (!isBillingType(code)) refuse("Tipo de faturamento inválido: \"" + quoted(code) + "\". Use de 1 a 6.");
    out.push_back({code, text(row, invoice), text(row, slip)});
  }
  if (out.empty()) refuse("Tipo de Serviço/Descrição não informados.");
  return out;
}

bool textMatches(const Variant &ordered, const Variant &model) {
  return ordered.isNull() || ordered == model;
}

// Each order row takes the model row of its type whose texts it carries; two model rows of one
// type (two companies) are thus told apart.
std::vector<ModelRow> pairWithModel(Session &s, const std::string &model,
                                    const std::vector<OrderRow> &order) {
  Rows rows = s.query("SELECT " + nameList(copyRowColumns()) +
                          " FROM PARCLIEKDR WHERE CDCLIENTE = ? ORDER BY " + nameList(placeColumns),
                      {model});
  std::vector<ModelRow> modelRows;
  std::vector<std::pair<Variant, Variant>> storedTexts;
  for (Row &r : rows) {
    if (std::none_of(order.begin(), order.end(),
                     [&](const OrderRow &o) { return o.type == r[0].asString(); }))
      continue;
    storedTexts.emplace_back(r[2], r[3]);
    modelRows.push_back({r[0].asString(), r[1].asString(), Row(r.begin() + textRowColumns.size(), r.end())});
  }
  for (const OrderRow &o : order) {
    ModelRow *chosen = nullptr;
    for (std::size_t i = 0; i < modelRows.size(); ++i) {
      ModelRow &m = modelRows[i];
      if (m.paired || m.type != o.type) continue;
      if (!chosen) chosen = &m;
      if (textMatches(o.invoiceText, storedTexts[i].first) &&
          textMatches(o.slipText, storedTexts[i].second)) {
        chosen = &m;
        break;
      }
    }
    if (!chosen)
      throw ServiceError(ErrorCode::Conflict,
                         "O cliente modelo " + quoted(model) +
                             " não tem mais parâmetro do tipo de faturamento " + billingTypeText(o.type) +
                             ". Nada foi gravado; recarregue os parâmetros do cliente modelo.");
    chosen->paired = true;
    chosen->invoiceText = o.invoiceText;
    chosen->slipText = o.slipText;
  }
  return modelRows;
}

void prepareScratch(Session &s, std::string_view name, std::string_view columns) {
  s.executeScript("CREATE TEMP TABLE IF NOT EXISTS " + std::string(name) + " (" + std::string(columns) + ")");
  s.execute("DELETE FROM " + std::string(name));
}

// The rows a target's own rows take their texts from: per ordered type and company, the model
// row of that company, else the model's first row of the type.
void fillTexts(Session &s, const std::vector<ModelRow> &model) {
  prepareScratch(s, "KDR_TEXTO",
                 tables::parClieKdr().declarations(nameList(textRowColumns)) + ", PRIMARY KEY (" +
                     nameList(placeColumns) + ")");
  Rows companies = s.query("SELECT CDEMPRESA FROM EMPRESA");
  std::vector<std::string> types;
  for (const ModelRow &m : model)
    if (std::find(types.begin(), types.end(), m.type) == types.end()) types.push_back(m.type);
  for (const std::string &type : types)
    for (const Row &company : companies) {
      const ModelRow *source = nullptr;
      for (const ModelRow &m : model) {
        if (m.type != type) continue;
        if (!source) source = &m;
        if (m.company == company[0].asString()) {
          source = &m;
          break;
        }
      }
      if (source->invoiceText.isNull() && source->slipText.isNull()) continue;
      s.execute("INSERT INTO KDR_TEXTO (" + nameList(textRowColumns) + ") VALUES (" +
                    placeholders(textRowColumns.size()) + ")",
                {type, company[0], source->invoiceText, source->slipText});
    }
}

void fillCopies(Session &s, const std::vector<ModelRow> &model) {
  prepareScratch(s, "KDR_COPIA", tables::parClieKdr().declarations(nameList(copyRowColumns())));
  for (const ModelRow &m : model) {
    Variant fallback = defaultDescription(m.type);
    Params params{m.type, m.company, m.invoiceText.isNull() ? fallback : m.invoiceText,
                  m.slipText.isNull() ? fallback : m.slipText};
    params.insert(params.end(), m.values.begin(), m.values.end());
    s.execute("INSERT INTO KDR_COPIA (" + nameList(copyRowColumns()) + ") VALUES (" +
                  placeholders(copyRowColumns().size()) + ")",
              params);
  }
}

// "1,4": the ordered billing types, each once, in order.
std::string orderedTypes(const std::vector<OrderRow> &order) {
  std::string out;
  for (const OrderRow &o : order)
    if (out.find(o.type) == std::string::npos) out += (out.empty() ? "" : ",") + o.type;
  return out;
}

void fillTargets(Session &s, const std::vector<std::string> &codes) {
  prepareScratch(s, "KDR_ALVO", tables::cliente().declarations("CDCLIENTE") + " PRIMARY KEY");
  constexpr std::size_t batch = 200;
  for (std::size_t i = 0; i < codes.size(); i += batch) {
    std::size_t n = std::min(batch, codes.size() - i);
    std::string sql = "INSERT INTO KDR_ALVO (CDCLIENTE) SELECT DISTINCT X.C FROM (";
    Params params;
    for (std::size_t k = 0; k < n; ++k) {
      sql += k ? " UNION ALL SELECT ?" : "SELECT ? AS C";
      params.push_back(codes[i + k]);
    }
    sql += ") X WHERE NOT EXISTS (SELECT 1 FROM KDR_ALVO A WHERE A.CDCLIENTE = X.C)";
    s.execute(sql, params);
  }
}

} // namespace

TargetList parseTargetList(std::string_view text) {
  TargetList list;
  if (trim(text) == "T") {
    list.everyone = true;
    return list;
  }
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    std::string code =
        trim(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (code.size() >= 2 && code.front() == '\'' && code.back() == '\'')
      code = trim(std::string_view(code).substr(1, code.size() - 2));
    if (!code.empty()) list.codes.push_back(code);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return list;
}

namespace {

// What a copy and its preview share: the order read, the model's rows paired with it, the scratch
// tables filled, and which clients are targets.
struct CopyPlan {
  std::string model, types, targets;
  bool everyone = false;

  // The model is never a target, whatever the list says. One parameter: the model.
  std::string targetCondition(std::string_view table) const {
    std::string t(table);
    return everyone ? t + ".CDCLIENTE <> ?"
                    : t + ".CDCLIENTE IN (SELECT CDCLIENTE FROM KDR_ALVO) AND " + t + ".CDCLIENTE <> ?";
  }
  std::int64_t clients(Session &s) const {
    return s.query("SELECT COUNT(*) FROM CLIENTE C WHERE " + targetCondition("C"), {model})[0][0].asInteger();
  }
};

// A run of target clients by code: those after `after` up to `upTo`; an end not given is open.
struct ClientRun {
  std::optional<std::string> after, upTo;

  // " AND X.CDCLIENTE > ? AND X.CDCLIENTE <= ?", its values added to params.
  std::string condition(std::string_view table, Params &params) const {
    std::string out;
    if (after) {
      out += " AND " + std::string(table) + ".CDCLIENTE > ?";
      params.push_back(*after);
    }
    if (upTo) {
      out += " AND " + std::string(table) + ".CDCLIENTE <= ?";
      params.push_back(*upTo);
    }
    return out;
  }
};

// The last client of the run of `size` targets that follows `after`; none when fewer are left.
std::optional<std::string> runEnd(Session &s, const CopyPlan &plan, const std::optional<std::string> &after,
                                  std::int64_t size) {
  Params params{plan.model};
  const std::string range = ClientRun{after, std::nullopt}.condition("C", params);
  Rows rows = s.query("SELECT C.CDCLIENTE FROM CLIENTE C WHERE " + plan.targetCondition("C") + range +
                          " ORDER BY C.CDCLIENTE LIMIT 1 OFFSET " + std::to_string(size - 1),
                      params);
  if (rows.empty()) return std::nullopt;
  return rows[0][0].asString();
}

CopyPlan planCopy(Session &s, const std::string &targets, const std::string &modelClient,
                  const DataPacket &order) {
  TargetList list = parseTargetList(targets);
  if (!list.everyone && list.codes.empty()) refuse("Cliente deve ser informado.");
  std::vector<OrderRow> orderRows = readOrder(order);

  Rows modelFound = s.query("SELECT 1 FROM CLIENTE WHERE CDCLIENTE = ?", {modelClient});
  if (modelFound.empty())
    throw ServiceError(ErrorCode::NotFound, "Cliente modelo " + quoted(modelClient) + " não cadastrado.");
  std::vector<ModelRow> model = pairWithModel(s, modelClient, orderRows);
  fillTexts(s, model);
  fillCopies(s, model);
  if (!list.everyone) fillTargets(s, list.codes);
  return CopyPlan{modelClient, orderedTypes(orderRows), trim(targets), list.everyone};
}

// One line per target row the copy replaces (with the texts the row had) or adds, into lines: the
// batch's own lines for a copy, a scratch table for its preview.
void writeLines(Session &s, const CopyPlan &plan, std::string_view lines, const Variant &batch,
                const ClientRun &run = {}) {
  const std::string into =
      "INSERT INTO " + std::string(lines) + " (NRLOTE, CDCLIENTE, " + nameList(placeColumns);
  Params replaced{batch, plan.model};
  const std::string replacedRun = run.condition("PARCLIEKDR", replaced);
  s.execute(into + ", IDACAO, " + nameList(textColumns) + ") SELECT ?, PARCLIEKDR.CDCLIENTE, " +
                nameList(placeColumns, "PARCLIEKDR.") + ", 'A', " + nameList(textColumns, "PARCLIEKDR.") +
                " FROM PARCLIEKDR JOIN KDR_TEXTO X ON " + samePlace("X", "PARCLIEKDR") + " WHERE " +
                plan.targetCondition("PARCLIEKDR") + replacedRun,
            replaced);
  Params added{batch, plan.model};
  const std::string addedRun = run.condition("C", added);
  // The run is repeated on the rows looked for, so that a planner merging the two in code order
  // starts at the run instead of at the table's first client.
  const std::string ownRowsRun = run.condition("P", added);
  s.execute(into + ", IDACAO) SELECT ?, C.CDCLIENTE, " + nameList(placeColumns, "M.") +
                ", 'I' FROM CLIENTE C CROSS JOIN KDR_COPIA M WHERE " + plan.targetCondition("C") + addedRun +
                " AND NOT EXISTS (SELECT 1 FROM PARCLIEKDR P WHERE P.CDCLIENTE = C.CDCLIENTE "
                "AND P.IDTPFATUCLIE = M.IDTPFATUCLIE" +
                ownRowsRun + ")",
            added);
}

// The copy itself, inside the caller's transaction. Every row it replaces or adds leaves a line in
// its batch first, and the rows it adds are then written from those lines, so the history costs
// one narrow insert per row and no second search.
// One run of targets: its lines, then its replaced texts and added rows.
void copyRun(Session &s, const CopyPlan &plan, const Variant &batch, const ClientRun &run,
             CopyReport &report) {
  writeLines(s, plan, "KDR_LOTE_LINHA", batch, run);
  // A text the order leaves out keeps the target's own.
  std::string setTexts;
  for (const std::string &c : textColumns)
    setTexts += (setTexts.empty() ? "" : ", ") + c + " = COALESCE(X." + c + ", PARCLIEKDR." + c + ")";
  Params replaced{plan.model};
  const std::string replacedRun = run.condition("PARCLIEKDR", replaced);
  report.replaced +=
      s.execute("UPDATE PARCLIEKDR SET " + setTexts + " FROM KDR_TEXTO X WHERE " +
                    samePlace("X", "PARCLIEKDR") + " AND " + plan.targetCondition("PARCLIEKDR") + replacedRun,
                replaced);
  Params added{batch};
  const std::string addedRun = run.condition("L", added);
  report.added += s.execute("INSERT INTO PARCLIEKDR (CDCLIENTE, " + nameList(copyRowColumns()) +
                                ") SELECT L.CDCLIENTE, " + nameList(copyRowColumns(), "M.") +
                                " FROM KDR_LOTE_LINHA L JOIN KDR_COPIA M ON " + samePlace("M", "L") +
                                " WHERE L.NRLOTE = ? AND L.IDACAO = 'I'" + addedRun,
                            added);
}

CopyReport runCopy(Session &s, const std::string &targets, const std::string &modelClient,
                   const DataPacket &order, const Author &author, const CopySteps &steps) {
  const CopyPlan plan = planCopy(s, targets, modelClient, order);
  // Before anything of the targets is read: a desktop saving one of them meanwhile goes first or
  // waits, so that no client ends with two rows of one billing type.
  lockClients(s, plan.targetCondition("CLIENTE"), {plan.model});

  CopyReport report;
  report.batch = openBatch(s, author, copyOperation, plan.model, plan.types, plan.targets);
  const Variant batch(report.batch);
  report.clients = plan.clients(s);
  WorkProgress quiet;
  WorkProgress &progress = steps.progress ? *steps.progress : quiet;
  progress.begin(report.clients);
  // The targets a run of clients at a time, in code order: between two runs the copy tells how
  // far it got and stops when asked.
  ClientRun run;
  for (std::int64_t done = 0; done < report.clients;) {
    run.upTo = runEnd(s, plan, run.after, steps.clientsPerStep);
    copyRun(s, plan, batch, run, report);
    const std::int64_t inRun = run.upTo ? steps.clientsPerStep : report.clients - done;
    done += inRun;
    progress.advance(inRun);
    if (!run.upTo) break;
    run.after = run.upTo;
  }
  // What the rows were given, once per batch, for the history and the undo.
  s.execute("INSERT INTO KDR_LOTE_TEXTO (NRLOTE, " + nameList(textRowColumns) + ") SELECT ?, " +
                nameList(textRowColumns) + " FROM KDR_TEXTO",
            {batch});
  s.execute("INSERT INTO KDR_LOTE_COPIA (NRLOTE, " + nameList(copyRowColumns()) + ") SELECT ?, " +
                nameList(copyRowColumns()) + " FROM KDR_COPIA",
            {batch});
  closeBatch(s, report.batch, report.added, report.replaced);
  report.rows = report.added + report.replaced;
  return report;
}

// The preview's lines, target by target, with the totals they add up to.
CopyPreview previewOf(Session &s, std::string_view lines) {
  const Dialect &d = s.dialect();
  auto rowsOf = [&](std::string_view action) {
    return d.listAggregate("CASE WHEN IDACAO = '" + std::string(action) +
                           "' THEN IDTPFATUCLIE || '/' || CDEMPRESA END");
  };
  Rows rows =
      s.query("SELECT CDCLIENTE, SUM(CASE WHEN IDACAO = 'I' THEN 1 ELSE 0 END), "
              "SUM(CASE WHEN IDACAO = 'A' THEN 1 ELSE 0 END), " +
              rowsOf("I") + ", " + rowsOf("A") + " FROM (SELECT * FROM " + std::string(lines) +
              " ORDER BY CDCLIENTE, IDTPFATUCLIE, CDEMPRESA) L GROUP BY CDCLIENTE ORDER BY CDCLIENTE");
  CopyPreview preview;
  preview.targets.reserve(rows.size());
  for (const Row &r : rows) {
    preview.targets.push_back(
        {r[0].asString(), r[1].asInteger(), r[2].asInteger(), r[3].asString(), r[4].asString()});
    preview.totals.added += r[1].asInteger();
    preview.totals.replaced += r[2].asInteger();
  }
  preview.totals.rows = preview.totals.added + preview.totals.replaced;
  return preview;
}

} // namespace

CopyReport GeraAutomParam(Session &s, const std::string &targets, const std::string &modelClient,
                          const DataPacket &order, const Author &author, const CopySteps &steps) {
  // A copy may go through every client's rows and write as many history lines.
  LongWrite longWrite(s);
  Transaction tx(s, Transaction::Mode::Write);
  CopyReport report = runCopy(s, targets, modelClient, order, author, steps);
  tx.commit();
  return report;
}

CopyPreview previewGeraAutomParam(Session &s, const std::string &targets, const std::string &modelClient,
                                  const DataPacket &order) {
  // A reading transaction: the preview sees one moment of the database and locks nothing a desktop
  // writes; its lines go to a scratch table of its own connection.
  Transaction tx(s, Transaction::Mode::Read);
  const CopyPlan plan = planCopy(s, targets, modelClient, order);
  prepareScratch(s, "KDR_PREVIA",
                 "NRLOTE BIGINT, " +
                     tables::parClieKdr().declarations(nameList(joined({"CDCLIENTE"}, textRowColumns))) +
                     ", IDACAO VARCHAR(1)");
  writeLines(s, plan, "KDR_PREVIA", Variant(std::int64_t{0}));
  CopyPreview preview = previewOf(s, "KDR_PREVIA");
  preview.totals.clients = plan.clients(s);
  tx.commit();
  return preview;
}

Variant copyReportPacket(const CopyReport &report) {
  DataPacket packet;
  packet.fields = {FieldDef{"CLIENTES", FieldType::Integer, 0, false},
                   FieldDef{"LINHAS", FieldType::Integer, 0, false}};
  packet.rows.push_back(PacketRow{RowStatus::Unmodified, {Variant(report.clients), Variant(report.rows)}});
  return makePacketVariant(std::move(packet));
}

Variant copyPreviewPackets(const CopyPreview &preview) {
  auto integer = [](std::string_view name) {
    return FieldDef{std::string(name), FieldType::Integer, 0, false};
  };
  Rows targets;
  targets.reserve(preview.targets.size());
  for (const TargetPreview &t : preview.targets)
    targets.push_back({t.client, t.added, t.replaced, t.addedRows, t.replacedRows});
  const CopyReport &r = preview.totals;
  return Variant(Variant::Array{
      packetFromRows({tables::cliente().column("CDCLIENTE").def, integer("INCLUIR"), integer("SUBSTITUIR"),
                      textField("DSINCLUIR", 4000), textField("DSSUBSTITUIR", 4000)},
                     std::move(targets)),
      packetFromRows({integer("CLIENTES"), integer("LINHAS"), integer("INCLUIR"), integer("SUBSTITUIR")},
                     {{r.clients, r.rows, r.added, r.replaced}})});
}

} // namespace kdr::server::rdmParamFatCli
