// Saving deltas: the change log applied in order, all or nothing, optimistic concurrency and the
// value rules checked before anything is written.
#include <latch>
#include <limits>
#include <thread>

#include "server/store/engines.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class Deltas : public ServerTest {
protected:
  std::vector<Variant> stored(const std::string &client, std::size_t index) {
    return paramsOf(client).rows[index].values;
  }
  std::size_t count(const std::string &client) { return paramsOf(client).rows.size(); }
  static Variant field(const std::vector<Variant> &row, const char *name) {
    return row[DeltaBuilder(paramFatCliFields()).packet.fieldIndex(name)];
  }
};

TEST_P(Deltas, InsertModifyAndDeleteApplyInOneSave) {
  DeltaBuilder d(paramFatCliFields());
  d.insert(paramRow("104", "2", "01", "Cessão.", "Boleto cessão."));
  d.modify(stored("101", 0), {{"DSFATURCLIE", "Novo texto"}, {"NMEMPRESA", "ignored: shown only"}});
  d.remove(stored("102", 1));
  Reply r = call("SetParamFatCli", {d.variant()});
  ASSERT_EQ(r.status, 200) << r.text;
  EXPECT_TRUE(r.result().isNull());

  EXPECT_EQ(count("104"), 1u);
  EXPECT_EQ(field(stored("104", 0), "NMEMPRESA"), Variant("Alfa Sistemas Ltda"));
  EXPECT_EQ(field(stored("101", 0), "DSFATURCLIE"), Variant("Novo texto"));
  EXPECT_EQ(field(stored("101", 0), "DSBOLETCLIE"), Variant("Boleto pagável em qualquer agência."));
  EXPECT_EQ(count("102"), 1u);
}

TEST_P(Deltas, ChangingTheCompanyMovesTheRow) {
  DeltaBuilder d(paramFatCliFields());
  d.modify(stored("103", 0), {{"CDEMPRESA", "03"}});
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  EXPECT_EQ(field(stored("103", 0), "CDEMPRESA"), Variant("03"));
  EXPECT_EQ(count("103"), 1u);
  // A company's default texts moved to another company: the company is the row's first field.
  DeltaBuilder texts(empresaKdrFields());
  texts.modify({"03", "4", "Locação conforme contrato.", "Boleto de locação Gama."}, {{"CDEMPRESA", "04"}});
  ASSERT_EQ(call("SetParEmpKdr", {texts.variant()}).status, 200);
  EXPECT_EQ(rowsOf("GetDescPadrao", {"03", "4"}).size(), 0u);
  EXPECT_EQ(rowsOf("GetDescPadrao", {"04", "4"}).size(), 1u);
}

TEST_P(Deltas, StaleChangeRefusesTheWholeDelta) {
  std::vector<Variant> original = stored("101", 0);
  DeltaBuilder first(paramFatCliFields());
  first.modify(original, {{"DSFATURCLIE", "Outro desktop"}});
  ASSERT_EQ(call("SetParamFatCli", {first.variant()}).status, 200);

  // This desktop still holds the old text: its insert must not be written either.
  DeltaBuilder second(paramFatCliFields());
  second.insert(paramRow("104", "1", "01"));
  second.modify(original, {{"DSFATURCLIE", "Meu texto"}});
  Reply r = call("SetParamFatCli", {second.variant()});
  EXPECT_EQ(r.status, 409);
  EXPECT_EQ(r.errorCode(), "conflict");
  EXPECT_NE(r.message().find("cliente 101"), std::string::npos) << r.message();
  EXPECT_NE(r.message().find("3 (Manutenção)"), std::string::npos) << r.message();
  EXPECT_EQ(count("104"), 0u);
  EXPECT_EQ(field(stored("101", 0), "DSFATURCLIE"), Variant("Outro desktop"));

  // A change of another field of the same row still matches: only changed fields are compared.
  DeltaBuilder third(paramFatCliFields());
  third.modify(original, {{"DSBOLETCLIE", "Boleto novo"}});
  EXPECT_EQ(call("SetParamFatCli", {third.variant()}).status, 200);

  // Deleting a row another desktop removed.
  DeltaBuilder gone(paramFatCliFields());
  gone.remove(stored("103", 0)).remove(stored("103", 0));
  EXPECT_EQ(call("SetParamFatCli", {gone.variant()}).status, 409);
  EXPECT_EQ(count("103"), 1u);
}

