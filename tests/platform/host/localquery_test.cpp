#include "platform/host/adoibquery.h"

#include <gtest/gtest.h>

#include "platform/data/datasource.h"
#include "platform/host/dialog_services.h"
#include "platform/host/local_statement.h"
#include "platform/host/local_text_index.h"
#include "platform/host/localdb.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/utf8.h"
#include "tests/platform/host/host_fixture.h"
#include "tests/support/client_list.h"
#include "tests/support/server_process.h"

namespace kdr {
namespace {

class LocalQueryTest : public ::testing::Test {
protected:
  void SetUp() override {
    db = std::make_unique<TdtmDBGeral>(dir.file("local.db"));
    db->adcGeral.execute(
        "INSERT INTO EMPRESA VALUES ('01', 'Matriz'), ('02', 'Filial Sul'), ('03', 'Filial Norte')");
    dtmDBGeral = db.get();
    for (const char *line : {"SELECT", "   CDEMPRESA,", "   NMEMPRESA", "FROM", "   EMPRESA", "WHERE",
                             "   (CDEMPRESA = :P_CDEMPRESA OR :P_TCDEMPRESA = 'T')"})
      qryEmpresa.SQL.Add(line);
    // Named after its text is set: an error names the query as it is called now.
    qryEmpresa.SetName("qryEmpresa");
  }
  void TearDown() override { dtmDBGeral = nullptr; }

