// Operators sign in: who may do what by their groups' authorisations, the author of every write
// taken from the session, sessions that end, and guessing slowed down.
#include <thread>

#include "server/auth/password.h"
#include "server/auth/sessions.h"
#include "server/auth/sign_in_request.h"
#include "server/auth/throttle.h"
#include "server/history/history.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class SignIn : public ServerTest {
protected:
  Reply as(const std::string &operatorCode, const std::string &method, Variant::Array args) {
    return callServer(port_, method, std::move(args), "KDR03020.rdmParamFatCli", keyOf(operatorCode), user_);
  }
  const std::string &keyOf(const std::string &operatorCode) {
    auto &key = keys_[operatorCode];
    if (key.empty()) key = signIn(operatorCode, operatorCode);
    return key;
  }
  Reply signInReply(const std::string &operatorCode, const std::string &password) {
    return post("/session", R"({"operator": ")" + operatorCode + R"(", "password": ")" + password + R"("})");
  }
  std::vector<std::string> historyAuthors() {
    std::vector<std::string> authors;
    for (const auto &e : readHistory(*store_->session(), HistoryFilter{}))
      authors.push_back(e.user + " " + e.method);
    return authors;
  }
  // The default texts as GetParEmpKdr answers them (its first packet).
  std::vector<std::vector<Variant>> defaults() {
    std::vector<std::vector<Variant>> out;
    const Reply reply = call("GetParEmpKdr", {});
    const Variant result = reply.result();
    for (const PacketRow &row : result.array().at(0).packet()->rows) out.push_back(row.values);
    return out;
  }
  std::string defaultText(const std::string &company, const std::string &type) {
    for (const auto &row : defaults())
      if (row[0] == Variant(company) && row[1] == Variant(type)) return row[2].asString();
    return "(none)";
  }
  static Variant copyOrder() {
    DeltaBuilder order({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                        FieldDef{"DSFATURCLIE", FieldType::String, 400},
                        FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
    order.insert({"3", "Manutenção copiada.", nullptr});
    return order.variant();
  }
  DeltaBuilder defaultTextChange(const std::string &text) {
    DeltaBuilder change(empresaKdrFields());
    for (const auto &row : defaults())
      if (row[0] == Variant("01") && row[1] == Variant("3")) change.modify(row, {{"DSFATUREMPRESA", text}});
    return change;
  }
  std::map<std::string, std::string> keys_;
};

// The clerk reads, changes a client and copies to a list; the copy to every client, the default
// texts and the history are the supervisor's. Each refusal names what is missing and writes nothing.
TEST_P(SignIn, EachMethodNeedsItsAuthorisationAndARefusalWritesNothing) {
  const auto before = paramsOf("102");
  Reply every = as("atendente", "GeraAutomParam", {"T", "101", copyOrder()});
  EXPECT_EQ(every.status, 403);
  EXPECT_EQ(every.errorCode(), "forbidden");
  EXPECT_NE(every.message().find("todos os clientes (autorização FPCT)"), std::string::npos)
      << every.message();
  EXPECT_NE(every.message().find("Nada foi gravado"), std::string::npos);
  Reply preview = as("atendente", "PreviewGeraAutomParam", {"T", "101", copyOrder()});
  EXPECT_EQ(preview.status, 403);
  Reply defaults = as("atendente", "SetParEmpKdr", {defaultTextChange("Texto do atendente.").variant()});
  EXPECT_EQ(defaults.status, 403);
  EXPECT_NE(defaults.message().find("descrições padrão (autorização FPDP)"), std::string::npos);
  Reply history = as("atendente", "GetHistorico", {"", "", ""});
  EXPECT_EQ(history.status, 403);
  EXPECT_NE(history.message().find("FPHI"), std::string::npos);
  EXPECT_EQ(paramsOf("102"), before);
  EXPECT_EQ(defaultText("01", "3"), "Manutenção mensal do sistema Alfa.");
  EXPECT_TRUE(historyAuthors().empty());

  EXPECT_EQ(as("atendente", "GeraAutomParam", {"'102'", "101", copyOrder()}).status, 200);
  EXPECT_EQ(as("atendente", "GetParamFatCli", {"101"}).status, 200);
  EXPECT_EQ(as("supervisor", "SetParEmpKdr", {defaultTextChange("Texto do supervisor.").variant()}).status,
            200);
  EXPECT_EQ(defaultText("01", "3"), "Texto do supervisor.");
  EXPECT_EQ(as("supervisor", "GeraAutomParam", {"T", "101", copyOrder()}).status, 200);
  EXPECT_EQ(as("supervisor", "GetHistorico", {"", "", ""}).status, 200);

  // An operator whose groups hold none of the codes reads nothing at all.
  setOperatorPassword(*store_->session(), "000000000003", "vendas");
  const std::string seller = signIn("000000000003", "vendas");
  Reply read = callServer(port_, "GetParamFatCli", {"101"}, "KDR03020.rdmParamFatCli", seller);
  EXPECT_EQ(read.status, 403);
  EXPECT_NE(read.message().find("FPCO"), std::string::npos);
}

// Whatever name the request claims, every write path records the session's operator.
TEST_P(SignIn, TheAuthorIsTheSignedInOperatorNeverTheClaimedName) {
  user_ = "admin";
  DeltaBuilder insert(paramFatCliFields());
  insert.insert(paramRow("104", "3", "01"));
  ASSERT_EQ(as("atendente", "SetParamFatCli", {insert.variant()}).status, 200);
  ASSERT_EQ(as("atendente", "GeraAutomParam", {"'103'", "101", copyOrder()}).status, 200);
  ASSERT_EQ(as("supervisor", "SetParEmpKdr", {defaultTextChange("Outro texto.").variant()}).status, 200);
  std::set<std::string> authors;
  for (const std::string &a : historyAuthors()) authors.insert(a);
  EXPECT_EQ(authors, (std::set<std::string>{"atendente GeraAutomParam", "atendente SetParamFatCli",
                                            "supervisor SetParEmpKdr"}));
  for (const BatchInfo &b : listBatches(*store_->session())) EXPECT_EQ(b.user, "atendente");
}

TEST_P(SignIn, EndedExpiredAndUnknownSessionsAreRefused) {
  const std::string key = signIn("atendente", "atendente");
  auto status = [&](const std::string &bearer) {
    return callServer(port_, "GetParamFatCli", {"101"}, "KDR03020.rdmParamFatCli", bearer).status;
  };
  EXPECT_EQ(status(key), 200);
  EXPECT_EQ(status(""), 401);
  EXPECT_EQ(status(key + "x"), 401);
  // Expired: as the clock would leave it.
  store_->session()->execute("UPDATE KDR_SESSAO SET DTEXPIRA = ? WHERE DSHASHCHAVE = ?",
                             {"2000-01-01 00:00:00.000", sessionKeyHash(key)});
  Reply expired = callServer(port_, "GetParamFatCli", {"101"}, "KDR03020.rdmParamFatCli", key);
  EXPECT_EQ(expired.status, 401);
  EXPECT_NE(expired.message().find("expirou"), std::string::npos);
  // Signed out.
  const std::string other = signIn("atendente", "atendente");
  ASSERT_EQ(status(other), 200);
  EXPECT_EQ(post("/session", "", {}).status, 400); // a sign-in without a body is no sign-out
  httplib::Client client("127.0.0.1", port_);
  ASSERT_EQ(client.Delete("/session", {{"Authorization", "Bearer " + other}})->status, 200);
  EXPECT_EQ(status(other), 401);
  // The database keeps hashes, never the keys.
  for (const Row &r : store_->session()->query("SELECT DSHASHCHAVE FROM KDR_SESSAO"))
    EXPECT_NE(r[0].str(), session_);
}

// A server keeps what it read about a session; a change made anywhere else (another server, an
// administrator's command, hand-written SQL) counts from the next request all the same.
TEST_P(SignIn, ChangesToAccessMadeOutsideTheServerCountFromTheNextRequest) {
  auto history = [&] { return as("atendente", "GetHistorico", {"", "", ""}).status; };
  EXPECT_EQ(history(), 403);
  EXPECT_EQ(history(), 403); // now kept
  store_->session()->execute("INSERT INTO AUTGRUPOP (CDGRUPOPER, IDAUTGRUPOP) VALUES ('10', 'FPHI')");
  EXPECT_EQ(history(), 200);
  store_->session()->execute("DELETE FROM AUTGRUPOP WHERE CDGRUPOPER = '10' AND IDAUTGRUPOP = 'FPHI'");
  EXPECT_EQ(history(), 403);
  store_->session()->execute("DELETE FROM OPERGRUPOP WHERE CDOPERADOR = 'atendente'");
  EXPECT_EQ(as("atendente", "GetParamFatCli", {"101"}).status, 403);
  // Signed out by another server.
  const std::string key = signIn("supervisor", "supervisor");
  auto read = [&] {
    return callServer(port_, "GetParamFatCli", {"101"}, "KDR03020.rdmParamFatCli", key).status;
  };
  EXPECT_EQ(read(), 200);
  store_->session()->execute("DELETE FROM KDR_SESSAO WHERE DSHASHCHAVE = ?", {sessionKeyHash(key)});
  EXPECT_EQ(read(), 401);
}

// A kept session still ends when its time is up.
TEST_P(SignIn, AKeptSessionEndsOnTime) {
  SessionBook book(*store_, std::chrono::seconds(1));
  const SignedIn in = book.signIn("atendente", "atendente", "127.0.0.1");
  ASSERT_TRUE(book.resolve(in.key));
  ASSERT_TRUE(book.resolve(in.key));
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_FALSE(book.resolve(in.key));
}

// Wrong passwords are refused with one message whatever was wrong; after a few, the operator and
// the address must wait, even with the right password.
TEST_P(SignIn, WrongPasswordsAreRefusedAndThenSlowedDown) {
  for (const auto &[code, password] : std::vector<std::pair<std::string, std::string>>{
           {"atendente", "errada"}, {"ninguem", "x"}, {"000000000001", "sem-senha"}}) {
    Reply r = signInReply(code, password);
    EXPECT_EQ(r.status, 401) << code;
    EXPECT_EQ(r.message(), "Operador ou senha inválidos.") << code;
  }
  Reply fourth = signInReply("atendente", "errada");
  EXPECT_EQ(fourth.status, 401); // the address's fourth failure: from now on it waits
  for (const std::string code : {"atendente", "supervisor"}) {
    Reply r = signInReply(code, code);
    EXPECT_EQ(r.status, 429) << code;
    EXPECT_EQ(r.errorCode(), "too_many_attempts");
    EXPECT_NE(r.message().find("Aguarde"), std::string::npos) << r.message();
  }
}

TEST_P(SignIn, MalformedSignInsAreRefusedAsSuch) {
  for (const std::string &body :
       {std::string("não é json"), std::string(R"(["atendente", "atendente"])"),
        std::string(R"({"operator": "atendente"})"), std::string(R"({"operator": 7, "password": "x"})"),
        std::string(R"({"operator": "atendente", "operator": "supervisor", "password": "supervisor"})"),
        std::string(R"({"operator": "a\u0000b", "password": "x"})"),
        std::string(R"({"operator": "1234567890123", "password": "x"})"),
        std::string(R"({"operator": "atendente", "password": "atendente", "extra": 1})")}) {
    Reply r = post("/session", body);
    EXPECT_EQ(r.status, 400) << body;
    EXPECT_EQ(r.errorCode(), "invalid_argument") << body;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, SignIn, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

TEST(SignInThrottle, WaitsDoubleAfterTheFreeFailuresAndASuccessForgets) {
  SignInThrottle throttle;
  const auto t0 = SignInThrottle::Clock::time_point{} + std::chrono::hours(1);
  for (int i = 0; i < SignInThrottle::freeFailures; ++i) throttle.failed("k", t0);
  EXPECT_EQ(throttle.waitFor("k", t0).count(), 0);
  throttle.failed("k", t0);
  EXPECT_EQ(throttle.waitFor("k", t0).count(), 1);
  throttle.failed("k", t0);
  EXPECT_EQ(throttle.waitFor("k", t0).count(), 2);
  for (int i = 0; i < 30; ++i) throttle.failed("k", t0);
  EXPECT_EQ(throttle.waitFor("k", t0), SignInThrottle::longestWait);
  EXPECT_EQ(throttle.waitFor("k", t0 + SignInThrottle::longestWait).count(), 0);
  EXPECT_EQ(throttle.waitFor("other", t0).count(), 0);
  throttle.succeeded("k");
  EXPECT_EQ(throttle.waitFor("k", t0).count(), 0);
}

TEST(Passwords, AHashChecksItsPasswordOnlyAndNeverHoldsIt) {
  const std::string hash = hashPassword("correta");
  EXPECT_EQ(hash.find("correta"), std::string::npos);
  EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u);
  EXPECT_TRUE(passwordMatches(hash, "correta"));
  EXPECT_FALSE(passwordMatches(hash, "Correta"));
  EXPECT_FALSE(passwordMatches("not a hash", "correta"));
  EXPECT_NE(hashPassword("correta"), hash) << "each hash has its own salt";
  // The product's cost is never the test-only one.
  EXPECT_FALSE(PasswordCost::interactive().testOnly());
}

} // namespace
} // namespace kdr::server::testing
