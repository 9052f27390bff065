// The wire and the process: bad input of each kind gets a 4xx answer and the server keeps
// serving; the token; the command line of the real binary.
#include "tests/server/server_fixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <tuple>

namespace kdr::server::testing {
namespace {

TEST_P(ServerTest, BadInputGetsAClearErrorAndTheServerKeepsServing) {
  const std::string m = "/KDR03020.rdmParamFatCli/";
  struct Case {
    std::string path, body;
    int status;
    std::string code;
  };
  const std::vector<Case> cases{
      {m + "GetCliente", "{\"args\": [", 400, "invalid_argument"},
      {m + "GetCliente", "[\"101\", \"\"]", 400, "invalid_argument"},
      {m + "GetCliente", "{\"argumentos\": []}", 400, "invalid_argument"},
      {m + "GetCliente", R"({"args": ["101"]})", 400, "invalid_argument"},
      {m + "GetCliente", R"({"args": ["101", "", "x"]})", 400, "invalid_argument"},
      {m + "GetCliente", R"({"args": [101, ""]})", 400, "invalid_argument"},
      {m + "GetParamFatCli", R"({"args": [["101"]]})", 400, "invalid_argument"},
      {m + "SetParamFatCli", R"({"args": ["101"]})", 400, "invalid_argument"},
      {m + "SetParamFatCli", R"({"args": [{"fields": [{"name": "X", "type": "blob"}], "rows": []}]})", 400,
       "invalid_argument"},
      {m + "NaoExiste", R"({"args": []})", 404, "not_found"},
      {"/KDR9999.rdmOutro/GetCliente", R"({"args": []})", 404, "not_found"},
      {"/apenas-um-nivel", R"({"args": []})", 404, "not_found"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path + " " + c.body);
    Reply r = post(c.path, c.body);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.errorCode(), c.code);
    EXPECT_FALSE(r.message().empty());
  }
  EXPECT_EQ(call("GetParamFatCli", {"101"}).status, 200);
}

// One engine would cut a text at a NUL character and the other keep it: refused on both.
TEST_P(ServerTest, TextWithANulCharacterIsRefused) {
  const std::string m = "/KDR03020.rdmParamFatCli/";
  for (
      const auto &[method, body] : std::vector<std::pair<std::string, std::string>>{
          {"GetParamFatCli", R"({"args": ["102\u0000garbage"]})"},
          {"GetCliente", R"({"args": ["\u0000", "T"]})"},
          {"SetParEmpKdr",
           R"({"args": [{"fields": [{"name": "CDEMPRESA", "type": "string"}, {"name": "IDTPFATUEMPRESA", "type": "string"},
                {"name": "DSFATUREMPRESA", "type": "string"}], "rows": [{"status": "inserted", "values": ["04", "5", "abc\u0000def"]}]}]})"}}) {
    SCOPED_TRACE(method);
    Reply r = post(m + method, body);
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(r.errorCode(), "invalid_argument");
  }
  EXPECT_TRUE(rowsOf("GetDescPadrao", {"04", "5"}).empty());
}

// A key named twice in one object of the body: the server cannot know which value the desktop
// meant, so it refuses the call, names the key and writes nothing.
TEST_P(ServerTest, AKeyNamedTwiceIsRefusedNamingIt) {
  const std::string m = "/KDR03020.rdmParamFatCli/";
  const std::string fields =
      R"({"fields": [{"name": "CDEMPRESA", "type": "string"}, )"
      R"({"name": "IDTPFATUEMPRESA", "type": "string"}, {"name": "DSFATUREMPRESA", "type": "string"}], )";
  for (
      const auto &[method, body, key] : std::vector<std::tuple<std::string, std::string, std::string>>{
          {"GetParamFatCli", R"({"args": ["101"], "args": ["102"]})", "args"},
          {"SetParEmpKdr",
           R"({"args": [)" + fields +
               R"("rows": [{"status": "inserted", "values": ["04", "5", "a"], "values": ["04", "6", "b"]}]}]})",
           "values"},
          {"SetParEmpKdr", R"({"args": [)" + fields + R"("rows": [], "rows": [["04", "5", "a"]]}]})",
           "rows"}}) {
    SCOPED_TRACE(body);
    Reply r = post(m + method, body);
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(r.errorCode(), "invalid_argument");
    EXPECT_NE(r.message().find("\"" + key + "\" aparece mais de uma vez"), std::string::npos) << r.message();
  }
  EXPECT_TRUE(rowsOf("GetDescPadrao", {"04", "5"}).empty());
  EXPECT_TRUE(rowsOf("GetDescPadrao", {"04", "6"}).empty());
}

