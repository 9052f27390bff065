// Several kdr-server processes on one PostgreSQL database, desktops split between them: what one
// server refuses to lose, the other refuses too; a server started while another migrates waits;
// a server killed mid-statement leaves no work behind that blocks the next one.
#include <signal.h>

#include <thread>

#include "server/store/engines.h"
#include "tests/server/server_fixture.h"
#include "tests/support/server_process.h"

namespace kdr::server::testing {
namespace {

using test::ServerProcess;

class SeveralServers : public ::testing::Test {
protected:
  void SetUp() override {
    db_ = std::make_unique<ScratchDatabase>("postgresql");
    if (!db_->available()) GTEST_SKIP() << "PostgreSQL suite skipped: KDR_TEST_PG is not set";
  }
  void startBoth() {
    one_ = std::make_unique<ServerProcess>(std::vector<std::string>{"--seed", "demo"}, db_->url());
    two_ = std::make_unique<ServerProcess>(std::vector<std::string>{}, db_->url());
  }
  // Signed in on server one: server two accepts the same session, kept in the shared database.
  DataPacket paramsOf(ServerProcess &server, const std::string &client) {
    return callServer(server.port(), "GetParamFatCli", {client}, paramFatCli, session()).packet();
  }
  Reply save(ServerProcess &server, const DeltaBuilder &delta) {
    return callServer(server.port(), "SetParamFatCli", {delta.variant()}, paramFatCli, session());
  }
  Reply call(ServerProcess &server, const std::string &method, Variant::Array args,
             const std::string &module = paramFatCli) {
    return callServer(server.port(), method, std::move(args), module, session());
  }
  const std::string &session() {
    if (session_.empty()) session_ = one_->signIn();
    return session_;
  }
  static inline const std::string paramFatCli = "KDR03020.rdmParamFatCli";
  std::string session_;

