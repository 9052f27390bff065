// What an administrator running the service relies on: commands that never create or migrate by
// accident, the status of a database, a copy taken while serving and put back, and the metrics.
#include <sstream>
#include <thread>

#include "server/admin/admin.h"
#include "server/http/metrics.h"
#include "server/store/dialect.h"
#include "server/store/store.h"
#include "tests/server/server_fixture.h"
#include "tests/support/server_process.h"

namespace kdr::server::testing {
namespace {

struct Outcome {
  int status;
  std::string output;
};

Outcome admin(const std::string &url, std::vector<std::string> args) {
  std::istringstream in;
  std::ostringstream out, err;
  int status = runAdminCommand(args, in, out, err, {{"KDR_DB", url}, {"KDR_CONFIG", "/dev/null"}});
  return {status, out.str() + err.str()};
}

TEST(Operations, CommandsOnAMissingDatabaseFailNamingItAndCreateNothing) {
  kdr::test::TempDir dir;
  const std::string url = "sqlite:" + dir.file("kdr.db");
  for (const std::vector<std::string> &args :
       std::vector<std::vector<std::string>>{{"history"},
                                             {"batches"},
                                             {"status"},
                                             {"undo", "1"},
                                             {"export", "params"},
                                             {"backup", dir.file("c")}}) {
    Outcome r = admin(url, args);
    EXPECT_EQ(r.status, 1) << args[0];
    EXPECT_NE(r.output.find("O banco " + url + " não existe; nada foi criado."), std::string::npos)
        << r.output;
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  ASSERT_EQ(admin(url, {"init"}).status, 0);
  EXPECT_EQ(admin(url, {"history"}).status, 0);
}

// A database left at the version before the last, as an older server left it.
void makeOlderDatabase(const std::string &url) {
  auto s = connectTo(url);
  const auto &steps = sqliteDialect().migrations();
  s->executeScript("CREATE TABLE KDR_SCHEMA (VERSION INTEGER NOT NULL)");
  for (std::size_t i = 0; i + 1 < steps.size(); ++i) {
    s->executeScript(steps[i]);
    s->execute("INSERT INTO KDR_SCHEMA (VERSION) VALUES (?)", {static_cast<std::int64_t>(i + 1)});
  }
}

TEST(Operations, OnlyInitOrTheServerMigrateAndACopyIsTakenFirst) {
  kdr::test::TempDir dir;
  const std::string url = "sqlite:" + dir.file("kdr.db");
  makeOlderDatabase(url);
  const std::string known = std::to_string(sqliteDialect().migrations().size());
  const std::string older = std::to_string(sqliteDialect().migrations().size() - 1);
  for (const char *command : {"history", "batches", "export"}) {
    Outcome r = admin(url, command == std::string("export") ? std::vector<std::string>{command, "params"}
                                                            : std::vector<std::string>{command});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("versão " + older + " do esquema; este kdr-server usa a versão " + known),
              std::string::npos)
        << r.output;
  }
  Outcome status = admin(url, {"status"});
  EXPECT_EQ(status.status, 0);
  EXPECT_NE(status.output.find("esquema: versão " + older + " (este kdr-server usa a " + known + ")"),
            std::string::npos)
      << status.output;
  EXPECT_EQ(Store::openExisting(url, Store::Schema::Any)->schemaVersion(), std::stoi(older)); // untouched

  ASSERT_EQ(admin(url, {"init"}).status, 0);
  EXPECT_EQ(Store::openExisting(url)->schemaVersion(), std::stoi(known));
  int copies = 0;
  for (const auto &f : std::filesystem::directory_iterator(dir.path()))
    if (f.path().filename().string().starts_with("kdr.db.v" + older + "-") &&
        f.path().extension() == ".bak") {
      ++copies;
      EXPECT_EQ(Store::openExisting("sqlite:" + f.path().string(), Store::Schema::Any)->schemaVersion(),
                std::stoi(older));
    }
  EXPECT_EQ(copies, 1);

  connectTo(url)->execute("INSERT INTO KDR_SCHEMA (VERSION) VALUES (?)", {std::int64_t{999}});
  Outcome newer = admin(url, {"history"});
  EXPECT_EQ(newer.status, 1);
  EXPECT_NE(newer.output.find("mais nova (versão 999 do esquema; este kdr-server usa a versão " + known),
            std::string::npos)
      << newer.output;
}

class Backup : public ::testing::TestWithParam<std::string> {};

// A copy taken while the server serves and a writer keeps writing, put back once it is stopped:
// the same rows, the same export byte for byte.
TEST_P(Backup, TakenWhileServingAndPutBackGivesTheSameData) {
  kdr::test::ScratchDatabase db(GetParam());
  if (!db.available()) GTEST_SKIP() << "PostgreSQL suite skipped: KDR_TEST_PG is not set";
  kdr::test::TempDir dir;
  const std::string copy = dir.file("kdr.backup");
  auto server =
      std::make_unique<kdr::test::ServerProcess>(std::vector<std::string>{"--seed", "demo"}, db.url());
  const std::string url = db.url();
  ASSERT_EQ(admin(url, {"copy", "--model", "102", "--types", "1", "--targets", "103"}).status, 0);
  const Outcome exported = admin(url, {"export", "params"});
  const Outcome counted = admin(url, {"status"});
  ASSERT_EQ(exported.status, 0);

  // A desktop's reads go on meanwhile; the copy must not stop them nor see half of anything.
  std::atomic<bool> done{false};
  const std::string session = server->signIn();
  std::thread reader([&] {
    while (!done)
      EXPECT_EQ(
          callServer(server->port(), "GetParamFatCli", {"101"}, "KDR03020.rdmParamFatCli", session).status,
          200);
  });
  Outcome backup = admin(url, {"backup", copy});
  done = true;
  reader.join();
  ASSERT_EQ(backup.status, 0) << backup.output;
  EXPECT_NE(backup.output.find("Cópia gravada em " + copy), std::string::npos);

  ASSERT_EQ(admin(url, {"undo", "1"}).status, 0); // a change after the copy
  EXPECT_NE(admin(url, {"export", "params"}).output, exported.output);
  Outcome refused = admin(url, {"restore", copy});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("em uso por um servidor; pare-o antes de restaurar"), std::string::npos)
      << refused.output;