// An error answer quotes at most a short prefix of what was sent, however long it was.
TEST_P(ServerTest, ErrorsQuoteOnlyAShortPrefixOfTheInput) {
  const std::string huge(200000, 'x');
  DeltaBuilder order({FieldDef{"IDTPFATUCLIE", FieldType::String, 0}}), badOrder = order;
  order.insert({"1"});
  badOrder.insert({huge});
  DeltaBuilder oddField({FieldDef{huge, FieldType::String, 0}, FieldDef{"CDEMPRESA", FieldType::String, 2},
                         FieldDef{"IDTPFATUEMPRESA", FieldType::String, 1}});
  oddField.insert({"x", "01", "1"});
  DeltaBuilder staleKey(empresaKdrFields());
  staleKey.packet.fields[0].size = 0;
  staleKey.remove({huge, "1", nullptr, nullptr});
  std::vector<Reply> replies{
      call("GetTable", {huge}, "KDR.rdmCache"),
      call("GeraAutomParam", {"T", huge, order.variant()}),
      call("GeraAutomParam", {"T", "101", badOrder.variant()}),
      call("SetParEmpKdr", {oddField.variant()}),
      call("SetParEmpKdr", {staleKey.variant()}),
      post("/KDR03020.rdmParamFatCli/" + std::string(4000, 'x'), R"({"args": []})"),
  };
  for (const Reply &r : replies) {
    EXPECT_GE(r.status, 400);
    EXPECT_LT(r.message().size(), 300u) << r.message().substr(0, 400);
    EXPECT_NE(r.message().find("xxxx…"), std::string::npos) << r.message().substr(0, 300);
  }
}

class Limits : public ServerTest {
protected:
  void SetUp() override {}
};

TEST_F(Limits, OversizedBodyIsRefused) {
  HttpOptions options;
  options.maxBody = 4096;
  start("sqlite", options);
  Reply r =
      post("/KDR03020.rdmParamFatCli/GetCliente", R"({"args": [")" + std::string(8000, '1') + R"(", ""]})");
  EXPECT_EQ(r.status, 413);
  EXPECT_EQ(r.errorCode(), "payload_too_large");
  EXPECT_EQ(call("GetCliente", {"12345678909", ""}).status, 200);
}

// Without a session nothing is answered; the machine token opens the local copy's tables and
// nothing else, so a holder of it neither reads nor writes billing texts under any name.
TEST_F(Limits, SessionOrMachineTokenIsRequired) {
  HttpOptions options;
  options.token = "segredo";
  start("sqlite", options);
  const std::string path = "/KDR03020.rdmParamFatCli/GetParEmpKdr";
  for (const httplib::Headers &h : {httplib::Headers{}, httplib::Headers{{"Authorization", "Bearer errado"}},
                                    httplib::Headers{{"Authorization", "Bearer segredo2"}},
                                    httplib::Headers{{"Authorization", "segredo"}}}) {
    Reply r = postTo(port_, path, R"({"args": []})", h);
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(r.errorCode(), "unauthenticated");
  }
  Reply machine = post(path, R"({"args": []})", {{"Authorization", "Bearer segredo"}});
  EXPECT_EQ(machine.status, 403);
  EXPECT_EQ(machine.errorCode(), "forbidden");
  EXPECT_EQ(post("/KDR.rdmCache/GetTable", R"({"args": ["EMPRESA"]})", {{"Authorization", "Bearer segredo"}})
                .status,
            200);
  EXPECT_EQ(post(path, R"({"args": []})", {{"Authorization", "Bearer " + session_}}).status, 200);
  // A refused request's body must not be taken for the next request on the connection.
  httplib::Client same("127.0.0.1", port_);
  same.set_keep_alive(true);
  for (int i = 0; i < 3; ++i) {
    auto refused = same.Post(path, R"({"args": []})" + std::string(4000, ' '), "application/json");
    ASSERT_TRUE(refused) << i;
    EXPECT_EQ(refused->status, 401) << i;
  }
  httplib::Client client("127.0.0.1", port_);
  auto health = client.Get("/health");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
}

// The real binary as a child process: its stdout and its exit status.
struct Child {
  pid_t pid = -1;
  FILE *out = nullptr;