  test::TempDir dir;
  std::unique_ptr<TdtmDBGeral> db;
  TADOIBQuery qryEmpresa;
};

TEST_F(LocalQueryTest, NamedParametersSelectRows) {
  ASSERT_EQ(qryEmpresa.GetIBParams().Count(), 2);

  qryEmpresa.ParamByName("P_TCDEMPRESA").SetAsString("T");
  qryEmpresa.ParamByName("P_CDEMPRESA").SetAsString("");
  qryEmpresa.Open();
  EXPECT_EQ(qryEmpresa.Query.RecordCount(), 3u);
  EXPECT_EQ(qryEmpresa.Query.FieldByName("CDEMPRESA").Size(), 2);

  qryEmpresa.Close();
  qryEmpresa.GetIBParams().ParamByName("p_tcdempresa").SetAsString("");
  qryEmpresa.ParamByName("P_CDEMPRESA").SetAsString("02");
  qryEmpresa.Open();
  ASSERT_FALSE(qryEmpresa.IsEmpty());
  EXPECT_EQ(qryEmpresa.Query.FieldByName("NMEMPRESA").AsString(), "Filial Sul");

  // A value is bound, never read as SQL.
  qryEmpresa.Close();
  qryEmpresa.ParamByName("P_CDEMPRESA").SetAsString("x' OR '1'='1");
  qryEmpresa.Open();
  EXPECT_TRUE(qryEmpresa.IsEmpty());
}

TEST_F(LocalQueryTest, RowsAreReadOnlyAndDeclaredFieldsKeepTheirLabels) {
  qryEmpresa.Query.AddStringField("CDEMPRESA", 2).SetDisplayLabel("Código");
  qryEmpresa.Query.AddStringField("NMEMPRESA", 40).SetDisplayLabel("Nome");
  qryEmpresa.ParamByName("P_TCDEMPRESA").SetAsString("T");
  qryEmpresa.Open();
  EXPECT_EQ(qryEmpresa.Query.FieldByName("NMEMPRESA").DisplayLabel(), "Nome");
  EXPECT_EQ(qryEmpresa.Query.FieldByName("CDEMPRESA").AsString(), "01");
  EXPECT_ANY_THROW(qryEmpresa.Query.Edit());
}

TEST_F(LocalQueryTest, UnknownParameterOrTableGivesAClearError) {
  try {
    qryEmpresa.ParamByName("P_NMEMPRESA");
    FAIL() << "no error";
  } catch (const EDatabaseError &e) {
    EXPECT_EQ(e.Message(), "Parâmetro P_NMEMPRESA não encontrado na consulta qryEmpresa.");
  }

  TADOIBQuery wrong;
  wrong.SQL.SetText("SELECT * FROM EMPRESAS\nWHERE CDEMPRESA = :P_CDEMPRESA");
  try {
    wrong.Open();
    FAIL() << "no error";
  } catch (const EDatabaseError &e) {
    EXPECT_EQ(e.Message(), "Tabela EMPRESAS não existe no banco de dados local.");
  }
  EXPECT_FALSE(wrong.Active());
}

TEST(LocalQueryParameters, NamesOutsideQuotesAndCommentsEachOnce) {
  EXPECT_EQ(parameterNames(
                "SELECT ':NOT_A' FROM T -- :NOR_THIS\nWHERE A = :P_A OR :p_a = 'T' /* :NO */ AND B = :P_B"),
            (std::vector<std::string>{"P_A", "P_B"}));
  EXPECT_TRUE(parameterNames("SELECT 1").empty());
}

TEST(LocalDatabase, ReplaceTableSwapsAllRowsOrNone) {
  test::TempDir dir;
  TdtmDBGeral db(dir.file("local.db"));
  db.adcGeral.execute("INSERT INTO EMPRESA VALUES ('09', 'Antiga')");

  DataPacket rows;
  rows.fields = {{"CDEMPRESA", FieldType::String, 2, true},
                 {"NMEMPRESA", FieldType::String, 40, false},
                 {"EXTRA", FieldType::String, 10, false}};
  rows.rows = {{RowStatus::Unmodified, {Variant("01"), Variant("Matriz"), Variant("x")}},
               {RowStatus::Unmodified, {Variant("02"), Variant("Filial"), Variant("y")}}};
  db.replaceTable("empresa", rows);

  TADOIBQuery query;
  query.Connection = &db.adcGeral;
  query.SQL.Add("SELECT CDEMPRESA FROM EMPRESA ORDER BY CDEMPRESA");
  query.Open();
  EXPECT_EQ(query.Query.RecordCount(), 2u);
  EXPECT_EQ(query.Query.FieldByName("CDEMPRESA").AsString(), "01");
  query.Close();

  // A duplicate key fails the second insert: the table keeps its previous rows.
  rows.rows[1].values[0] = Variant("01");
  EXPECT_THROW(db.replaceTable("EMPRESA", rows), EDatabaseError);
  query.Open();
  EXPECT_EQ(query.Query.RecordCount(), 2u);

  EXPECT_THROW(db.replaceTable("NOPE", rows), EDatabaseError);
}

// A list over more clients than a packet: the automatic registration's, on a local copy of 1300.
class PagedListTest : public test::HostTest {
protected:
  void SetUp() override {
    db = std::make_unique<TdtmDBGeral>(dir.file("local.db"));
    dtmDBGeral = db.get();
    test::fillClients(db->adcGeral);
    test::declareClientList(clients);
    dts.SetDataSet(&clients.Query);
  }
  void TearDown() override {
    clients.Close();
    dtmDBGeral = nullptr;
    test::HostTest::TearDown();
  }
  std::string name() const { return clients.Query.FieldByName("NMFANTCLIE").AsString(); }

  // The keys of the list narrowed to the text as the user types it, walked to its end.
  std::vector<std::string> narrowedKeys(const std::string &text) {
    clients.ListPages().filter(text);
    std::vector<std::string> keys;
    for (clients.Query.First(); !clients.Query.Eof(); clients.Query.Next())
      keys.push_back(clients.Query.FieldByName("CDCLIENTE").AsString());
    return keys;
  }
  // The keys of the clients whose shown fields hold the text, found by comparing every one.
  std::vector<std::string> comparedKeys(const std::string &text) {
    TADOIBQuery every;
    test::declareClientList(every);
    every.PacketRecords = -1;
    every.Open();
    const std::string folded = utf8::foldForSearch(text);
    std::vector<std::string> keys;
    for (every.Query.First(); !every.Query.Eof(); every.Query.Next())
      for (const char *field : {"NRINSJURCLIE", "NMFANTCLIE"})
        if (utf8::foldForSearch(every.Query.FieldByName(field).AsString()).find(folded) !=
            std::string::npos) {
          keys.push_back(every.Query.FieldByName("CDCLIENTE").AsString());
          break;
        }
    return keys;
  }
  bool throughTheIndex(const std::string &text) const {
    return indexedNarrowing(db->adcGeral, clients.SQL.Text(), {"NRINSJURCLIE", "NMFANTCLIE"},
                            utf8::foldForSearch(text))
        .has_value();
  }

