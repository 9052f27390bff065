// The connection's resends, through a stand-in balancer that loses answers or has no server:
// a change whose answer was lost is sent again with the same key and applied once; reads are
// sent again too; the resends are bounded, and a change reported as failed and saved again keeps
// its key; a refusal of the server is not sent again.
#include <gtest/gtest.h>

#include "platform/net/netconnection.h"
#include "platform/rtl/datapacket.h"
#include "tests/support/lossy_proxy.h"
#include "tests/support/server_process.h"

namespace kdr {
namespace {

using Fate = test::LossyProxy::Fate;

class Resends : public ::testing::Test {
protected:
  void SetUp() override {
    proxy.forwardTo(server.port());
    connection.ServerName = "KDR03020.rdmParamFatCli";
    connection.ThrowException = false;
    connection.HostName = "127.0.0.1";
    connection.Port = proxy.port();
    connection.RetryDelayMilliseconds = 1;
    connection.Token = server.signIn();
    connection.Open();
  }
  // A new default text of company 04: applied twice, the second would be refused as existing.
  static Variant newText(const std::string &type) {
    DataPacket delta;
    delta.fields = {{"CDEMPRESA", FieldType::String, 2, false},
                    {"IDTPFATUEMPRESA", FieldType::String, 1, false},
                    {"DSFATUREMPRESA", FieldType::String, 400, false},
                    {"DSBOLETEMPRESA", FieldType::String, 400, false}};
    delta.rows = {
        {RowStatus::Inserted, {Variant("04"), Variant(type), Variant("Texto novo."), Variant(nullptr)}}};
    return makePacketVariant(delta);
  }
  std::size_t textsOf04(const std::string &type) {
    const Variant rows =
        TNetConnection::payloadOf(connection.Call("GetDescPadrao", {Variant("04"), Variant(type)}));
    return rows.isPacket() ? rows.packet()->rows.size() : 99;
  }

  // The server accepts the balancer's address, as every server behind one is told to.
  test::LossyProxy proxy;
  test::ServerProcess server{{"--seed", "demo", "--allow-host", "127.0.0.1:" + std::to_string(proxy.port())}};
  TNetConnection connection;
};

TEST_F(Resends, AChangeWhoseAnswerWasLostIsSentAgainWithItsKeyAndAppliedOnce) {
  proxy.plan({Fate::LoseAnswer, Fate::BadGateway, Fate::LoseAnswer});
  const Variant saved = connection.Call("SetParEmpKdr", {newText("2")});
  ASSERT_FALSE(TNetConnection::isErrorResult(saved)) << TNetConnection::errorMessage(saved);
  const std::vector<std::string> keys = proxy.keys();
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[0].size(), 32u);
  for (const std::string &k : keys) EXPECT_EQ(k, keys[0]);
  EXPECT_EQ(textsOf04("2"), 1u);

  // The next change has a key of its own.
  ASSERT_FALSE(TNetConnection::isErrorResult(connection.Call("SetParEmpKdr", {newText("3")})));
  EXPECT_NE(proxy.keys().back(), keys[0]);
}

TEST_F(Resends, ReadsAreSentAgainToo) {
  proxy.plan({Fate::LoseAnswer, Fate::BadGateway});
  const Variant read = connection.Call("GetDescPadrao", {Variant("01"), Variant("3")});
  ASSERT_FALSE(TNetConnection::isErrorResult(read)) << TNetConnection::errorMessage(read);
  EXPECT_EQ(TNetConnection::payloadOf(read).packet()->rows.size(), 1u);
}

TEST_F(Resends, AreBoundedAndAChangeSavedAgainKeepsItsKey) {
  connection.RetryCount = 2;
  proxy.plan({Fate::LoseAnswer, Fate::LoseAnswer, Fate::LoseAnswer});
  const Variant failed = connection.Call("SetParEmpKdr", {newText("2")});
  ASSERT_TRUE(TNetConnection::isErrorResult(failed));
  EXPECT_EQ(TNetConnection::errorCode(failed), "unavailable");
  EXPECT_EQ(proxy.keys().size(), 3u) << "one call and two resends";

  // The user saves again: the change did reach the database, and is answered, not refused.
  const Variant saved = connection.Call("SetParEmpKdr", {newText("2")});
  ASSERT_FALSE(TNetConnection::isErrorResult(saved)) << TNetConnection::errorMessage(saved);
  EXPECT_EQ(proxy.keys().back(), proxy.keys().front());
  EXPECT_EQ(textsOf04("2"), 1u);

  // A balancer with no server: its page is not taken for an answer.
  proxy.plan({Fate::BadGateway, Fate::BadGateway, Fate::BadGateway});
  const Variant down = connection.Call("GetDescPadrao", {Variant("01"), Variant("3")});
  EXPECT_EQ(TNetConnection::errorCode(down), "unavailable");
  EXPECT_NE(TNetConnection::errorMessage(down).find("HTTP 502"), std::string::npos)
      << TNetConnection::errorMessage(down);
}

TEST_F(Resends, ARefusalIsNotSentAgain) {
  ASSERT_FALSE(TNetConnection::isErrorResult(connection.Call("SetParEmpKdr", {newText("2")})));
  const std::size_t before = proxy.keys().size();
  const Variant refused = connection.Call("SetParEmpKdr", {newText("2")});
  EXPECT_EQ(TNetConnection::errorCode(refused), "conflict") << TNetConnection::errorMessage(refused);
  EXPECT_EQ(proxy.keys().size(), before + 1);
}

} // namespace
} // namespace kdr