// A desktop whose change is refused because another changed or removed the row first is told
// what the server holds now and who changed it when, so its user can choose between the two
// versions; a key that is simply taken carries no such detail.
TEST_P(Deltas, AConflictCarriesTheRowAsHeldAndItsLastAuthor) {
  const std::vector<Variant> seen = stored("101", 0);
  const std::string clerk = signIn("atendente", "atendente");
  DeltaBuilder first(paramFatCliFields());
  first.modify(seen, {{"DSFATURCLIE", "Texto da Ana"}});
  ASSERT_EQ(callServer(port_, "SetParamFatCli", {first.variant()}, "KDR03020.rdmParamFatCli", clerk).status,
            200);

  DeltaBuilder stale(paramFatCliFields());
  stale.modify(seen, {{"DSFATURCLIE", "Meu texto"}});
  Reply r = call("SetParamFatCli", {stale.variant()});
  ASSERT_EQ(r.status, 409) << r.text;
  ASSERT_TRUE(r.body.errorDetail.isArray()) << r.text;
  const Variant::Array &detail = r.body.errorDetail.array();
  ASSERT_EQ(detail.size(), 3u);
  const DataPacket &held = *detail[0].packet();
  ASSERT_EQ(held.rows.size(), 1u);
  EXPECT_EQ(field(held.rows[0].values, "DSFATURCLIE"), Variant("Texto da Ana"));
  EXPECT_EQ(field(held.rows[0].values, "NMEMPRESA"), Variant("Alfa Sistemas Ltda"));
  EXPECT_EQ(detail[1], Variant("atendente"));
  EXPECT_EQ(detail[2].asString().substr(0, 2), "20") << "the time of the history";

  // Removed meanwhile: no row held, and the remover named.
  const std::vector<Variant> seen103 = stored("103", 0);
  DeltaBuilder removal(paramFatCliFields());
  removal.remove(seen103);
  ASSERT_EQ(callServer(port_, "SetParamFatCli", {removal.variant()}, "KDR03020.rdmParamFatCli", clerk).status,
            200);
  DeltaBuilder late(paramFatCliFields());
  late.modify(seen103, {{"DSBOLETCLIE", "Boleto novo"}});
  r = call("SetParamFatCli", {late.variant()});
  ASSERT_EQ(r.status, 409) << r.text;
  ASSERT_TRUE(r.body.errorDetail.isArray()) << r.text;
  EXPECT_TRUE(r.body.errorDetail.array()[0].packet()->rows.empty());
  EXPECT_EQ(r.body.errorDetail.array()[1], Variant("atendente"));

  // A key already there is refused with its own message and no detail.
  DeltaBuilder taken(paramFatCliFields());
  taken.insert(paramRow("102", "1", "02"));
  r = call("SetParamFatCli", {taken.variant()});
  EXPECT_EQ(r.status, 409);
  EXPECT_TRUE(r.body.errorDetail.isNull()) << r.text;
}

// A deletion removes the row only as its desktop saw it: a change another desktop saved meanwhile
// is not lost without anyone being told.
TEST_P(Deltas, StaleDeletionIsRefusedNamingTheRow) {
  std::vector<Variant> seen = stored("101", 0);
  DeltaBuilder other(paramFatCliFields());
  other.modify(seen, {{"DSBOLETCLIE", "Boleto revisado."}});
  ASSERT_EQ(call("SetParamFatCli", {other.variant()}).status, 200);

  DeltaBuilder stale(paramFatCliFields());
  stale.remove(seen);
  Reply r = call("SetParamFatCli", {stale.variant()});
  EXPECT_EQ(r.status, 409);
  EXPECT_NE(r.message().find("cliente 101, tipo de faturamento 3 (Manutenção), empresa 01"),
            std::string::npos)
      << r.message();
  EXPECT_EQ(field(stored("101", 0), "DSBOLETCLIE"), Variant("Boleto revisado."));

  // The row as it stands now is deleted, the legacy row with its nulls and odd codes too.
  DeltaBuilder fresh(paramFatCliFields());
  fresh.remove(stored("101", 0)).remove(stored("108", 0));
  ASSERT_EQ(call("SetParamFatCli", {fresh.variant()}).status, 200);
  EXPECT_EQ(count("101"), 2u);
  EXPECT_EQ(count("108"), 0u);

  DeltaBuilder staleText(empresaKdrFields());
  staleText.remove({"01", "3", "Manutenção mensal do sistema Alfa.", "Outro boleto."});
  EXPECT_EQ(call("SetParEmpKdr", {staleText.variant()}).status, 409);
  EXPECT_EQ(rowsOf("GetDescPadrao", {"01", "3"}).size(), 1u);
}

