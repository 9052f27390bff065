// The change history: exact records for what the desktops write, none for what is refused; undo of
// a copy; the copy's preview agreeing with the copy.
#include "server/admin/exchange.h"
#include "server/admin/undo.h"
#include "server/history/history.h"
#include "server/methods/copy_order.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

using Strings = std::vector<std::string>;

class History : public ServerTest {
protected:
  // Per changed field: method, table, key, operation, field, before, after.
  std::vector<Strings> history(const std::string &client = "", const std::string &batch = "") {
    std::vector<Strings> out;
    for (const auto &r : rowsOf("GetHistorico", {client, "", batch})) {
      Strings row;
      for (std::size_t i : {3, 5, 6, 7, 8, 9, 10, 11, 12})
        row.push_back(r[i].isNull() ? "-" : r[i].asString());
      out.push_back(row);
    }
    return out;
  }
  std::vector<std::vector<Variant>> rawHistory() { return rowsOf("GetHistorico", {"", "", ""}); }
  std::string exported() {
    auto s = store_->session();
    return exportCsv(*s, ExchangeTable::Params);
  }
  std::vector<BatchInfo> batches() {
    auto s = store_->session();
    return listBatches(*s);
  }
  static DeltaBuilder order() {
    return DeltaBuilder({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                         FieldDef{"DSFATURCLIE", FieldType::String, 400},
                         FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
  }
  // Model 102: type 1 at company 02, type 4 at company 03.
  static Variant modelOrder() {
    auto o = order();
    o.insert({"1", "Customização copiada.", "Boleto copiado."});
    o.insert({"4", "Locação copiada.", nullptr});
    return o.variant();
  }
  UndoReport undo(std::int64_t batch) {
    auto s = store_->session();
    return undoBatch(*s, batch, Author{"admin", 0, "undo"});
  }
  std::string undoRefusal(std::int64_t batch) {
    try {
      undo(batch);
    } catch (const ServiceError &e) {
      EXPECT_EQ(e.code(), ErrorCode::Conflict);
      return e.Message();
    }
    ADD_FAILURE() << "undo of batch " << batch << " was not refused";
    return {};
  }
};

TEST_P(History, InsertChangeAndDeleteThroughTheWireLeaveExactRecords) {
  user_ = "joão.silva"; // a name the desktop claims: the history must name the session's operator
  DataPacket p101 = paramsOf("101");
  DeltaBuilder insert(paramFatCliFields());
  insert.insert(paramRow("104", "3", "01", "Fatura nova", "Boleto novo"));
  ASSERT_EQ(call("SetParamFatCli", {insert.variant()}).status, 200);
  // The flag is sent with the value it already had: not a change, not recorded.
  DeltaBuilder modify(paramFatCliFields());
  modify.modify(p101.rows[0].values, {{"DSFATURCLIE", "Texto alterado"}, {"IDFATMESATUCLIE", "S"}});
  ASSERT_EQ(call("SetParamFatCli", {modify.variant()}).status, 200);
  DeltaBuilder remove(paramFatCliFields());
  remove.remove(p101.rows[2].values);
  ASSERT_EQ(call("SetParamFatCli", {remove.variant()}).status, 200);
  DeltaBuilder defaults(empresaKdrFields());
  defaults.modify({"02", "1", "Customização conforme proposta comercial.", nullptr},
                  {{"DSBOLETEMPRESA", "Boleto Beta."}});
  ASSERT_EQ(call("SetParEmpKdr", {defaults.variant()}).status, 200);

  const std::string p = "SetParamFatCli", t = "PARCLIEKDR";
  EXPECT_EQ(
      history(),
      (std::vector<Strings>{
          {p, t, "104", "3", "01", "I", "IDFATURAPFILI", "-", "N"},
          {p, t, "104", "3", "01", "I", "IDFATMESATUCLIE", "-", "N"},
          {p, t, "104", "3", "01", "I", "DSFATURCLIE", "-", "Fatura nova"},
          {p, t, "104", "3", "01", "I", "DSBOLETCLIE", "-", "Boleto novo"},
          {p, t, "104", "3", "01", "I", "IDGERANFUNIFICA", "-", "N"},
          {p, t, "104", "3", "01", "I", "VRPERCAJUSTEINV", "-", "0"},
          {p, t, "101", "3", "01", "A", "DSFATURCLIE", "Manutenção do sistema de vendas.", "Texto alterado"},
          {p, t, "101", "6", "02", "E", "IDFATURAPFILI", "S", "-"},
          {p, t, "101", "6", "02", "E", "IDFATMESATUCLIE", "N", "-"},
          {p, t, "101", "6", "02", "E", "DSFATURCLIE", "Service desk mensal.", "-"},
          {p, t, "101", "6", "02", "E", "DSBOLETCLIE", "Boleto de service desk.", "-"},
          {p, t, "101", "6", "02", "E", "CDTIPOSERV", "001", "-"},
          {p, t, "101", "6", "02", "E", "IDGERANFUNIFICA", "N", "-"},
          {p, t, "101", "6", "02", "E", "VRPERCAJUSTEINV", "0", "-"},
          {"SetParEmpKdr", "PAREMPKDR", "-", "1", "02", "A", "DSBOLETEMPRESA", "-", "Boleto Beta."},
      }));
  // Who: the signed-in operator, whatever the request claims, and one request id per call.
  std::vector<std::vector<Variant>> raw = rawHistory();
  for (const auto &r : raw) EXPECT_EQ(r[1], Variant("supervisor"));
  EXPECT_EQ(raw[0][2], raw[5][2]);
  EXPECT_NE(raw[5][2], raw[6][2]);
  EXPECT_EQ(history("104").size(), 6u);

  // Refused deltas leave no record: a stale original, a rule broken.
  DeltaBuilder stale(paramFatCliFields());
  stale.modify(p101.rows[0].values, {{"DSFATURCLIE", "Outro"}});
  EXPECT_EQ(call("SetParamFatCli", {stale.variant()}).status, 409);
  DeltaBuilder broken(paramFatCliFields());
  broken.insert(paramRow("105", "1", "01"));
  broken.insert(paramRow("105", "7", "01"));
  EXPECT_EQ(call("SetParamFatCli", {broken.variant()}).status, 400);
  EXPECT_EQ(rawHistory().size(), raw.size());
}

TEST_P(History, UndoOfACopyGivesBackByteIdenticalRows) {
  const std::string before = exported();
  Reply r = call("GeraAutomParam", {"'1010','103','104'", "102", modelOrder()});
  ASSERT_EQ(r.status, 200) << r.text;
  ASSERT_NE(exported(), before);
  const BatchInfo copy = batches().back();
  EXPECT_EQ(copy.operation, "copia");
  EXPECT_EQ(copy.model, "102");
  EXPECT_EQ(copy.types, "1,4");
  EXPECT_EQ(copy.added, 5); // 1010: 4/03; 103 and 104: 1/02 and 4/03
  EXPECT_EQ(copy.replaced, 2);
  EXPECT_EQ(history("", std::to_string(copy.number)).size(), 2u * 2 + 5u * 6);

  UndoReport u = undo(copy.number);
  EXPECT_EQ(u.removed, 5);
  EXPECT_EQ(u.restored, 2);
  EXPECT_EQ(exported(), before);
  // The undo is in the history, each row the other way round, and cannot be done twice.
  std::vector<Strings> undone = history("1010", std::to_string(u.batch));
  ASSERT_FALSE(undone.empty());
  EXPECT_EQ(undone[0], (Strings{"undo", "PARCLIEKDR", "1010", "1", "01", "A", "DSFATURCLIE",
                                "Customização copiada.", "Customização Alfa."}));
  EXPECT_EQ(undone.back()[5], "E");
  EXPECT_EQ(batches().front().undoneBy, u.batch);
  EXPECT_NE(undoRefusal(copy.number).find("já foi desfeito"), std::string::npos);
}

TEST_P(History, UndoAfterALaterChangeIsRefusedNamingTheRowAndWritesNothing) {
  ASSERT_EQ(call("GeraAutomParam", {"'1010','103'", "102", modelOrder()}).status, 200);
  const std::int64_t batch = batches().back().number;
  // A desktop changes one copied row and puts its value back: the row was still touched.
  std::vector<Variant> row = paramsOf("1010").rows[0].values;
  DeltaBuilder there(paramFatCliFields());
  there.modify(row, {{"DSBOLETCLIE", "Mudado"}});
  ASSERT_EQ(call("SetParamFatCli", {there.variant()}).status, 200);
  row[3] = "Mudado";
  DeltaBuilder back(paramFatCliFields());
  back.modify(row, {{"DSBOLETCLIE", "Boleto copiado."}});
  ASSERT_EQ(call("SetParamFatCli", {back.variant()}).status, 200);

  const std::string now = exported();
  const std::size_t records = rawHistory().size();
  std::string message = undoRefusal(batch);
  EXPECT_NE(message.find("cliente 1010, tipo 1 (Customização), empresa 01"), std::string::npos) << message;
  EXPECT_EQ(message.find("cliente 103"), std::string::npos) << message;
  EXPECT_EQ(exported(), now);
  EXPECT_EQ(rawHistory().size(), records);
  EXPECT_EQ(batches().size(), 1u);
}

TEST_P(History, PreviewCountsAreWhatTheCopyDoes) {
  const std::string before = exported();
  Reply preview = call("PreviewGeraAutomParam", {"T", "1010", [] {
                                                   auto o = order();
                                                   o.insert({"1", "Customização Alfa.", nullptr});
                                                   o.insert({"1", "Customização Beta.", nullptr});
                                                   return o.variant();
                                                 }()});
  ASSERT_EQ(preview.status, 200) << preview.text;
  EXPECT_EQ(exported(), before);
  EXPECT_TRUE(batches().empty());
  const Variant result = preview.result();
  const Variant::Array &parts = result.array();
  const DataPacket &targets = *parts.at(0).packet(), &totals = *parts.at(1).packet();
  // 102 has type 1 at company 02 (replaced); the others get both model rows, but 1010 is the model.
  ASSERT_EQ(targets.rows.size(), 9u);
  EXPECT_EQ(targets.rows[1].values,
            (std::vector<Variant>{"102", std::int64_t{0}, std::int64_t{1}, "", "1/02"}));
  EXPECT_EQ(targets.rows[2].values,
            (std::vector<Variant>{"103", std::int64_t{2}, std::int64_t{0}, "1/01, 1/02", ""}));

  auto o = order();
  o.insert({"1", "Customização Alfa.", nullptr});
  o.insert({"1", "Customização Beta.", nullptr});
  Reply copy = call("GeraAutomParam", {"T", "1010", o.variant()});
  ASSERT_EQ(copy.status, 200);
  const std::vector<Variant> done = copy.packet().rows.at(0).values;
  EXPECT_EQ(totals.rows.at(0).values, (std::vector<Variant>{done[0], done[1], Variant(batches().back().added),
                                                            Variant(batches().back().replaced)}));
}

TEST(CopyPreview, AgreesWithTheCopyOnABulkBase) {
  ScratchDatabase db("sqlite");
  auto store = Store::open(db.url());
  auto s = store->session();
  ASSERT_TRUE(seedBulk(*s, 300));
  DataPacket order;
  order.fields = {FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                  FieldDef{"DSFATURCLIE", FieldType::String, 400},
                  FieldDef{"DSBOLETCLIE", FieldType::String, 400}};
  for (const char *t : {"1", "2", "3", "4", "5", "6"})
    order.rows.push_back({RowStatus::Inserted, {std::string(t), "Modelo " + std::string(t), nullptr}});
  for (const std::string targets : {"T", "'2','17','250','299','9999'"}) {
    SCOPED_TRACE(targets);
    rdmParamFatCli::CopyPreview p = rdmParamFatCli::previewGeraAutomParam(*s, targets, "1", order);
    std::int64_t added = 0, replaced = 0;
    for (const auto &t : p.targets) {
      added += t.added;
      replaced += t.replaced;
    }
    rdmParamFatCli::CopyReport r =
        rdmParamFatCli::GeraAutomParam(*s, targets, "1", order, Author{"bench", 0, "copy"});
    EXPECT_EQ(p.totals.clients, r.clients);
    EXPECT_EQ(p.totals.added, r.added);
    EXPECT_EQ(p.totals.replaced, r.replaced);
    EXPECT_EQ(added, r.added);
    EXPECT_EQ(replaced, r.replaced);
    EXPECT_EQ(r.rows, r.added + r.replaced);
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, History, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
