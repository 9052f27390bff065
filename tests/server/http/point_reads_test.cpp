// Point reads run on workers of their own: never held up by a long read the readers are busy
// with, and the same bytes and access checks as when the connection's event loop answers them. A
// point read whose answer the cache keeps is answered by the loop.
#include <condition_variable>
#include <future>
#include <mutex>

#include "tests/server/hooked_session.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

constexpr const char *module = "/KDR03020.rdmParamFatCli/";

// One loop, one reader and one point reader, so that a read held on the reader would hold up
// every other read sent to the readers, and a call that stalled the loop would stall every
// connection.
HttpOptions narrow(bool pointReadsOnLoop) {
  HttpOptions o;
  o.token = "token-de-maquina-com-pelo-menos-32-caracteres";
  o.loops = 1;
  o.readers = 1;
  o.pointReaders = 1;
  o.pointReadsOnLoop = pointReadsOnLoop;
  return o;
}

class PointReads : public ServerTest {
protected:
  void SetUp() override {
    // The read whose query holds_ names waits at it while the test holds it: by default the
    // default texts' whole-table read (GetParEmpKdr).
    decorate_ = [this](std::unique_ptr<Session> inner) -> std::unique_ptr<Session> {
      return std::make_unique<HookedSession>(std::move(inner), [this](std::string_view sql) {
        std::unique_lock lock(mutex_);
        if (!holding_ || sql.find(holds_) == std::string_view::npos) return HookedSession::Fate::Run;
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !holding_; });
        return HookedSession::Fate::Run;
      });
    };
    start(GetParam(), narrow(false));
    if (IsSkipped()) return;
    holding_ = true; // from here on; no request runs yet
    // A second front on the same dispatcher that answers point reads on its loop.
    onLoop_ = std::make_unique<HttpFront>(*dispatcher_, narrow(true));
    onLoopPort_ = onLoop_->bind();
    onLoopThread_ = std::thread([this] { onLoop_->run(); });
  }
  void TearDown() override {
    letGo();
    if (onLoop_) onLoop_->stop();
    if (onLoopThread_.joinable()) onLoopThread_.join();
    onLoop_.reset();
    ServerTest::TearDown();
  }

  void letGo() {
    std::lock_guard lock(mutex_);
    holding_ = false;
    changed_.notify_all();
  }
  bool waitUntilHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return held_; });
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = false, held_ = false;
  std::string holds_ = "FROM PAREMPKDR ORDER BY";
  std::unique_ptr<HttpFront> onLoop_;
  std::thread onLoopThread_;
  int onLoopPort_ = 0;
};

// Every point read, found and not found, with bad arguments, and as every kind of caller (signed
// in, a clerk, an operator without authorisations, nobody, an ended session, the machine token):
// status and body byte for byte as the loop gives them.
TEST_P(PointReads, TheLoopAnswersByteForByteAsThePointReadersDo) {
  setOperatorPassword(*store_->session(), "000000000003", "vendas");
  const std::vector<std::pair<std::string, std::string>> callers{
      {"supervisor", "Bearer " + session_},
      {"clerk", "Bearer " + signIn("atendente", "atendente")},
      {"without authorisations", "Bearer " + signIn("000000000003", "vendas")},
      {"nobody", ""},
      {"an unknown session", "Bearer chave-que-nenhuma-sessao-tem"},
      {"the machine token", "Bearer " + token_}};
  const std::vector<std::pair<std::string, std::string>> calls{
      {"GetCliente", R"({"args":["11.222.333/0001-81",""]})"},
      {"GetCliente", R"({"args":["33444555000163",null]})"},
      {"GetCliente", R"({"args":["99999999999",""]})"},
      {"GetCliente", R"({"args":["",""]})"},
      {"GetCliente", R"({"args":["11222333000181"]})"},
      {"GetCliente", R"({"args":["11222333000181",7]})"},
      {"GetParamFatCli", R"({"args":["101"]})"},
      {"GetParamFatCli", R"({"args":["999"]})"},
      {"GetParamFatCli", R"({"args":[{"fields":[],"rows":[]}]})"},
      {"GetParamFatCli", R"({"args":["101")"},
      {"GetDescPadrao", R"({"args":["01","3"]})"},
      {"GetDescPadrao", R"({"args":["01","1"]})"},
      {"GetTipoDeServico", R"({"args":["010","","107"]})"},
      {"GetTipoDeServico", R"({"args":["","T","101"]})"},
      {"PesquisaCliente", R"({"args":["","","3"]})"},
      {"PesquisaCliente", R"({"args":[null,"103","100"]})"},
      {"PesquisaCliente", R"({"args":["","","0"]})"}};
  int answered = 0;
  for (const auto &[who, authorization] : callers) {
    httplib::Headers headers;
    if (!authorization.empty()) headers.emplace("Authorization", authorization);
    for (const auto &[method, body] : calls) {
      SCOPED_TRACE(who + ": " + method + " " + body);
      const Reply onWorker = postTo(port_, module + method, body, headers);
      const Reply onLoop = postTo(onLoopPort_, module + method, body, headers);
      EXPECT_EQ(onLoop.status, onWorker.status);
      EXPECT_EQ(onLoop.text, onWorker.text);
      answered += onLoop.status == 200;
    }
  }
  // The comparison covers answers with rows as well as refusals: the supervisor and the clerk
  // read, the others are refused.
  EXPECT_EQ(answered, 2 * 12);
  EXPECT_EQ(postTo(port_, std::string(module) + "GetParamFatCli", R"({"args":["101"]})",
                   {{"Authorization", "Bearer " + session_}})
                .packet()
                .rows.size(),
            paramsOf("101").rows.size());
  EXPECT_FALSE(paramsOf("101").rows.empty());
}