// Rates travel as JSON numbers: each must read back as the very double written, so that a
// desktop sending it back as the original value finds its row.
TEST_P(Deltas, RatesSurviveWriteAndRead) {
  for (double rate : {13.387664401253275, 0.1 + 0.2, 99.99999999999999, 5e-324, 33.333333333333336}) {
    SCOPED_TRACE(rate);
    std::vector<Variant> row = paramRow("107", "1", "01");
    row[DeltaBuilder(paramFatCliFields()).packet.fieldIndex("VRPERCAJUSTEINV")] = rate;
    DeltaBuilder insert(paramFatCliFields());
    insert.insert(row);
    ASSERT_EQ(call("SetParamFatCli", {insert.variant()}).status, 200);
    std::vector<Variant> back = stored("107", 0);
    EXPECT_EQ(field(back, "VRPERCAJUSTEINV").asFloat(), rate);

    DeltaBuilder change(paramFatCliFields());
    change.modify(back, {{"VRPERCAJUSTEINV", 50.0}});
    ASSERT_EQ(call("SetParamFatCli", {change.variant()}).status, 200);
    DeltaBuilder removal(paramFatCliFields());
    removal.remove(stored("107", 0));
    ASSERT_EQ(call("SetParamFatCli", {removal.variant()}).status, 200);
  }
  // A rate stored by an older program reads back as stored, and its row still takes changes.
  {
    auto s = store_->session();
    s->execute("UPDATE PARCLIEKDR SET VRPERCAJUSTEINV = ? WHERE CDCLIENTE = '101' AND IDTPFATUCLIE = '3'",
               {13.387664401253275});
  }
  std::vector<Variant> legacy = stored("101", 0);
  EXPECT_EQ(field(legacy, "VRPERCAJUSTEINV").asFloat(), 13.387664401253275);
  DeltaBuilder change(paramFatCliFields());
  change.modify(legacy, {{"VRPERCAJUSTEINV", 13.5}});
  EXPECT_EQ(call("SetParamFatCli", {change.variant()}).status, 200);
}

// The rate is a percentage from 0 to 100, except for clients of country "0055" (107 is of 0351,
// 104 of 0055); only a rate the change sets is checked.
TEST_P(Deltas, RateRuleAppliesToTheRatesADeltaWrites) {
  auto withRate = [](const std::string &client, const std::string &type, Variant rate) {
    std::vector<Variant> row = paramRow(client, type, "01");
    row[DeltaBuilder(paramFatCliFields()).packet.fieldIndex("VRPERCAJUSTEINV")] = rate;
    return row;
  };
  for (double bad : {-5.0, -0.01, 100.01, 1e308}) {
    SCOPED_TRACE(bad);
    DeltaBuilder d(paramFatCliFields());
    d.insert(withRate("107", "1", bad));
    Reply r = call("SetParamFatCli", {d.variant()});
    EXPECT_EQ(r.status, 400);
    EXPECT_NE(r.message().find("entre 0 e 100"), std::string::npos) << r.message();
  }
  EXPECT_EQ(count("107"), 1u);
  DeltaBuilder ok(paramFatCliFields());
  ok.insert(withRate("107", "1", 0.0)).insert(withRate("107", "2", 100.0));
  ok.insert(withRate("104", "1", 150.0)).insert(withRate("104", "2", -5.0));
  ASSERT_EQ(call("SetParamFatCli", {ok.variant()}).status, 200);

  {
    auto s = store_->session();
    s->execute("UPDATE PARCLIEKDR SET VRPERCAJUSTEINV = 250 WHERE CDCLIENTE = '107' AND IDTPFATUCLIE = '3'");
  }
  std::vector<Variant> outOfRange = stored("107", 2);
  DeltaBuilder text(paramFatCliFields());
  text.modify(outOfRange, {{"DSFATURCLIE", "Texto revisado."}});
  EXPECT_EQ(call("SetParamFatCli", {text.variant()}).status, 200);
  DeltaBuilder worse(paramFatCliFields());
  worse.modify(stored("107", 2), {{"VRPERCAJUSTEINV", 300.0}});
  EXPECT_EQ(call("SetParamFatCli", {worse.variant()}).status, 400);
  DeltaBuilder mended(paramFatCliFields());
  mended.modify(stored("107", 2), {{"VRPERCAJUSTEINV", 50.0}});
  EXPECT_EQ(call("SetParamFatCli", {mended.variant()}).status, 200);
}