  test::TempDir dir;
  std::unique_ptr<TdtmDBGeral> db;
  TADOIBQuery clients;
  TDataSource dts;
};

TEST_F(PagedListTest, OpensAtOnePacketAndReadsOnAsItIsWalked) {
  clients.Open();
  EXPECT_EQ(clients.Query.RecordCount(), 500u);
  EXPECT_FALSE(clients.AllRowsRead());

  // Walked to its end, every client but the model comes once, in the query's order.
  std::size_t walked = 0;
  std::string previous;
  for (clients.Query.First(); !clients.Query.Eof(); clients.Query.Next(), ++walked) {
    const std::string number = clients.Query.FieldByName("NRINSJURCLIE").AsString();
    ASSERT_LT(previous, number) << "row " << walked;
    previous = number;
  }
  EXPECT_EQ(walked, test::manyClients - 1u);
  EXPECT_TRUE(clients.AllRowsRead());

  // Locate reads on only as far as the row; Last reads every row.
  clients.Close();
  clients.Open();
  ASSERT_TRUE(clients.Query.Locate("CDCLIENTE", Variant("400")));
  EXPECT_EQ(name(), "Cliente 400");
  EXPECT_EQ(clients.Query.RecordCount(), 1000u);
  EXPECT_FALSE(clients.Query.Locate("CDCLIENTE", Variant("1")));
  clients.Query.Last();
  EXPECT_EQ(name(), "Cliente 2");
  EXPECT_EQ(clients.Query.RecordCount(), test::manyClients - 1u);

  // A query told to read every row reads them at Open.
  clients.Close();
  clients.PacketRecords = -1;
  clients.Open();
  EXPECT_EQ(clients.Query.RecordCount(), test::manyClients - 1u);
}

TEST_F(PagedListTest, NarrowsAsTheUserTypesAndGivesKeysInTheQueryOrder) {
  clients.PacketRecords = 50;
  clients.Open();
  SearchPages pages = clients.ListPages();

  // Case and accents aside; "%" is what the user typed, not a wildcard; every shown field counts.
  pages.filter("JOAO 50%");
  ASSERT_EQ(clients.Query.RecordCount(), 1u);
  EXPECT_EQ(name(), "João 50%");
  pages.filter("5%");
  EXPECT_TRUE(clients.Query.IsEmpty());
  pages.filter("00000000000051");
  ASSERT_EQ(clients.Query.RecordCount(), 1u);
  EXPECT_EQ(name(), "Açougue Central");

  // "Cliente 12" is in 110 names (12, 120-129, 1200-1299 but the renamed 1250): read a packet at
  // a time, each once.
  pages.filter("Cliente 12");
  EXPECT_EQ(clients.Query.RecordCount(), 50u);
  while (pages.more()) {
  }
  EXPECT_EQ(clients.Query.RecordCount(), 110u);

  pages.filter("");
  EXPECT_FALSE(clients.Narrowed());
  EXPECT_EQ(clients.Query.RecordCount(), 50u);
  EXPECT_EQ(name(), "Cliente 1300");

  db->adcGeral.execute(R"(INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE) VALUES ('A"\''b', '0'))");
  EXPECT_EQ(clients.KeysInOrder("CDCLIENTE", {"5", "1300", "7", "1", "nenhum", R"(A"\'b)"}),
            (std::vector<std::string>{R"(A"\'b)", "1300", "7", "5"}))
      << "by registration number; the model is not in the query";
}

// Filters of every kind: one or two characters, LIKE's own characters as typed, accents, long
// ones, many matches across packets, none at all.
const std::vector<std::string> filters = {"1",
                                          "12",
                                          "q",
                                          "qz",
                                          "%",
                                          "_",
                                          "5%",
                                          "ç",
                                          "JOAO 50%",
                                          "acougue central",
                                          "Cliente 12",
                                          "cliente 1299",
                                          "e 1",
                                          "liente 13001",
                                          "00000000000051",
                                          "Cliente 1234567890123456789"};

TEST_F(PagedListTest, NarrowingGivesWhatComparingEveryClientGives) {
  clients.PacketRecords = 50;
  clients.Open();
  for (const std::string &text : filters) {
    EXPECT_TRUE(throughTheIndex(text)) << text;
    EXPECT_EQ(narrowedKeys(text), comparedKeys(text)) << text;
  }
  EXPECT_EQ(narrowedKeys("Cliente 12").size(), 110u);
  EXPECT_EQ(narrowedKeys("qz").size(), 0u);

  // A text held by more clients than the index gathers is looked for in the list's order.
  db->adcGeral.execute("WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 10000) "
                       "INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE, NMFANTCLIE) "
                       "SELECT 'O' || I, printf('9%013d', I), 'Outro ' || I FROM N");
  for (const char *text : {"outro", "Outro 9999", "Cliente 12", "qz"})
    EXPECT_EQ(narrowedKeys(text), comparedKeys(text)) << text;
  EXPECT_FALSE(throughTheIndex("outro"));
  EXPECT_TRUE(throughTheIndex("Outro 9999"));
}

TEST_F(PagedListTest, TheTextIndexServesOnlyAQueryItAnswersExactly) {
  const auto served = [&](const std::string &sql, const std::vector<std::string> &fields) {
    return indexedNarrowing(db->adcGeral, sql, fields, "CLIENTE 12").has_value();
  };
  const std::string list = "SELECT CDCLIENTE, NRINSJURCLIE, NMFANTCLIE, IDTPIJURCLIE FROM CLIENTE";
  EXPECT_TRUE(served(list, {"NMFANTCLIE"}));
  EXPECT_TRUE(served("SELECT C.CDCLIENTE AS CODIGO, C.NMFANTCLIE AS NOME FROM CLIENTE C", {"NOME"}));
  EXPECT_FALSE(served(list, {"NMFANTCLIE", "IDTPIJURCLIE"})) << "a field the index does not hold";
  EXPECT_FALSE(served("SELECT NMFANTCLIE FROM CLIENTE", {"NMFANTCLIE"})) << "no key to reach the rows by";
  EXPECT_FALSE(served("SELECT A.CDCLIENTE, B.NMFANTCLIE FROM CLIENTE A JOIN CLIENTE B ON B.NRINSJURCLIE = "
                      "A.NRINSJURCLIE",
                      {"NMFANTCLIE"}))
      << "a key and a name of two different rows";
  EXPECT_FALSE(served("SELECT CDEMPRESA, NMEMPRESA FROM EMPRESA", {"NMEMPRESA"}));
}

TEST_F(PagedListTest, AnExistingFileGetsTheIndexOnItsNextStartAndRefreshesKeepIt) {
  // A file written before the index: the clients are there, the index and its triggers are not.
  db->adcGeral.execute("DROP TRIGGER CLIENTE_TRECHOS_INCLUI; DROP TRIGGER CLIENTE_TRECHOS_EXCLUI; "
                       "DROP TRIGGER CLIENTE_TRECHOS_ALTERA; DROP TABLE CLIENTE_TRECHOS");
  db->adcGeral.execute("UPDATE CLIENTE SET NMFANTCLIE = 'Quitanda do Zé' WHERE CDCLIENTE = '300'");
  dtmDBGeral = nullptr;
  db.reset();
  db = std::make_unique<TdtmDBGeral>(dir.file("local.db"));
  dtmDBGeral = db.get();
  clients.PacketRecords = 50;
  clients.Open();
  ASSERT_TRUE(throughTheIndex("quitanda"));
  EXPECT_EQ(narrowedKeys("quitanda"), std::vector<std::string>{"300"});

  // The host's refresh of the copy: a client renamed, one added, one removed.
  DataPacket rows, removed;
  rows.fields = {{"CDCLIENTE"}, {"NRINSJURCLIE"}, {"NMFANTCLIE"}, {"IDTPIJURCLIE"}};
  rows.rows = {{RowStatus::Unmodified,
                {Variant("12"), Variant("00000000001289"), Variant("Quitanda Nova"), Variant("J")}},
               {RowStatus::Unmodified,
                {Variant("5000"), Variant("00000000000000"), Variant("Quitanda Sul"), Variant("F")}}};
  removed.fields = {{"CDCLIENTE"}};
  removed.rows = {{RowStatus::Unmodified, {Variant("300")}}, {RowStatus::Unmodified, {Variant("1250")}}};
  db->applyChanges("CLIENTE", rows, removed, false, "marca 1");
  for (const char *text : {"quitanda", "acougue", "zé", "Cliente 12", "e 1"}) {
    EXPECT_TRUE(throughTheIndex(text)) << text;
    EXPECT_EQ(narrowedKeys(text), comparedKeys(text)) << text;
  }
  EXPECT_EQ(narrowedKeys("quitanda"), (std::vector<std::string>{"5000", "12"}));

  // A whole copy replaces every client, and the index with them.
  rows.rows.pop_back();
  db->applyChanges("CLIENTE", rows, {}, true, "marca 2");
  for (const char *text : {"quitanda", "nova", "cliente", "sul"})
    EXPECT_EQ(narrowedKeys(text), comparedKeys(text)) << text;
  EXPECT_EQ(narrowedKeys("quitanda"), std::vector<std::string>{"12"});
  const DataPacket held = LocalStatement(db->adcGeral, "SELECT count(*) FROM CLIENTE_TRECHOS WHERE "
                                                       "CLIENTE_TRECHOS MATCH '{NMFANTCLIE} : \"4c4945\"'")
                              .readAll();
  EXPECT_EQ(held.rows.front().values.front().asInteger(), 0) << "the run LIE of the clients replaced";

  // The refreshes after a whole copy are kept as before.
  rows.rows.front().values = {Variant("13"), Variant("00000000001288"), Variant("Quitanda Leste"),
                              Variant("J")};
  removed.rows.clear();
  db->applyChanges("CLIENTE", rows, removed, false, "marca 3");
  ASSERT_TRUE(throughTheIndex("quitanda"));
  EXPECT_EQ(narrowedKeys("quitanda"), (std::vector<std::string>{"13", "12"}));
  db->adcGeral.execute("INSERT INTO CLIENTE_TRECHOS (CLIENTE_TRECHOS) VALUES ('integrity-check')");
}

TEST_F(PagedListTest, MultiChoiceListMarksAcrossPagesAndWritesTheQueryOrder) {
  clients.Open();
  user().expectList("Cliente", {"joão", "Cliente 300", "Cliente 300"});
  std::string selection;
  ASSERT_TRUE(
      Pesqlista::PesquisaLista(dts, "CDCLIENTE", "Cliente|Cliente não cadastrado.", false, selection));
  // Client 300 is past the first packet; a client marked twice is listed once.
  EXPECT_EQ(selection, "'300','7'");
  EXPECT_EQ(user().transcript().back().buttons.size(), 500u) << "the list showed the first packet";
  EXPECT_FALSE(clients.Narrowed()) << "the query is left as opened";
  EXPECT_EQ(clients.Query.RecordCount(), 500u);

  user().expectListCancel("Cliente");
  EXPECT_FALSE(
      Pesqlista::PesquisaLista(dts, "CDCLIENTE", "Cliente|Cliente não cadastrado.", false, selection));
  EXPECT_EQ(selection, "'300','7'");

  // The single choice stands on the row chosen in the narrowed list.
  user().expectSearch("Cliente", "ACOUGUE");
  ASSERT_TRUE(Pesquisa::Pesquisar(dts, "Cliente|Cliente não cadastrado."));
  EXPECT_EQ(clients.Query.FieldByName("CDCLIENTE").AsString(), "1250");
}

} // namespace
} // namespace kdr
