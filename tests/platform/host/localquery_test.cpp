#include "platform/host/adoibquery.h"

#include <gtest/gtest.h>

#include "platform/host/localdb.h"
#include "platform/rtl/exceptions.h"
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

} // namespace
} // namespace kdr