// Another desktop inserts the same row and has not committed when this one looks for it: the
// engine refuses the second insert, and the answer still names the row.
// SQLite writers queue for the database's one write lock before they look: PostgreSQL only.
class InsertRace : public ServerTest {
protected:
  void SetUp() override { start("postgresql", HttpOptions{}); }
};

TEST_F(InsertRace, IsRefusedNamingTheRow) {
  auto other = openPostgresql(db_->url());
  other->executeScript("BEGIN");
  other->execute("INSERT INTO PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA) VALUES ('104', '1', '01')");
  Reply r;
  std::thread desktop([&] {
    DeltaBuilder d(paramFatCliFields());
    d.insert(paramRow("104", "1", "01"));
    r = call("SetParamFatCli", {d.variant()});
  });
  // The server's insert waits for the other transaction on the key.
  for (int i = 0; i < 100000; ++i)
    if (!other
             ->query("SELECT 1 FROM pg_stat_activity WHERE datname = current_database() AND "
                     "wait_event_type = 'Lock'")
             .empty())
      break;
  other->executeScript("COMMIT");
  desktop.join();
  EXPECT_EQ(r.status, 409);
  EXPECT_NE(r.message().find("O cliente 104 já tem parâmetro do tipo de faturamento 1"), std::string::npos)
      << r.message();
}

TEST_P(Deltas, DuplicateRowIsAConflict) {
  DeltaBuilder d(paramFatCliFields());
  d.insert(paramRow("101", "3", "01"));
  Reply r = call("SetParamFatCli", {d.variant()});
  EXPECT_EQ(r.status, 409);
  EXPECT_EQ(count("101"), 3u);
}

constexpr const char *typeTaken = "Tipo de Faturamento já cadastrado para o cliente informado.";

TEST_P(Deltas, AClientHasOneRowPerBillingType) {
  // 101 has types 3 (company 01), 5 (01) and 6 (02).
  DeltaBuilder second(paramFatCliFields());
  second.insert(paramRow("101", "3", "02"));
  Reply r = call("SetParamFatCli", {second.variant()});
  EXPECT_EQ(r.status, 400);
  EXPECT_EQ(r.message(), typeTaken);
  EXPECT_EQ(count("101"), 3u);

  DeltaBuilder retyped(paramFatCliFields());
  retyped.modify(stored("101", 2), {{"IDTPFATUCLIE", "3"}});
  EXPECT_EQ(call("SetParamFatCli", {retyped.variant()}).message(), typeTaken);

  // The screen writes the client code on every post: an unchanged type meets only itself.
  DeltaBuilder moved(paramFatCliFields());
  moved.modify(stored("101", 0), {{"CDCLIENTE", "101"}, {"IDTPFATUCLIE", "3"}, {"CDEMPRESA", "03"}});
  EXPECT_EQ(call("SetParamFatCli", {moved.variant()}).status, 200);

  // Changes apply in order: a type deleted earlier in the delta may come back at another company.
  DeltaBuilder replaced(paramFatCliFields());
  replaced.remove(stored("101", 2)).insert(paramRow("101", "6", "01"));
  EXPECT_EQ(call("SetParamFatCli", {replaced.variant()}).status, 200);
  EXPECT_EQ(field(stored("101", 2), "CDEMPRESA"), Variant("01"));

  // Two new rows of one type in one delta, as after a save that failed: nothing is written.
  DeltaBuilder twice(paramFatCliFields());
  twice.insert(paramRow("104", "1", "01")).insert(paramRow("104", "1", "02"));
  EXPECT_EQ(call("SetParamFatCli", {twice.variant()}).message(), typeTaken);
  EXPECT_EQ(count("104"), 0u);
}