  server.reset();
  Outcome restored = admin(url, {"restore", copy});
  ASSERT_EQ(restored.status, 0) << restored.output;
  EXPECT_EQ(admin(url, {"export", "params"}).output, exported.output);
  auto withoutServer = [](std::string text) { return text.substr(0, text.find("servidor: ")); };
  EXPECT_EQ(withoutServer(admin(url, {"status"}).output), withoutServer(counted.output));
}

INSTANTIATE_TEST_SUITE_P(Engines, Backup, ::testing::Values("sqlite", "postgresql"));

class Scrape : public ServerTest {};

// Every sample line of the scrape, by its name and labels.
std::map<std::string, double> samples(const std::string &text) {
  std::map<std::string, double> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.rfind(' ');
    EXPECT_NE(space, std::string::npos) << line;
    const std::string key = line.substr(0, space);
    EXPECT_TRUE(out.emplace(key, std::stod(line.substr(space + 1))).second) << "twice: " << line;
  }
  return out;
}

TEST_P(Scrape, AScrapeCountsRequestsLatencyPoolCacheAndFirstLoads) {
  EXPECT_EQ(call("GetParamFatCli", {"101"}).status, 200);
  EXPECT_EQ(call("GetParamFatCli", {"102"}).status, 200);
  EXPECT_EQ(call("Nenhum", {}).status, 404);
  EXPECT_EQ(call("GetTable", {"EMPRESA"}, "KDR.rdmCache").status, 200);
  EXPECT_EQ(call("GetChanges", {"EMPRESA", ""}, "KDR.rdmCache").status, 200);
  httplib::Client client("127.0.0.1", port_);
  auto scrape = client.Get("/metrics");
  ASSERT_TRUE(scrape);
  EXPECT_EQ(scrape->status, 200);
  EXPECT_EQ(scrape->get_header_value("Content-Type").rfind("text/plain; version=0.0.4", 0), 0u);
  std::map<std::string, double> s = samples(scrape->body);
  EXPECT_EQ(s[R"(kdr_requests_total{method="GetParamFatCli",status="200"})"], 2);
  EXPECT_EQ(s[R"(kdr_requests_total{method="unknown",status="404"})"], 1); // not the name the client chose
  EXPECT_EQ(s[R"(kdr_first_loads_total{table="EMPRESA"})"], 2);
  EXPECT_EQ(s[R"(kdr_request_duration_seconds_count{method="GetParamFatCli"})"], 2);
  double previous = 0;
  for (double bound : ::kdr::server::Metrics::bounds) {
    char le[32];
    std::snprintf(le, sizeof le, "%g", bound);
    const double cumulative =
        s.at(std::string(R"(kdr_request_duration_seconds_bucket{method="GetParamFatCli",le=")") + le + "\"}");
    EXPECT_GE(cumulative, previous) << le;
    previous = cumulative;
  }
  EXPECT_EQ(s[R"(kdr_request_duration_seconds_bucket{method="GetParamFatCli",le="+Inf"})"], 2);
  EXPECT_GE(s[R"(kdr_db_connections{state="idle"})"], 1);
  EXPECT_TRUE(s.count(R"(kdr_answer_cache_lookups_total{result="hit"})"));
  EXPECT_EQ(samples(client.Get("/metrics")->body)[R"(kdr_requests_total{method="metrics",status="200"})"], 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, Scrape, ::testing::Values("sqlite"));

class Stopping : public ServerTest {};

// A save waiting for the database when the server is told to stop is still answered, and saved.
TEST_P(Stopping, ARequestInFlightIsAnsweredBeforeTheServerEnds) {
  auto lock = connectTo(db_->url());
  lock->executeScript("BEGIN IMMEDIATE");
  DeltaBuilder d(paramFatCliFields());
  d.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", "Gravado na parada"}});
  Reply reply;
  std::thread save([&] { reply = call("SetParamFatCli", {d.variant()}); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the save now waits for the lock
  front_->stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  lock->executeScript("COMMIT");
  save.join();
  EXPECT_EQ(reply.status, 200) << reply.text;
  thread_.join();
  auto s = store_->session();
  EXPECT_EQ(
      s->query("SELECT DSFATURCLIE FROM PARCLIEKDR WHERE CDCLIENTE = '101' AND IDTPFATUCLIE = '3'")[0][0],
      Variant("Gravado na parada"));
}

INSTANTIATE_TEST_SUITE_P(Engines, Stopping, ::testing::Values("sqlite"));

} // namespace
} // namespace kdr::server::testing
