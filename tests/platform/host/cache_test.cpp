#include <gtest/gtest.h>

#include <system_error>

#include "platform/host/adoibquery.h"
#include "platform/host/background_cache_load.h"
#include "platform/host/cache_refresh.h"
#include "platform/host/local_statement.h"
#include "platform/host/localdb.h"
#include "platform/host/zelnor.h"
#include "platform/rtl/exceptions.h"
#include "tests/support/server_process.h"
#include "tests/support/thread_starts_fail.h"

namespace kdr {
namespace {

class CacheRefreshTest : public ::testing::Test {
protected:
  void SetUp() override {
    db = std::make_unique<TdtmDBGeral>(dir.file("local.db"));
    dtmDBGeral = db.get();
    Zelnor::config.webUrl = server.host();
    Zelnor::config.webPort = server.port();
    Zelnor::config.session = server.signIn();
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

// A row only the local copy has shows whether a refresh replaced the table or moved only changes.
TEST_F(CacheRefreshTest, LaterRefreshesMoveOnlyWhatChangedUntilTheServersDatabaseIsAnother) {
  const Variant parameters(Variant::Array{Variant("PARCLIEKDR")});
  Zelnor::AtualizaLocalCache(parameters);
  ASSERT_EQ(rowsOf("PARCLIEKDR"), 10u);
  db->adcGeral.execute(
      "INSERT INTO PARCLIEKDR (CDCLIENTE, IDTPFATUCLIE, CDEMPRESA) VALUES ('999', '1', '01')");
  {
    // Another writer of the server's database.
    TLocalConnection serverFile(server.databasePath());
    serverFile.execute(
        "UPDATE PARCLIEKDR SET DSFATURCLIE = 'Novo' WHERE CDCLIENTE = '101' AND IDTPFATUCLIE = '3'; "
        "DELETE FROM PARCLIEKDR WHERE CDCLIENTE = '102' AND IDTPFATUCLIE = '4'");
  }
  Zelnor::AtualizaLocalCache(parameters);

  TADOIBQuery query;
  query.SQL.Add("SELECT CDCLIENTE || '/' || IDTPFATUCLIE || '/' || COALESCE(DSFATURCLIE, '') AS ROW FROM "
                "PARCLIEKDR WHERE CDCLIENTE IN ('101', '102', '999') ORDER BY CDCLIENTE, IDTPFATUCLIE");
  query.Open();
  std::vector<std::string> seen;
  for (query.Query.First(); !query.Query.Eof(); query.Query.Next())
    seen.push_back(query.Query.FieldByName("ROW").AsString());
  EXPECT_EQ(seen, (std::vector<std::string>{"101/3/Novo", "101/5/Mão de obra de implantação.",
                                            "101/6/Service desk mensal.",
                                            "102/1/Customização do módulo fiscal.", "999/1/"}));

  test::ServerProcess another{{"--seed", "demo"}};
  Zelnor::config.webPort = another.port();
  Zelnor::config.session = another.signIn();
  Zelnor::AtualizaLocalCache(parameters);
  EXPECT_EQ(rowsOf("PARCLIEKDR"), 10u) << "a mark of another database brings the whole table";
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

// Loads in pages of a few rows against the same loads in one answer, on local files of their own.
class PagedLoadTest : public ::testing::Test {
protected:
  using Table = std::vector<std::vector<Variant>>;

  void refresh(TLocalConnection &local, std::size_t pageRows, std::function<void()> afterPage = {}) {
    TNetConnection connection;
    connection.ServerName = snapshotServer;
    connection.Port = port;
    connection.Token = session;
    connection.ThrowException = false;
    connection.Open();
    for (const char *table : {"CLIENTE", "PARCLIEKDR"})
      refreshCachedTable(connection, local, table, {pageRows, [&afterPage](std::size_t) {
                                                      if (afterPage) afterPage();
                                                    }});
  }
  // Every row of both tables, by key, with the marks kept.
  static Table contents(TLocalConnection &local) {
    Table out;
    for (const char *sql : {"SELECT * FROM CLIENTE ORDER BY CDCLIENTE",
                            "SELECT * FROM PARCLIEKDR ORDER BY CDCLIENTE, IDTPFATUCLIE, CDEMPRESA",
                            "SELECT TABELA, MARCA FROM KDR_CACHE_MARCA ORDER BY TABELA"}) {
      LocalStatement stmt(local, sql);
      for (const PacketRow &row : stmt.readAll().rows) out.push_back(row.values);
    }
    return out;
  }
  void writeOnServer(const std::string &sql) { TLocalConnection(server.databasePath()).execute(sql); }

  test::ServerProcess server{{"--seed", "demo"}};
  int port = server.port();
  std::string session = server.signIn();
  test::TempDir dir;
  TLocalConnection whole{dir.file("whole.db")}, paged{dir.file("paged.db")};
};

TEST_F(PagedLoadTest, PagesGiveTheSameCopyAsOneAnswerFirstAndOnEachRefresh) {
  refresh(whole, 10000);
  refresh(paged, 3);
  ASSERT_GT(contents(whole).size(), 20u);
  EXPECT_EQ(contents(paged), contents(whole));

  // Changes spread over several pages, a removal among them, and a row written twice.
  writeOnServer(
      "UPDATE PARCLIEKDR SET DSFATURCLIE = 'Novo ' || IDTPFATUCLIE WHERE CDCLIENTE IN ('101', '102'); "
      "DELETE FROM PARCLIEKDR WHERE CDCLIENTE = '103'; "
      "UPDATE CLIENTE SET NMFANTCLIE = 'Renomeado' WHERE CDCLIENTE IN ('104', '105', '106', '109'); "
      "UPDATE PARCLIEKDR SET DSBOLETCLIE = 'Outro' WHERE CDCLIENTE = '101' AND IDTPFATUCLIE = '3'");
  refresh(whole, 10000);
  refresh(paged, 3);
  EXPECT_EQ(contents(paged), contents(whole));
}

TEST_F(PagedLoadTest, ALoadCutShortKeepsThePreviousCopyWholeAndUsable) {
  refresh(paged, 3);
  const Table before = contents(paged);
  writeOnServer("UPDATE PARCLIEKDR SET DSFATURCLIE = 'Novo'; UPDATE CLIENTE SET NMFANTCLIE = 'Novo'");

  int pages = 0;
  try {
    refresh(paged, 3, [&] {
      if (++pages == 2) server.stop(SIGKILL);
    });
    FAIL() << "the load went on without its server";
  } catch (const EDatabaseError &e) {
    EXPECT_NE(e.Message().find("CLIENTE"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(contents(paged), before) << "neither rows nor mark of the load cut short";

  // The same database served again: the next refresh brings the whole change.
  test::ServerProcess again({}, "sqlite:" + server.databasePath());
  port = again.port();
  session = again.signIn();
  refresh(paged, 3);
  refresh(whole, 10000);
  EXPECT_EQ(contents(paged), contents(whole));
  LocalStatement changed(paged, "SELECT COUNT(*) FROM PARCLIEKDR WHERE DSFATURCLIE <> 'Novo'");
  EXPECT_EQ(changed.readAll().rows.front().values.front(), Variant(0));
}

// The host's statements wait for a table whose first copy loads in the background: they see it
// whole, never a part. A load that fails releases them and says why.
TEST(BackgroundLoadTest, ReadersOfATableStillLoadingSeeItWholeOrAfterItsFailure) {
  test::ServerProcess server{{"--seed", "demo"}};
  test::TempDir dir;
  TdtmDBGeral db(dir.file("local.db"));
  Zelnor::HostConfig config;
  config.webPort = server.port();
  config.session = server.signIn();
  config.cachePageRows = 2;
  {
    BackgroundCacheLoad load(db.adcGeral.Path(), config, {"CLIENTE", "PARCLIEKDR"}, db.firstLoads);
    LocalStatement rows(db.adcGeral, "select count(*) from parcliekdr");
    EXPECT_EQ(rows.readAll().rows.front().values.front(), Variant(10));
    load.join();
    EXPECT_TRUE(load.warnings().empty());
    // Both tables counted before they loaded, every counted row written.
    const auto progress = load.progress();
    EXPECT_TRUE(progress.finished);
    LocalStatement clients(db.adcGeral, "SELECT COUNT(*) FROM CLIENTE");
    EXPECT_EQ(Variant(static_cast<std::int64_t>(progress.total)),
              Variant(clients.readAll().rows.front().values.front().asInteger() + 10));
    EXPECT_EQ(progress.done, progress.total);
  }
  EXPECT_FALSE(db.cacheMark("CLIENTE").empty());

  server.stop();
  TdtmDBGeral other(dir.file("other.db"));
  BackgroundCacheLoad failed(other.adcGeral.Path(), config, {"EMPRESA"}, other.firstLoads);
  LocalStatement rows(other.adcGeral, "SELECT COUNT(*) FROM \"EMPRESA\"");
  EXPECT_EQ(rows.readAll().rows.front().values.front(), Variant(0));
  failed.join();
  ASSERT_EQ(failed.warnings().size(), 1u);
  EXPECT_NE(failed.warnings().front().find("EMPRESA"), std::string::npos) << failed.warnings().front();
}

// A load whose thread cannot start says so and leaves no table loading: the host's statements on
// those tables read what the file holds instead of waiting for ever.
TEST(BackgroundLoadTest, ALoadThatCannotStartLeavesNoTableLoading) {
  test::TempDir dir;
  TdtmDBGeral db(dir.file("local.db"));
  {
    test::ThreadStartsFail noThreads;
    EXPECT_THROW(BackgroundCacheLoad(db.adcGeral.Path(), Zelnor::HostConfig{}, {"EMPRESA"}, db.firstLoads),
                 std::system_error);
  }
  EXPECT_FALSE(db.firstLoads.wouldWait("SELECT COUNT(*) FROM \"EMPRESA\""));
}

// A statement waiting for a table still loading lets the desktop show how far the load got, while
// it waits and once when it is over.
TEST(BackgroundLoadTest, AWaitingStatementGivesTheDesktopItsTurnsWhileItWaits) {
  FirstLoads loads;
  std::vector<bool> calls;
  loads.whileWaiting([&](bool waiting) {
    calls.push_back(waiting);
    if (waiting) loads.end("CLIENTE"); // the load ends while the desktop shows its progress
  });
  loads.begin({"CLIENTE"});
  loads.awaitTablesOf("SELECT * FROM EMPRESA");
  EXPECT_TRUE(calls.empty()) << "a table not loading is read at once";
  loads.awaitTablesOf("SELECT * FROM CLIENTE");
  EXPECT_EQ(calls, (std::vector<bool>{true, false}));
}

} // namespace
} // namespace kdr