TEST_P(Deltas, RowsStoredBeforeTheRuleStayEditable) {
  // 1010 was stored with type 1 at companies 01 and 02.
  ASSERT_EQ(count("1010"), 2u);
  DeltaBuilder edits(paramFatCliFields());
  edits.modify(stored("1010", 0), {{"DSFATURCLIE", "Revisado."}});
  edits.modify(stored("1010", 1), {{"CDEMPRESA", "03"}});
  Reply r = call("SetParamFatCli", {edits.variant()});
  ASSERT_EQ(r.status, 200) << r.text;
  EXPECT_EQ(field(stored("1010", 0), "DSFATURCLIE"), Variant("Revisado."));
  EXPECT_EQ(field(stored("1010", 1), "CDEMPRESA"), Variant("03"));

  DeltaBuilder third(paramFatCliFields());
  third.insert(paramRow("1010", "1", "04"));
  EXPECT_EQ(call("SetParamFatCli", {third.variant()}).message(), typeTaken);

  DeltaBuilder retyped(paramFatCliFields());
  retyped.modify(stored("1010", 1), {{"IDTPFATUCLIE", "2"}});
  EXPECT_EQ(call("SetParamFatCli", {retyped.variant()}).status, 200);
}

// Two desktops each checked their own copy and save the same type at different companies at
// the same moment: whatever the interleaving, one row is kept and the other desktop is told.
TEST_P(Deltas, SimultaneousInsertsOfOneTypeKeepOneRow) {
  for (const char *client : {"104", "105", "106", "109"}) {
    SCOPED_TRACE(client);
    std::latch start(2);
    Reply replies[2];
    std::thread desktops[2];
    for (int i = 0; i < 2; ++i)
      desktops[i] = std::thread([&, i] {
        DeltaBuilder d(paramFatCliFields());
        d.insert(paramRow(client, "2", i == 0 ? "01" : "02"));
        start.arrive_and_wait();
        replies[i] = call("SetParamFatCli", {d.variant()});
      });
    for (std::thread &t : desktops) t.join();
    EXPECT_EQ(count(client), 1u);
    EXPECT_EQ((replies[0].status == 200) + (replies[1].status == 200), 1);
    for (const Reply &r : replies) {
      if (r.status != 200) {
        EXPECT_EQ(r.message(), typeTaken);
      }
    }
  }
}

TEST_P(Deltas, ValueRulesRefuseBeforeWriting) {
  std::string longText(401, 'a');
  longText.replace(0, 2, "ç"); // characters, not bytes: 400 characters with a two-byte one
  const std::vector<std::pair<std::string, Variant>> bad{
      {"IDTPFATUCLIE", "7"},
      {"IDTPFATUCLIE", ""},
      {"IDFATURAPFILI", "s"},
      {"IDFATMESATUCLIE", "Sim"},
      {"IDGERANFUNIFICA", "X"},
      {"CDEMPRESA", "99"},
      {"CDTIPOSERV", "999"},
      {"CDGERENTEIMPCLI", "000000000099"},
      {"DSFATURCLIE", std::string(401, 'x')},
      {"DSBOLETCLIE", longText + "é"},
      {"VRPERCAJUSTEINV", "12,5"},
      {"VRPERCAJUSTEINV", std::numeric_limits<double>::infinity()},
      {"CDCLIENTE", "999"},
      {"CDEMPRESA", 1},
  };
  for (const auto &[name, value] : bad) {
    SCOPED_TRACE(name + " = " + value.debugString());
    DeltaBuilder d(paramFatCliFields());
    d.insert(paramRow("104", "1", "01"));
    std::vector<Variant> row = paramRow("109", "2", "01");
    row[d.packet.fieldIndex(name)] = value;
    d.insert(row);
    Reply r = call("SetParamFatCli", {d.variant()});
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(count("104"), 0u);
  }
  // The limits themselves pass: 400 characters, an empty optional code, a null rate.
  DeltaBuilder ok(paramFatCliFields());
  std::vector<Variant> row = paramRow("109", "6", "02", std::string(398, 'x') + "çã");
  row[ok.packet.fieldIndex("CDTIPOSERV")] = "";
  row[ok.packet.fieldIndex("VRPERCAJUSTEINV")] = nullptr;
  ok.insert(row);
  Reply r = call("SetParamFatCli", {ok.variant()});
  EXPECT_EQ(r.status, 200) << r.text;
}