  std::unique_ptr<ScratchDatabase> db_;
  std::unique_ptr<ServerProcess> one_, two_;
};

TEST_F(SeveralServers, ChangesMadeThroughOneServerAreDefendedByTheOther) {
  startBoth();
  const int text = DeltaBuilder(paramFatCliFields()).packet.fieldIndex("DSFATURCLIE");
  // Desktop A works through server one, desktop B through server two; both loaded client 101.
  std::vector<Variant> seenByA = paramsOf(*one_, "101").rows[0].values;
  std::vector<Variant> seenByB = paramsOf(*two_, "101").rows[0].values;
  DeltaBuilder a(paramFatCliFields());
  a.modify(seenByA, {{"DSFATURCLIE", "Texto de A."}});
  ASSERT_EQ(save(*one_, a).status, 200);

  DeltaBuilder lostUpdate(paramFatCliFields()), staleDeletion(paramFatCliFields());
  lostUpdate.modify(seenByB, {{"DSFATURCLIE", "Texto de B."}});
  staleDeletion.remove(seenByB);
  for (const DeltaBuilder *d : {&lostUpdate, &staleDeletion}) {
    Reply r = save(*two_, *d);
    EXPECT_EQ(r.status, 409);
    EXPECT_NE(r.message().find("cliente 101"), std::string::npos) << r.message();
  }
  EXPECT_EQ(paramsOf(*two_, "101").rows[0].values[text], Variant("Texto de A."));

  // The same row inserted through both servers: the second is refused, naming the row.
  DeltaBuilder insert(paramFatCliFields());
  insert.insert(paramRow("104", "1", "01"));
  ASSERT_EQ(save(*one_, insert).status, 200);
  Reply again = save(*two_, insert);
  EXPECT_EQ(again.status, 409);
  EXPECT_NE(again.message().find("O cliente 104 já tem parâmetro"), std::string::npos) << again.message();
  // A second row of that billing type, at another company, is refused by the other server too.
  DeltaBuilder sameType(paramFatCliFields());
  sameType.insert(paramRow("104", "1", "02"));
  Reply refused = save(*two_, sameType);
  EXPECT_EQ(refused.status, 400);
  EXPECT_NE(refused.message().find("Tipo de Faturamento já cadastrado"), std::string::npos)
      << refused.message();
  EXPECT_EQ(paramsOf(*one_, "104").rows.size(), 1u);
}

// A bulk copy through one server is seen by desktops of the other, and two copies at once, one
// through each server, leave what one copy leaves.
TEST_F(SeveralServers, BulkCopyHoldsAcrossServers) {
  startBoth();
  std::vector<Variant> seen = paramsOf(*two_, "1010").rows[0].values;
  DeltaBuilder order({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                      FieldDef{"DSFATURCLIE", FieldType::String, 400},
                      FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
  order.insert({"1", "Customização copiada.", "Boleto copiado."}).insert({"4", "Locação copiada.", nullptr});
  ASSERT_EQ(call(*one_, "GeraAutomParam", {"T", "102", order.variant()}).status, 200);

  DeltaBuilder stale(paramFatCliFields());
  stale.modify(seen, {{"DSFATURCLIE", "Texto antigo editado."}});
  EXPECT_EQ(save(*two_, stale).status, 409);

  Reply first, second;
  std::thread viaOne([&] { first = call(*one_, "GeraAutomParam", {"T", "102", order.variant()}); });
  second = call(*two_, "GeraAutomParam", {"T", "102", order.variant()});
  viaOne.join();
  for (const Reply *r : {&first, &second}) EXPECT_TRUE(r->status == 200 || r->status == 409) << r->status;
  auto table = [&] { return call(*one_, "GetTable", {"PARCLIEKDR"}, "KDR.rdmCache").packet(); };
  DataPacket afterBoth = table();
  Reply once = call(*two_, "GeraAutomParam", {"T", "102", order.variant()});
  ASSERT_EQ(once.status, 200);
  EXPECT_EQ(table(), afterBoth);
}

// Sessions are rows of the shared database: a key one server gave works on the other, and signing
// out on either ends it on both.
TEST_F(SeveralServers, ASessionOfOneServerIsAcceptedAndEndedByTheOther) {
  startBoth();
  const std::string key = one_->signIn("atendente");
  EXPECT_EQ(callServer(two_->port(), "GetParamFatCli", {"101"}, paramFatCli, key).status, 200);
  httplib::Client two("127.0.0.1", two_->port());
  ASSERT_EQ(two.Delete("/session", {{"Authorization", "Bearer " + key}})->status, 200);
  for (ServerProcess *server : {one_.get(), two_.get()}) {
    Reply r = callServer(server->port(), "GetParamFatCli", {"101"}, paramFatCli, key);
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(r.errorCode(), "unauthenticated");
  }
}

// A server that starts while another migrates the database waits for it, then serves.
TEST_F(SeveralServers, ServerStartedDuringAMigrationWaitsForIt) {
  auto migrating = openPostgresql(db_->url());
  migrating->executeScript(std::string(postgresqlDialect().lockMigrations()));
  migrating->executeScript("BEGIN; CREATE TABLE KDR_SCHEMA (VERSION INTEGER NOT NULL)");
  migrating->executeScript(postgresqlDialect().migrations()[0]);
  migrating->execute("INSERT INTO KDR_SCHEMA (VERSION) VALUES (1)");
  std::thread finish([&] {
    auto watcher = openPostgresql(db_->url());
    waitForLockWaiter(*watcher);
    migrating->executeScript("COMMIT");
    migrating->executeScript(std::string(postgresqlDialect().unlockMigrations()));
  });
  std::unique_ptr<ServerProcess> late;
  EXPECT_NO_THROW(
      late = std::make_unique<ServerProcess>(std::vector<std::string>{"--seed", "demo"}, db_->url()));
  finish.join();
  if (late) {
    EXPECT_EQ(callServer(late->port(), "GetParamFatCli", {"101"}, paramFatCli, late->signIn()).status, 200);
  }
}

// A server killed while its statement waits for a row lock: the database ends that statement
// once it sees its client gone, instead of keeping it (and the locks it took) alive.
TEST_F(SeveralServers, WorkOfAKilledServerDoesNotOutliveIt) {
  startBoth();
  auto holder = openPostgresql(db_->url());
  holder->executeScript("BEGIN");
  holder->query("SELECT 1 FROM PARCLIEKDR WHERE CDCLIENTE = '101' FOR UPDATE");
  std::thread desktop([&] {
    DeltaBuilder d(paramFatCliFields());
    d.modify(paramsOf(*one_, "101").rows[0].values, {{"DSFATURCLIE", "Nunca gravado."}});
    try {
      save(*one_, d);
    } catch (const std::exception &) {
      // The server is killed before it answers.
    }
  });
  auto watcher = openPostgresql(db_->url());
  const int orphan = waitForLockWaiter(*watcher);
  ASSERT_NE(orphan, 0);
  one_->stop(SIGKILL);
  desktop.join();
  bool gone = false;
  for (int i = 0; i < 600 && !gone; ++i) {
    gone = watcher->query("SELECT 1 FROM pg_stat_activity WHERE pid = ?", {orphan}).empty();
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  holder->executeScript("ROLLBACK");
  EXPECT_TRUE(gone) << "the killed server's statement still runs in backend " << orphan;
  // The other server goes on serving the row.
  EXPECT_EQ(paramsOf(*two_, "101").rows.size(), 3u);
}

// Servers started together with a seed on one empty database: one fills it, the others start on
// what it filled. A database with reference rows but no client is not seeded, and the server
// says why and what to do.
TEST_F(SeveralServers, ServersStartedTogetherWithASeedFillTheDatabaseOnce) {
  std::unique_ptr<ServerProcess> servers[2];
  std::string failures[2];
  std::thread starts[2];
  for (int i = 0; i < 2; ++i)
    starts[i] = std::thread([&, i] {
      try {
        servers[i] =
            std::make_unique<ServerProcess>(std::vector<std::string>{"--seed", "bulk:20000"}, db_->url());
      } catch (const std::exception &e) {
        failures[i] = e.what();
      }
    });
  for (std::thread &t : starts) t.join();
  EXPECT_EQ(failures[0], "");
  EXPECT_EQ(failures[1], "");
  auto s = openPostgresql(db_->url());
  EXPECT_EQ(s->query("SELECT COUNT(*) FROM CLIENTE")[0][0].asInteger(), 20000);
  EXPECT_EQ(s->query("SELECT COUNT(*) FROM EMPRESA")[0][0].asInteger(), 4);
}

TEST_F(SeveralServers, ASeedOnADatabaseWithoutClientsButWithCompaniesSaysWhatToDo) {
  {
    auto store = Store::open(db_->url());
    store->session()->execute("INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES ('01', 'Alfa')");
  }
  std::string failure;
  try {
    ServerProcess seeded({"--seed", "demo"}, db_->url());
  } catch (const std::exception &e) {
    failure = e.what();
  }
  EXPECT_NE(failure.find("--seed só preenche um banco vazio. Nada foi gravado. Inicie o servidor sem --seed"),
            std::string::npos)
      << failure;
  EXPECT_EQ(failure.find("postgresql"), std::string::npos) << failure;
  auto s = openPostgresql(db_->url());
  EXPECT_EQ(s->query("SELECT COUNT(*) FROM EMPRESA")[0][0].asInteger(), 1);
}

} // namespace
} // namespace kdr::server::testing
