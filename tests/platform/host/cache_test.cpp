#include <gtest/gtest.h>

#include "platform/host/adoibquery.h"
#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/rtl/exceptions.h"
#include "tests/support/server_process.h"

namespace kdr {
namespace {

class CacheRefreshTest : public ::testing::Test {
protected:
  void SetUp() override {
    db = std::make_unique<TdtmDBGeral>(dir.file("local.db"));
    dtmDBGeral = db.get();
    Zelnor::config.webUrl = server.host();
    Zelnor::config.webPort = server.port();
  }
  void TearDown() override {
    dtmDBGeral = nullptr;
    Zelnor::config = {};
  }

  std::size_t rowsOf(const std::string &table) {
    TADOIBQuery query;
    query.SQL.Add("SELECT COUNT(*) AS N FROM " + table);
    query.Open();
    return static_cast<std::size_t>(query.Query.FieldByName("N").AsInteger());
  }

  test::ServerProcess server{{"--seed", "demo"}};
  test::TempDir dir;
  std::unique_ptr<TdtmDBGeral> db;
};

TEST_F(CacheRefreshTest, RefreshReplacesEachNamedTable) {
  db->adcGeral.execute(
      "INSERT INTO PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA) VALUES ('999', '1', '01')");
  Zelnor::AtualizaLocalCache(Variant(Variant::Array{Variant("PARCLIEKDR"), Variant("empresa")}));

  TADOIBQuery query;
  query.SQL.Add("SELECT CDCLIENTE, VRPERCAJUSTEINV FROM PARCLIEKDR WHERE CDCLIENTE = :P_CDCLIENTE");
  query.ParamByName("P_CDCLIENTE").SetAsString("999");
  query.Open();
  EXPECT_TRUE(query.IsEmpty()) << "the local row the server does not have is gone";
  query.Close();
  query.ParamByName("P_CDCLIENTE").SetAsString("101");
  query.Open();
  EXPECT_EQ(query.Query.RecordCount(), 3u);
  EXPECT_EQ(query.Query.FieldByName("VRPERCAJUSTEINV").DataType(), FieldType::Float);
  EXPECT_GT(rowsOf("EMPRESA"), 0u);
  EXPECT_EQ(rowsOf("CLIENTE"), 0u) << "tables not named stay as they were";
}

TEST_F(CacheRefreshTest, RefusedOrUnreachableRefreshRaisesAndKeepsTheLocalCopy) {
  db->adcGeral.execute("INSERT INTO EMPRESA VALUES ('77', 'Local')");
  try {
    Zelnor::AtualizaLocalCache(Variant(Variant::Array{Variant("SENHAS")}));
    FAIL() << "no error";
  } catch (const EDatabaseError &e) {
    EXPECT_NE(e.Message().find("SENHAS"), std::string::npos) << e.Message();
  }

  server.stop();
  try {
    Zelnor::AtualizaLocalCache(Variant("EMPRESA"));
    FAIL() << "no error";
  } catch (const EDatabaseError &e) {
    EXPECT_NE(e.Message().find("127.0.0.1:" + std::to_string(Zelnor::WebPort())), std::string::npos)
        << e.Message();
  }
  EXPECT_EQ(rowsOf("EMPRESA"), 1u);
}

} // namespace
} // namespace kdr
