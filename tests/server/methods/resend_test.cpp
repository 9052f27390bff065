// Writes sent again with their Idempotency-Key, as a desktop does when an answer is lost: applied
// once and answered with the first answer, on both engines; a resend meeting the first attempt
// still at work waits for it; a key given to another request is refused; expired keys go.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/methods/param_fat_cli.h"
#include "tests/server/held_work.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

constexpr const char *module = "KDR03020.rdmParamFatCli";

std::string bodyOf(Variant::Array args) {
  std::string body = "{\"args\":";
  appendVariantJson(body, Variant(std::move(args)));
  return body + '}';
}

class Resend : public ServerTest {
protected:
  Reply send(const std::string &method, const std::string &body, const std::string &key) {
    return post(std::string("/") + module + "/" + method, body, {{"Idempotency-Key", key}});
  }
  // The request sent and its connection closed at once: the server works on, its answer is lost.
  void sendAndHangUp(const std::string &method, const std::string &body, const std::string &key) {
    const std::string request = "POST /" + std::string(module) + "/" + method +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                                "Authorization: Bearer " +
                                session_ + "\r\nIdempotency-Key: " + key +
                                "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port_));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
    ASSERT_EQ(::send(fd, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
    ::close(fd);
  }
  // Waits (bounded) until the write of a request whose answer was lost is seen.
  void waitUntil(const std::function<bool()> &seen) {
    for (int i = 0; i < 5000 && !seen(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::int64_t count(const std::string &sql) {
    auto s = store_->session();
    return s->query(sql).at(0).at(0).asInteger();
  }
  static std::string newRowFor104() {
    DeltaBuilder d(paramFatCliFields());
    d.insert(paramRow("104", "1", "01", "Fatura nova."));
    return bodyOf({d.variant()});
  }
  static std::string copyTo1010And103() {
    DeltaBuilder o({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                    FieldDef{"DSFATURCLIE", FieldType::String, 400},
                    FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
    o.insert({"1", "Customização copiada.", "Boleto copiado."});
    return bodyOf({"'1010','103'", "102", o.variant()});
  }
};

TEST_P(Resend, AWriteSentAgainIsAppliedOnceAndAnsweredAsTheFirstTime) {
  // An insertion and a modification: applied twice, either would be refused as a conflict.
  const std::string insert = newRowFor104();
  Reply first = send("SetParamFatCli", insert, "desktop-1/change-1");
  ASSERT_EQ(first.status, 200) << first.text;
  Reply again = send("SetParamFatCli", insert, "desktop-1/change-1");
  EXPECT_EQ(again.status, 200) << again.text;
  EXPECT_EQ(again.text, first.text);
  EXPECT_EQ(paramsOf("104").rows.size(), 1u);

  DeltaBuilder change(paramFatCliFields());
  change.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", "Texto alterado."}});
  const std::string modify = bodyOf({change.variant()});
  for (int i = 0; i < 3; ++i) {
    Reply r = send("SetParamFatCli", modify, "desktop-1/change-2");
    EXPECT_EQ(r.status, 200) << r.text;
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM KDR_HISTORICO WHERE CDCLIENTE IN ('101', '104')"), 2)
      << "one record per write, none for the resends";
  // Without a key the same modification, sent again, is what it always was: a conflict.
  Reply unkeyed = call("SetParamFatCli", {change.variant()});
  EXPECT_EQ(unkeyed.status, 409) << unkeyed.text;
}

TEST_P(Resend, AWriteWhoseAnswerWasLostIsAppliedOnceWhenSentAgain) {
  const std::string insert = newRowFor104();
  sendAndHangUp("SetParamFatCli", insert, "lost-answer");
  waitUntil([&] { return !paramsOf("104").rows.empty(); });
  Reply resent = send("SetParamFatCli", insert, "lost-answer");
  EXPECT_EQ(resent.status, 200) << resent.text;
  EXPECT_EQ(resent.text, R"({"result":null})");
  EXPECT_EQ(paramsOf("104").rows.size(), 1u);
  EXPECT_EQ(count("SELECT COUNT(DISTINCT NRPEDIDO) FROM KDR_HISTORICO WHERE CDCLIENTE = '104'"), 1);
}

TEST_P(Resend, ABulkCopySentAgainIsOneBatch) {
  const std::string copy = copyTo1010And103();
  sendAndHangUp("GeraAutomParam", copy, "copy-1");
  waitUntil([&] { return count("SELECT COUNT(*) FROM KDR_LOTE") > 0; });
  Reply resent = send("GeraAutomParam", copy, "copy-1");
  ASSERT_EQ(resent.status, 200) << resent.text;
  Reply again = send("GeraAutomParam", copy, "copy-1");
  EXPECT_EQ(again.text, resent.text);
  EXPECT_EQ(resent.packet().rows.at(0).values, (std::vector<Variant>{std::int64_t{2}, std::int64_t{3}}));
  EXPECT_EQ(count("SELECT COUNT(*) FROM KDR_LOTE"), 1);
  // The same order under a new key is a new copy, as the administrator asked for it twice.
  ASSERT_EQ(send("GeraAutomParam", copy, "copy-2").status, 200);
  EXPECT_EQ(count("SELECT COUNT(*) FROM KDR_LOTE"), 2);
}

TEST_P(Resend, AKeyIsForOneRequestOnly) {
  ASSERT_EQ(send("SetParamFatCli", newRowFor104(), "k").status, 200);
  DeltaBuilder other(paramFatCliFields());
  other.insert(paramRow("104", "2", "01"));
  Reply refused = send("SetParamFatCli", bodyOf({other.variant()}), "k");
  EXPECT_EQ(refused.status, 400) << refused.text;
  EXPECT_NE(refused.message().find("já foi usada por outro pedido"), std::string::npos) << refused.message();
  EXPECT_EQ(paramsOf("104").rows.size(), 1u);

  Reply malformed = send("SetParamFatCli", bodyOf({other.variant()}), std::string(101, 'x'));
  EXPECT_EQ(malformed.status, 400) << malformed.text;
  // A refused write records no key: sent again once its cause is mended, it is applied.
  DeltaBuilder unknownCompany(paramFatCliFields());
  unknownCompany.insert(paramRow("104", "2", "99"));
  EXPECT_EQ(send("SetParamFatCli", bodyOf({unknownCompany.variant()}), "refused").status, 400);
  EXPECT_EQ(count("SELECT COUNT(*) FROM KDR_PEDIDO WHERE CHAVE = 'refused'"), 0);
}

TEST_P(Resend, ExpiredKeysAreRemoved) {
  stop();
  auto now = std::make_shared<std::atomic<std::int64_t>>(1'000'000'000);
  resends_.keep = std::chrono::hours(24);
  resends_.now = [now] { return std::chrono::system_clock::time_point(std::chrono::seconds(now->load())); };
  start(GetParam(), HttpOptions{});
  const std::string insert = newRowFor104();
  ASSERT_EQ(send("SetParamFatCli", insert, "old").status, 200);
  *now += 23 * 3600;
  ASSERT_EQ(send("GeraAutomParam", copyTo1010And103(), "younger").status, 200);
  EXPECT_EQ(count("SELECT COUNT(*) FROM KDR_PEDIDO"), 2);
  *now += 2 * 3600;
  DeltaBuilder d(paramFatCliFields());
  d.insert(paramRow("104", "2", "01"));
  ASSERT_EQ(send("SetParamFatCli", bodyOf({d.variant()}), "new").status, 200);
  auto s = store_->session();
  Rows kept = s->query("SELECT CHAVE FROM KDR_PEDIDO ORDER BY CHAVE");
  EXPECT_EQ(kept, (Rows{{"new"}, {"younger"}}));
}

INSTANTIATE_TEST_SUITE_P(Engines, Resend, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

// On PostgreSQL the resend may reach another server while the first attempt is still being
// applied: it waits for that attempt's commit, then answers its result.
class ResendMeetsFirstAttempt : public Resend {
protected:
  void SetUp() override { start("postgresql", HttpOptions{}); }
};

TEST_F(ResendMeetsFirstAttempt, WaitsForItAndAnswersItsResult) {
  DeltaBuilder d(paramFatCliFields());
  d.insert(paramRow("104", "1", "01", "Fatura nova."));
  const std::string body = bodyOf({d.variant()});
  const std::string fingerprint =
      ResendGuard::fingerprint("supervisor", std::string(module) + "/SetParamFatCli", body);
  HeldWork first(db_->url(), [&](Session &s) {
    ResendGuard().once(s, "k", fingerprint, [&] {
      rdmParamFatCli::SetParamFatCli(s, d.packet, Author{"supervisor", 1, "SetParamFatCli"});
      return Answer{200, R"({"result":null})"};
    });
  });
  Reply resent;
  Attempt resend([&] { resent = send("SetParamFatCli", body, "k"); });
  EXPECT_TRUE(resend.waitsFor(db_->url()));
  first.release();
  resend.finish();
  EXPECT_EQ(first.outcome(), "");
  EXPECT_EQ(resent.status, 200) << resent.text;
  EXPECT_EQ(paramsOf("104").rows.size(), 1u);
}

// A first attempt cut off before its commit (its server died) leaves the key free: the resend,
// waiting for it meanwhile, applies the write.
TEST_F(ResendMeetsFirstAttempt, AppliesTheWriteWhenTheFirstAttemptRolledBack) {
  DeltaBuilder d(paramFatCliFields());
  d.insert(paramRow("104", "1", "01", "Fatura nova."));
  const std::string body = bodyOf({d.variant()});
  const std::string fingerprint =
      ResendGuard::fingerprint("supervisor", std::string(module) + "/SetParamFatCli", body);
  HeldWork first(
      db_->url(),
      [&](Session &s) {
        ResendGuard().once(s, "k", fingerprint, [&]() -> Answer {
          rdmParamFatCli::SetParamFatCli(s, d.packet, Author{"supervisor", 1, "SetParamFatCli"});
          throw EngineError("the server died", EngineError::Kind::Unavailable);
        });
      },
      [](std::string_view sql) { return sql == "ROLLBACK"; });
  Reply resent;
  Attempt resend([&] { resent = send("SetParamFatCli", body, "k"); });
  EXPECT_TRUE(resend.waitsFor(db_->url()));
  first.release();
  resend.finish();
  EXPECT_NE(first.outcome(), "");
  EXPECT_EQ(resent.status, 200) << resent.text;
  EXPECT_EQ(paramsOf("104").rows.size(), 1u);
}

} // namespace
} // namespace kdr::server::testing