// The original values locate the row: a delta declaring a number where a code or a text is
// stored is bad input on both engines, never a row found by the engine's own conversion.
TEST_P(Deltas, FieldsDeclaredWithAnotherTypeAreRefused) {
  for (const char *name : {"CDCLIENTE", "DSFATURCLIE"}) {
    SCOPED_TRACE(name);
    std::vector<FieldDef> fields = paramFatCliFields();
    DeltaBuilder probe(fields);
    const int index = probe.packet.fieldIndex(name);
    fields[index].type = FieldType::Integer;
    std::vector<Variant> original = stored(name == std::string("CDCLIENTE") ? "103" : "101", 0);
    original[index] = 103;
    DeltaBuilder deletion(fields), modification(fields), changed(fields);
    deletion.remove(original);
    modification.modify(original, {{"DSBOLETCLIE", "Novo boleto"}});
    changed.modify(original, {{name, 7}});
    for (const DeltaBuilder *d : {&deletion, &modification, &changed}) {
      Reply r = call("SetParamFatCli", {d->variant()});
      EXPECT_EQ(r.status, 400) << r.text;
    }
  }
  EXPECT_EQ(count("103"), 1u);
  EXPECT_EQ(field(stored("103", 0), "DSBOLETCLIE"), Variant("Cessão de direito de uso do sistema."));
}

TEST_P(Deltas, LegacyRowKeepsItsValuesWhenAnotherFieldChanges) {
  std::vector<Variant> legacy = stored("108", 0);
  DeltaBuilder d(paramFatCliFields());
  d.modify(legacy, {{"DSFATURCLIE", "Revisado."}});
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  std::vector<Variant> now = stored("108", 0);
  EXPECT_EQ(field(now, "IDTPFATUCLIE"), Variant("9"));
  EXPECT_EQ(field(now, "IDFATURAPFILI"), Variant("s"));
  EXPECT_EQ(field(now, "DSFATURCLIE"), Variant("Revisado."));
}

TEST_P(Deltas, MalformedDeltasAreRefused) {
  DataPacket unknownField;
  unknownField.fields = {
      FieldDef{"CDCLIENTE", FieldType::String, 21}, FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
      FieldDef{"CDEMPRESA", FieldType::String, 2}, FieldDef{"SENHA", FieldType::String, 10}};
  unknownField.rows.push_back({RowStatus::Inserted, {"104", "1", "01", "x"}});
  DataPacket noKey;
  noKey.fields = {FieldDef{"CDCLIENTE", FieldType::String, 21}};
  noKey.rows.push_back({RowStatus::Inserted, {"104"}});
  DataPacket lonelyModification;
  lonelyModification.fields = paramFatCliFields();
  lonelyModification.rows.push_back({RowStatus::Modified, paramRow("101", "3", "01")});
  for (const DataPacket &p : {unknownField, noKey, lonelyModification}) {
    Reply r = call("SetParamFatCli", {makePacketVariant(p)});
    EXPECT_EQ(r.status, 400) << r.text;
  }
  EXPECT_EQ(count("104"), 0u);
}

TEST_P(Deltas, DefaultTextsSaveAndConflict) {
  std::vector<Variant> original{"01", "3", "Manutenção mensal do sistema Alfa.",
                                "Pagável em qualquer banco até o vencimento."};
  DeltaBuilder d(empresaKdrFields());
  d.insert({"04", "5", "Mão de obra Delta.", nullptr});
  d.modify(original, {{"DSFATUREMPRESA", "Manutenção revisada."}});
  d.remove({"03", "4", "Locação conforme contrato.", "Boleto de locação Gama."});
  ASSERT_EQ(call("SetParEmpKdr", {d.variant()}).status, 200);
  auto texts = rowsOf("GetDescPadrao", {"01", "3"});
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0][2], Variant("Manutenção revisada."));
  EXPECT_EQ(rowsOf("GetDescPadrao", {"04", "5"}).size(), 1u);
  EXPECT_EQ(rowsOf("GetDescPadrao", {"03", "4"}).size(), 0u);

  DeltaBuilder stale(empresaKdrFields());
  stale.modify(original, {{"DSBOLETEMPRESA", "x"}}).modify(original, {{"DSFATUREMPRESA", "y"}});
  Reply r = call("SetParEmpKdr", {stale.variant()});
  EXPECT_EQ(r.status, 409);
  EXPECT_NE(r.message().find("empresa 01"), std::string::npos) << r.message();
  EXPECT_EQ(rowsOf("GetDescPadrao", {"01", "3"})[0][3],
            Variant("Pagável em qualquer banco até o vencimento."));

  DeltaBuilder badType(empresaKdrFields());
  badType.insert({"02", "0", "x", "y"});
  EXPECT_EQ(call("SetParEmpKdr", {badType.variant()}).status, 400);
}

INSTANTIATE_TEST_SUITE_P(Engines, Deltas, ::testing::Values("sqlite", "postgresql", "sqlite_cached"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
