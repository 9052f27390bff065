// The administrator's command line: where each setting comes from, the checks on what is typed,
// and the exit status a script sees (0 done, 1 refused, 2 mistyped).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "server/admin/admin.h"
#include "server/admin/seed.h"
#include "server/cli/command_line.h"
#include "server/history/moment.h"
#include "server/store/store.h"
#include "tests/support/scratch_database.h"
#include "tests/support/server_process.h"

namespace kdr::server::cli {
namespace {

struct Settings {
  std::string db, port = "8020";
  std::vector<std::string> hosts;
  bool open = false;
};

// Parses args as the server would, with the environment given; throws UsageError.
Settings parsed(const std::vector<std::string> &args, const Environment &env) {
  Settings s;
  CommandLine line("kdr-server", "teste");
  line.setting("db", s.db, "banco")->check(databaseUrl());
  line.setting("port", s.port, "porta")->check(wholeNumber(0, 65535));
  line.setting("allow-host", s.hosts, "nomes");
  line.flagSetting("allow-no-token", s.open, "aberto");
  std::ostringstream out;
  EXPECT_TRUE(line.parse(args, env, out));
  return s;
}

std::string usageError(const std::vector<std::string> &args, const Environment &env) {
  try {
    parsed(args, env);
  } catch (const UsageError &e) {
    return e.what();
  }
  ADD_FAILURE() << "accepted";
  return {};
}

TEST(CommandLine, CommandLineWinsOverEnvironmentWhichWinsOverTheFile) {
  kdr::test::TempDir dir;
  const std::string conf = dir.file("kdr-server.conf");
  std::ofstream(conf) << "# the installed server\n"
                         "db = sqlite:/var/lib/kdr/kdr.db\n"
                         "port = 9000\n"
                         "allow-host = caixa.local\n"
                         "allow-host = \"fiscal.local\"\n"
                         "allow-no-token = sim\n";
  Settings fromFile = parsed({"--config", conf}, {});
  EXPECT_EQ(fromFile.db, "sqlite:/var/lib/kdr/kdr.db");
  EXPECT_EQ(fromFile.port, "9000");
  EXPECT_EQ(fromFile.hosts, (std::vector<std::string>{"caixa.local", "fiscal.local"}));
  EXPECT_TRUE(fromFile.open);

  Environment env{
      {"KDR_CONFIG", conf}, {"KDR_PORT", "9100"}, {"KDR_ALLOW_HOST", "a,b"}, {"KDR_ALLOW_NO_TOKEN", "0"}};
  Settings fromEnv = parsed({}, env);
  EXPECT_EQ(fromEnv.db, "sqlite:/var/lib/kdr/kdr.db"); // not in the environment: the file's
  EXPECT_EQ(fromEnv.port, "9100");
  EXPECT_EQ(fromEnv.hosts, (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(fromEnv.open);

  Settings fromArgs = parsed({"--port", "9200", "--db", "sqlite:x.db", "--allow-host", "c"}, env);
  EXPECT_EQ(fromArgs.port, "9200");
  EXPECT_EQ(fromArgs.db, "sqlite:x.db");
  EXPECT_EQ(fromArgs.hosts, std::vector<std::string>{"c"});

  Settings defaults = parsed({}, {{"KDR_CONFIG", ""}});
  EXPECT_EQ(defaults.port, "8020");
  EXPECT_TRUE(defaults.hosts.empty());
}

TEST(CommandLine, MistakesAreNamedWhereverTheyWereMade) {
  kdr::test::TempDir dir;
  const std::string conf = dir.file("kdr-server.conf");
  std::ofstream(conf) << "db = sqlite:a.db\n\nprot = 9000\n";
  EXPECT_NE(usageError({"--config", conf}, {}).find(conf + ", linha 3: configuração desconhecida \"prot\""),
            std::string::npos);
  std::ofstream(conf) << "port = nove mil\n";
  EXPECT_NE(usageError({}, {{"KDR_CONFIG", conf}}).find("linha 1: espera um número inteiro de 0 a 65535"),
            std::string::npos);
  std::ofstream(conf) << "port\n";
  EXPECT_NE(usageError({"--config", conf}, {}).find("esperado \"nome = valor\""), std::string::npos);
  EXPECT_NE(usageError({"--config", dir.file("none.conf")}, {}).find("não foi possível ler"),
            std::string::npos);

  EXPECT_EQ(usageError({}, {{"KDR_PORT", "70000"}}),
            "KDR_PORT: espera um número inteiro de 0 a 65535, não \"70000\"");
  EXPECT_EQ(usageError({}, {{"KDR_ALLOW_NO_TOKEN", "talvez"}}),
            "KDR_ALLOW_NO_TOKEN: espera sim ou não (1 ou 0), não \"talvez\"");
  EXPECT_EQ(usageError({"--port", "12x"}, {}), "--port: espera um número inteiro de 0 a 65535, não \"12x\"");
  EXPECT_EQ(usageError({"--port"}, {}), "--port precisa de um valor");
  EXPECT_EQ(usageError({"--bogus"}, {}), "opção desconhecida: --bogus");
  EXPECT_EQ(usageError({"extra"}, {}), "argumento a mais: \"extra\"");
  EXPECT_NE(usageError({"--db", "mysql://x"}, {}).find("espera sqlite:CAMINHO ou postgresql://"),
            std::string::npos);
}

TEST(CommandLine, DatesAreRealDaysInOneOfTheTwoForms) {
  EXPECT_EQ(kdr::server::canonicalMoment("2026-12-08"), "2026-12-08");
  EXPECT_EQ(kdr::server::canonicalMoment("2026-12-08 07:05"), "2026-12-08 07:05:00");
  EXPECT_EQ(kdr::server::canonicalMoment("2026-12-08T23:59:59"), "2026-12-08 23:59:59");
  EXPECT_EQ(kdr::server::canonicalMoment("2024-02-29"), "2024-02-29");
  for (const char *wrong : {"x", "08/12/2026", "2026-13-45", "2026-02-29", "1900-02-29", "2026-04-31",
                            "2026-00-10", "2026-12-00", "2026-12-8", "2026-12-08 24:00", "2026-12-08 10:60",
                            "2026-12-08 10:30:60", "2026-12-08 10:30:5", "2026-12-08x10:30", "2026-12-08 "})
    EXPECT_EQ(kdr::server::canonicalMoment(wrong), std::nullopt) << wrong;
}

// The administrator's commands against a demo database, as a script runs them.
class AdminCommands : public ::testing::Test {
protected:
  void SetUp() override {
    auto store = Store::open(db_.url());
    auto session = store->session();
    seedDemo(*session);
  }
  int run(const std::vector<std::string> &args, Environment env = {}) {
    std::istringstream in;
    std::ostringstream out, err;
    if (!env.count("KDR_DB")) env["KDR_DB"] = db_.url();
    env.emplace("KDR_CONFIG", dir_.file("none.conf")); // a machine's own file must not leak in
    std::ofstream(dir_.file("none.conf")) << "";
    int status = runAdminCommand(args, in, out, err, env);
    output_ = out.str() + err.str();
    return status;
  }
  kdr::test::ScratchDatabase db_{"sqlite"};
  kdr::test::TempDir dir_;
  std::string output_;
};

// The administrator reads and types times on the clock of the machine (three hours behind UTC
// here); the history keeps UTC, so a change made at 13:05 UTC shows as 10:05 -03:00 and "since"
// is a time of that clock.
TEST_F(AdminCommands, HistoryTimesAreOnTheAdministratorsClockWithTheirOffset) {
  struct Zone {
    Zone() {
      const char *was = std::getenv("TZ");
      if (was) before = was;
      had = was != nullptr;
      setenv("TZ", "<-03>3", 1);
      tzset();
    }
    ~Zone() {
      had ? setenv("TZ", before.c_str(), 1) : unsetenv("TZ");
      tzset();
    }
    std::string before;
    bool had = false;
  } zone;
  EXPECT_EQ(kdr::server::localMoment("2026-12-08 13:05:09.123"), "2026-12-08 10:05:09.123 -03:00");
  EXPECT_EQ(kdr::server::localMoment("2026-12-09 01:00:00"), "2026-12-08 22:00:00 -03:00");
  EXPECT_EQ(kdr::server::utcFromLocal("2026-12-08"), "2026-12-08 03:00:00");
  EXPECT_EQ(kdr::server::utcFromLocal("2026-12-08 22:30:00"), "2026-12-09 01:30:00");
  EXPECT_EQ(kdr::server::utcFromLocal("2026-12-08T22:30"), "2026-12-09 01:30:00");

  ASSERT_EQ(run({"copy", "--model", "102", "--types", "1", "--targets", "103"}), 0) << output_;
  // The copy's lines are told at the time of their batch.
  {
    auto store = Store::openExisting(db_.url());
    auto s = store->session();
    s->execute("UPDATE KDR_LOTE SET DTLOTE = '2026-12-08 13:05:09.123'");
    s->execute("UPDATE KDR_HISTORICO SET DTHIST = '2026-12-08 13:05:09.123'");
  }
  ASSERT_EQ(run({"history"}), 0) << output_;
  EXPECT_NE(output_.find("\n2026-12-08 10:05:09.123 -03:00  "), std::string::npos) << output_;
  ASSERT_EQ(run({"batches"}), 0) << output_;
  EXPECT_NE(output_.find(" 2026-12-08 10:05:09.123 -03:00 "), std::string::npos) << output_;
  ASSERT_EQ(run({"history", "--since", "2026-12-08 10:05"}), 0) << output_;
  EXPECT_NE(output_.find("copy"), std::string::npos) << output_;
  ASSERT_EQ(run({"history", "--since", "2026-12-08 10:06"}), 0) << output_;
  EXPECT_EQ(output_.find("copy"), std::string::npos) << output_;
}

TEST_F(AdminCommands, MistypedLinesExitWithTwoAndSayWhatIsAccepted) {
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  for (const Case &c : std::vector<Case>{
           {{"undo", "abc"}, "LOTE: espera um número inteiro de 1 a"},
           {{"undo"}, "falta LOTE"},
           {{"undo", "1", "2"}, "argumento a mais: \"2\""},
           {{"history", "--since", "x"}, "espera uma data AAAA-MM-DD ou AAAA-MM-DD HH:MM[:SS], não \"x\""},
           {{"history", "--since", "08/12/2026"}, "não \"08/12/2026\""},
           {{"history", "--since", "2026-13-45"}, "não \"2026-13-45\""},
           {{"history", "--batch", "1x"}, "--batch: espera um número inteiro"},
           {{"history", "--cliente", "101"}, "opção desconhecida: --cliente"},
           {{"copy", "--model", "101", "--types", "9", "--targets", "102"},
            "--types: tipo de faturamento inválido: \"9\" (de 1 a 6)"},
           {{"copy", "--model", "101", "--types", "1", "--texts", "nota", "--targets", "102"},
            "--texts: espera fat"},
           {{"copy", "--model", "101", "--types", "1"}, "falta --targets"},
           {{"export", "clientes"}, "TABELA: espera params ou defaults"},
           {{"import", "params"}, "falta ARQUIVO"},
           {{"batches", "--db", "clientes.db"}, "--db: espera sqlite:CAMINHO"},
       }) {
    EXPECT_EQ(run(c.args), 2) << c.args[0] << " " << c.args.back();
    EXPECT_NE(output_.find(c.said), std::string::npos) << c.said << "\n" << output_;
    EXPECT_NE(output_.find("--help"), std::string::npos) << output_;
  }
  EXPECT_EQ(run({"batches"}, {{"KDR_DB", ""}}), 2);
  EXPECT_NE(output_.find("falta --db (ou KDR_DB"), std::string::npos) << output_;
}

TEST_F(AdminCommands, CopyToAClientThatDoesNotExistIsRefusedAndWritesNothing) {
  ASSERT_EQ(run({"batches"}), 0);
  const std::string before = output_;
  EXPECT_EQ(run({"copy", "--model", "101", "--types", "1", "--targets", "102,9999"}), 1);
  EXPECT_NE(output_.find("Cliente 9999 não cadastrado."), std::string::npos) << output_;
  EXPECT_EQ(run({"copy", "--model", "101", "--types", "1", "--targets", "9999", "--dry-run"}), 1);
  ASSERT_EQ(run({"batches"}), 0);
  EXPECT_EQ(output_, before);
  EXPECT_EQ(run({"copy", "--model", "102", "--types", "1", "--targets", "103", "--dry-run"}), 0) << output_;
}

TEST_F(AdminCommands, EveryCommandAnswersHelpAndTheDatabaseComesFromTheSettings) {
  for (const char *command : {"history", "batches", "undo", "copy", "export", "import"}) {
    EXPECT_EQ(run({command, "--help"}), 0) << command;
    EXPECT_NE(output_.find(std::string("uso: kdr-server ") + command), std::string::npos) << output_;
    EXPECT_NE(output_.find("--db"), std::string::npos) << output_;
    EXPECT_EQ(run({command, "--version"}), 0);
    EXPECT_EQ(output_.rfind(std::string("kdr-server ") + command + " ", 0), 0u) << output_;
  }
  std::ofstream(dir_.file("kdr.conf")) << "db = " << db_.url() << "\n";
  EXPECT_EQ(run({"history", "--since", "2000-01-01", "--client", "101"},
                {{"KDR_DB", ""}, {"KDR_CONFIG", dir_.file("kdr.conf")}}),
            0)
      << output_;
  EXPECT_EQ(output_.rfind("quando", 0), 0u) << output_;
}

TEST(Programs, AnswerHelpAndVersionAndRefuseMistakesWithTwo) {
  using kdr::test::runProgram;
  auto help = runProgram("kdr-server", {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char *shown : {"--db URL", "--port PORTA", "KDR_PORT", "history", "import", "--config"})
    EXPECT_NE(help.output.find(shown), std::string::npos) << shown << "\n" << help.output;
  auto version = runProgram("kdr-server", {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output.rfind("kdr-server ", 0), 0u) << version.output;
  auto host = runProgram("kdr-host", {"--version"});
  EXPECT_EQ(host.status, 0);
  EXPECT_EQ(host.output, "kdr-host " + version.output.substr(11)); // one version for both programs

  auto port = runProgram("kdr-server", {"--db", "sqlite:/nonexistent/x.db", "--port", "http"});
  EXPECT_EQ(port.status, 2);
  EXPECT_NE(port.output.find("--port: espera um número inteiro de 0 a 65535"), std::string::npos)
      << port.output;
  auto noDb = runProgram("kdr-server", {"--port", "0"}, {"KDR_DB=", "KDR_CONFIG=/nonexistent.conf"});
  EXPECT_EQ(noDb.status, 2);
  EXPECT_NE(noDb.output.find("não foi possível ler o arquivo de configuração"), std::string::npos)
      << noDb.output;
  auto undo = runProgram("kdr-server", {"undo", "abc", "--db", "sqlite:/nonexistent/x.db"});
  EXPECT_EQ(undo.status, 2) << undo.output;
}

} // namespace
} // namespace kdr::server::cli