  // withErrors: stderr goes to the same pipe as stdout.
  explicit Child(std::vector<std::string> args, bool withErrors = false) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    pid = ::fork();
    if (pid == 0) {
      ::dup2(fds[1], STDOUT_FILENO);
      if (withErrors) ::dup2(fds[1], STDERR_FILENO);
      ::close(fds[0]);
      std::vector<char *> argv;
      std::string exe =
          std::string(std::getenv("KDR_BIN_DIR") ? std::getenv("KDR_BIN_DIR") : ".") + "/kdr-server";
      argv.push_back(exe.data());
      for (std::string &a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(exe.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    out = ::fdopen(fds[0], "r");
  }
  std::string line() {
    char buf[256];
    return std::fgets(buf, sizeof buf, out) ? std::string(buf) : std::string();
  }
  // Everything until the process closes its output.
  std::string all() {
    std::string text;
    for (std::string l = line(); !l.empty(); l = line()) text += l;
    return text;
  }
  int wait() {
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ~Child() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      wait();
    }
    if (out) std::fclose(out);
  }
};

TEST(ServerProcess, ServesOnAChosenPortAndRefusesABadDatabase) {
  ScratchDatabase db("sqlite");
  {
    Child server({"--db", db.url(), "--port", "0", "--seed", "demo"});
    std::string line = server.line();
    ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line;
    int port = std::stoi(line.substr(line.rfind(':') + 1));
    httplib::Client client("127.0.0.1", port);
    auto in =
        client.Post("/session", R"({"operator": "atendente", "password": "atendente"})", "application/json");
    ASSERT_TRUE(in);
    const CallEnvelope signedIn = readCallEnvelope(in->body);
    ASSERT_TRUE(signedIn.members.count("session")) << in->body;
    auto res = client.Post("/KDR03020.rdmParamFatCli/GetCliente",
                           {{"Authorization", "Bearer " + signedIn.members.at("session").str()}},
                           R"({"args": ["", "T"]})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    ::kill(server.pid, SIGTERM);
    EXPECT_EQ(server.wait(), 0);
  }
  // A schema newer than the server knows is refused.
  {
    auto store = Store::open(db.url());
    auto s = store->session();
    s->execute("INSERT INTO KDR_SCHEMA (VERSION) VALUES (?)", {store->knownSchemaVersion() + 1});
  }
  EXPECT_NE(Child({"--db", db.url(), "--port", "0"}).wait(), 0);
  EXPECT_NE(Child({"--db", "sqlite:/nonexistent-dir/kdr.db", "--port", "0"}).wait(), 0);
  EXPECT_NE(Child({"--db", "mysql://x", "--port", "0"}).wait(), 0);
  EXPECT_NE(Child({"--port", "0"}).wait(), 0);
}

// Passwords and texts cross the network only encrypted, unless the administrator says otherwise
// (the option's former name still says so); a token is no encryption.
TEST(ServerProcess, ANetworkAddressWithoutTlsNeedsTheOperatorsConsent) {
  ScratchDatabase db("sqlite");
  EXPECT_EQ(Child({"--db", db.url(), "--listen", "0.0.0.0", "--port", "0"}).wait(), 2);
  EXPECT_EQ(Child({"--db", db.url(), "--listen", "0.0.0.0", "--port", "0", "--token", "segredo"}).wait(), 2);
  for (std::vector<std::string> consent :
       {std::vector<std::string>{"--allow-plain-http"}, std::vector<std::string>{"--allow-no-token"}}) {
    std::vector<std::string> args{"--db", db.url(), "--listen", "0.0.0.0", "--port", "0"};
    args.insert(args.end(), consent.begin(), consent.end());
    Child server(args);
    EXPECT_EQ(server.line().rfind("listening on 0.0.0.0:", 0), 0u) << consent[0];
  }
}

// Each bad option ends the process at once with a status of 2 and the reason; none is read
// as something else (a port wrapped around, a server that never answers).
TEST(ServerProcess, BadOptionsEndTheProcessWithTheReason) {
  ScratchDatabase db("sqlite");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--port", "99999"}, "--port: espera um número inteiro de 0 a 65535, não \"99999\""},
      {{"--port", "80x"}, "--port: espera um número inteiro"},
      {{"--port", "-1"}, "--port: espera um número inteiro"},
      {{"--threads", "0"}, "--threads: espera um número inteiro de 1"},
      {{"--seed", "bulk:abc"}, "--seed: espera demo ou bulk:N"},
      {{"--seed", "bulk:0"}, "--seed: espera demo ou bulk:N"},
      {{"--seed", "todos"}, "--seed: espera demo ou bulk:N"},
      {{"--answer-cache", "muito"}, "--answer-cache: espera um número inteiro"},
      {{"--listen", ""}, "--listen precisa de um endereço"},
      {{"--porta", "8020"}, "opção desconhecida: --porta"},
      {{"--loops", "lots"}, "--loops: espera um número inteiro"},
      {{"--port"}, "--port precisa de um valor"},
  };
  for (const auto &[args, reason] : cases) {
    SCOPED_TRACE(args[0]);
    std::vector<std::string> all{"--db", db.url()};
    all.insert(all.end(), args.begin(), args.end());
    Child server(all, true);
    EXPECT_NE(server.all().find("kdr-server: " + reason), std::string::npos);
    EXPECT_EQ(server.wait(), 2);
  }
}

} // namespace
} // namespace kdr::server::testing