// A whole-table read holds the only reader; the point reads of another connection are answered
// meanwhile by the point reader, and the long read ends well after.
TEST_P(PointReads, ALongReadOnTheReadersHoldsUpNoPointRead) {
  auto longRead = std::async(std::launch::async, [this] { return call("GetParEmpKdr", {}); });
  ASSERT_TRUE(waitUntilHeld()) << "the long read never reached its query";

  auto pointReads = std::async(std::launch::async, [this] {
    return std::vector<Reply>{call("GetParamFatCli", {"101"}), call("GetCliente", {"11222333000181", ""}),
                              call("GetDescPadrao", {"01", "3"}), call("GetTipoDeServico", {"", "T", "101"}),
                              call("PesquisaCliente", {"", "", "5"})};
  });
  // Bounded only so that a point read stuck behind the long one fails the test instead of hanging it.
  const bool answered = pointReads.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  const bool longStillHeld = longRead.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
  letGo();
  ASSERT_TRUE(answered) << "a point read waited for the long read on the readers";
  EXPECT_TRUE(longStillHeld);
  for (const Reply &r : pointReads.get()) {
    EXPECT_EQ(r.status, 200) << r.text;
    EXPECT_FALSE(r.packet().rows.empty()) << r.text;
  }
  const Reply whole = longRead.get();
  EXPECT_EQ(whole.status, 200) << whole.text;
}

// With the answer cache: a kept answer is given by the loop, so a point read held on the only
// point reader holds up no call whose answer is kept, while a point read without a kept answer
// still waits for the point reader.
TEST_P(PointReads, AKeptAnswerIsGivenAtOnceWhileThePointReaderIsBusy) {
  if (!GetParam().ends_with("_cached")) GTEST_SKIP() << "only with the answer cache";
  const Reply first = call("GetParamFatCli", {"101"});
  ASSERT_EQ(first.status, 200) << first.text;
  {
    std::lock_guard lock(mutex_);
    holds_ = "FROM PAREMPKDR WHERE"; // GetDescPadrao's point read
  }
  auto heldRead = std::async(std::launch::async, [this] { return call("GetDescPadrao", {"01", "3"}); });
  ASSERT_TRUE(waitUntilHeld()) << "the point read never reached its query";

  auto kept = std::async(std::launch::async, [this] { return call("GetParamFatCli", {"101"}); });
  // Bounded only so that a kept answer stuck behind the held point read fails the test.
  const bool answered = kept.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  // Not kept: GetCliente waits for the point reader like any point read.
  auto notKept = std::async(std::launch::async, [this] {
    return call("GetCliente", {"11222333000181", ""});
  });
  const bool notKeptWaited = notKept.wait_for(std::chrono::milliseconds(300)) != std::future_status::ready;
  letGo();
  ASSERT_TRUE(answered) << "a kept answer waited for the point reader";
  EXPECT_EQ(kept.get().text, first.text);
  EXPECT_TRUE(notKeptWaited) << "a point read without a kept answer did not go to the point reader";
  EXPECT_EQ(notKept.get().status, 200);
  EXPECT_EQ(heldRead.get().status, 200);
}

INSTANTIATE_TEST_SUITE_P(Engines, PointReads, ::testing::Values("sqlite", "sqlite_cached", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
