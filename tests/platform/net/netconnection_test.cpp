#include "platform/net/netconnection.h"

#include <gtest/gtest.h>

#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"
#include "tests/support/server_process.h"

namespace kdr {
namespace {

class NetConnectionTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { server_ = new test::ServerProcess({"--seed", "demo"}); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    connection.ServerName = "KDR03020.rdmParamFatCli";
    connection.ThrowException = false;
    connection.BeforeConnect = [](TNetConnection &c) {
      c.HostName = server_->host();
      c.Port = server_->port();
      c.Token = server_->signIn();
    };
    connection.Open();
  }

  static test::ServerProcess *server_;
  TNetConnection connection;
};
test::ServerProcess *NetConnectionTest::server_ = nullptr;

TEST_F(NetConnectionTest, CallAnswersThePayloadOfTheMethod) {
  const Variant result = connection.Call("GetCliente", {Variant(""), Variant("T")});
  ASSERT_FALSE(TNetConnection::isErrorResult(result)) << TNetConnection::errorMessage(result);
  const Variant payload = TNetConnection::payloadOf(result);
  ASSERT_TRUE(payload.isPacket());
  EXPECT_GE(payload.packet()->fieldIndex("NMFANTCLIE"), 0);
  EXPECT_FALSE(payload.packet()->rows.empty());
}

TEST_F(NetConnectionTest, ServerRefusalComesBackAsErrorResultOrRaises) {
  // A method the module does not have is refused by the server with a message for the user.
  const Variant refused = connection.Call("NoSuchMethod", {});
  ASSERT_TRUE(TNetConnection::isErrorResult(refused));
  EXPECT_FALSE(TNetConnection::errorMessage(refused).empty());
  EXPECT_NE(TNetConnection::errorCode(refused), "unavailable");

  connection.ThrowException = true;
  EXPECT_THROW(connection.Call("NoSuchMethod", {}), EDatabaseError);
}

TEST_F(NetConnectionTest, ByReferenceArgumentTravelsBothWays) {
  // GeraAutomParam takes the target list by reference: the answer carries the arguments back.
  DataPacket order;
  order.fields = {{"IDTPFATUCLIE", FieldType::String, 1, false},
                  {"DSFATURCLIE", FieldType::String, 400, false},
                  {"DSBOLETCLIE", FieldType::String, 400, false}};
  order.rows = {{RowStatus::Inserted, {Variant("3"), Variant("Manutenção mensal."), Variant(nullptr)}}};
  Variant::Array args{Variant("'102'"), Variant("101"), makePacketVariant(order)};
  const Variant result = connection.CallByRef("GeraAutomParam", args);
  ASSERT_FALSE(TNetConnection::isErrorResult(result)) << TNetConnection::errorMessage(result);
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[0], Variant("'102'"));
  ASSERT_TRUE(args[2].isPacket());
  EXPECT_EQ(*args[2].packet(), order);
}

// The history names the operator of the connection's session; no name travels with the call.
TEST_F(NetConnectionTest, EveryCallCarriesTheSessionOfItsOperatorToTheHistory) {
  DataPacket delta;
  delta.fields = {{"CDEMPRESA", FieldType::String, 2, false},
                  {"IDTPFATUEMPRESA", FieldType::String, 1, false},
                  {"DSFATUREMPRESA", FieldType::String, 400, false},
                  {"DSBOLETEMPRESA", FieldType::String, 400, false}};
  delta.rows = {
      {RowStatus::Inserted, {Variant("04"), Variant("2"), Variant("Licença Delta."), Variant(nullptr)}}};
  const Variant saved = connection.Call("SetParEmpKdr", {makePacketVariant(delta)});
  ASSERT_FALSE(TNetConnection::isErrorResult(saved)) << TNetConnection::errorMessage(saved);
  const Variant history =
      TNetConnection::payloadOf(connection.Call("GetHistorico", {Variant(""), Variant(""), Variant("")}));
  ASSERT_TRUE(history.isPacket());
  const DataPacket &rows = *history.packet();
  int user = rows.fieldIndex("NMUSUARIO"), method = rows.fieldIndex("NMMETODO");
  int saves = 0;
  for (const PacketRow &r : rows.rows) {
    if (!(r.values[method] == Variant("SetParEmpKdr"))) continue;
    EXPECT_EQ(r.values[user], Variant("supervisor"));
    ++saves;
  }
  EXPECT_GT(saves, 0);
}

// A call that finds its session ended asks for a new one once and is sent again with it; when
// nobody signs in, the call ends with the server's refusal.
TEST_F(NetConnectionTest, AnEndedSessionIsRenewedOnceAndTheCallSentAgain) {
  connection.CloseSession();
  int asked = 0;
  connection.OnSessionExpired = [&](TNetConnection &c) {
    ++asked;
    c.Token = server_->signIn("atendente");
    return true;
  };
  Variant result = connection.Call("GetParamFatCli", {Variant("101")});
  EXPECT_FALSE(TNetConnection::isErrorResult(result)) << TNetConnection::errorMessage(result);
  EXPECT_EQ(asked, 1);

  connection.CloseSession();
  connection.OnSessionExpired = [&](TNetConnection &) {
    ++asked;
    return false;
  };
  result = connection.Call("GetParamFatCli", {Variant("101")});
  EXPECT_EQ(TNetConnection::errorCode(result), "unauthenticated");
  EXPECT_EQ(asked, 2);
}

TEST_F(NetConnectionTest, ClosedConnectionGivesAnErrorResultNotACrash) {
  connection.Close();
  EXPECT_FALSE(connection.Connected());
  const Variant result = connection.Call("GetCliente", {Variant(""), Variant("T")});
  ASSERT_TRUE(TNetConnection::isErrorResult(result));
  EXPECT_EQ(TNetConnection::errorCode(result), "unavailable");
}

TEST(NetConnectionDown, ServerThatIsDownGivesAMessageNamingTheAddress) {
  int port = 0;
  {
    test::ServerProcess gone;
    port = gone.port();
  } // stopped: nothing listens on its port now
  TNetConnection connection;
  connection.ServerName = "KDR03020.rdmParamFatCli";
  connection.ThrowException = false;
  connection.Port = port;
  connection.RetryDelayMilliseconds = 1; // it is tried again, as any call whose answer did not come
  connection.Open();
  const Variant result = connection.Call("GetCliente", {Variant(""), Variant("T")});
  ASSERT_TRUE(TNetConnection::isErrorResult(result));
  EXPECT_EQ(TNetConnection::errorCode(result), "unavailable");
  EXPECT_NE(TNetConnection::errorMessage(result).find("127.0.0.1:" + std::to_string(port)), std::string::npos)
      << TNetConnection::errorMessage(result);

  connection.ThrowException = true;
  EXPECT_THROW(connection.Call("GetCliente", {Variant(""), Variant("T")}), EDatabaseError);
}

// A server of the test's own, for answers kdr-server never gives: a changed by-reference
// argument and a garbled body.
class StubServer {
public:
  explicit StubServer(std::string answer) : answer_(std::move(answer)) {
    server_.Post(R"(/.*)", [this](const httplib::Request &, httplib::Response &res) {
      res.set_content(answer_, "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    // Bound already: a request that comes before the loop starts waits in the backlog.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // A stop that came before the loop runs would be lost and the join would wait forever.
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~StubServer() {
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }

private:
  std::string answer_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

TEST(NetConnectionAnswers, ChangedByReferenceArgumentAndGarbledAnswer) {
  TNetConnection connection;
  connection.ServerName = "KDR03020.rdmParamFatCli";
  connection.ThrowException = false;
  {
    StubServer stub(R"({"result": null, "args": ["'101','1010'", "x"]})");
    connection.Port = stub.port();
    connection.Open();
    Variant::Array args{Variant(""), Variant("x")};
    const Variant result = connection.CallByRef("GeraAutomParam", args);
    ASSERT_FALSE(TNetConnection::isErrorResult(result));
    EXPECT_EQ(args[0], Variant("'101','1010'"));
    connection.Close();
  }
  for (const char *garbled : {"not json", R"({"resultado": 1})", R"([1, 2])"}) {
    StubServer stub(garbled);
    connection.Port = stub.port();
    connection.Open();
    const Variant result = connection.Call("GetCliente", {});
    ASSERT_TRUE(TNetConnection::isErrorResult(result)) << garbled;
    EXPECT_EQ(TNetConnection::errorCode(result), "unavailable") << garbled;
    connection.Close();
  }
}

// An answer naming a key twice could be read two ways: the connection takes neither and says why.
TEST(NetConnectionAnswers, AKeyNamedTwiceIsAClearError) {
  StubServer stub(R"({"result": {"fields": [{"name": "A", "type": "float"}],
                                 "rows": [{"status": "inserted", "values": [1.5], "values": [2.5]}]}})");
  TNetConnection connection;
  connection.ServerName = "KDR03020.rdmParamFatCli";
  connection.ThrowException = false;
  connection.Port = stub.port();
  connection.Open();
  const Variant result = connection.Call("GetParamFatCli", {Variant("107")});
  ASSERT_TRUE(TNetConnection::isErrorResult(result));
  EXPECT_NE(TNetConnection::errorMessage(result).find("a chave \"values\" se repete"), std::string::npos)
      << TNetConnection::errorMessage(result);
  connection.ThrowException = true;
  EXPECT_THROW(connection.Call("GetParamFatCli", {Variant("107")}), EDatabaseError);
}

// A stored rate comes back to the desktop as the very double the server holds, so sending it
// back as the original value matches the row.
TEST(NetConnectionAnswers, NumbersReadBackExactly) {
  StubServer stub(R"({"result": {"fields": [{"name": "VRPERCAJUSTEINV", "type": "float"}],
                                 "rows": [[13.387664401253275], [0.30000000000000004]]}})");
  TNetConnection connection;
  connection.ServerName = "KDR03020.rdmParamFatCli";
  connection.ThrowException = false;
  connection.Port = stub.port();
  connection.Open();
  const Variant payload = TNetConnection::payloadOf(connection.Call("GetParamFatCli", {Variant("107")}));
  ASSERT_TRUE(payload.isPacket());
  EXPECT_EQ(payload.packet()->rows[0].values[0].asFloat(), 13.387664401253275);
  EXPECT_EQ(payload.packet()->rows[1].values[0].asFloat(), 0.1 + 0.2);
}

TEST(NetConnectionEnvelope, OnlyTrueWithPayloadIsSuccess) {
  EXPECT_FALSE(TNetConnection::isErrorResult(TNetConnection::okResult(Variant(nullptr))));
  EXPECT_TRUE(TNetConnection::isErrorResult(TNetConnection::errorResult("falhou", "conflict")));
  EXPECT_TRUE(TNetConnection::isErrorResult(Variant(nullptr)));
  EXPECT_TRUE(TNetConnection::isErrorResult(Variant(Variant::Array{Variant(1), Variant("x")})));
  EXPECT_EQ(TNetConnection::errorMessage(TNetConnection::errorResult("falhou", "conflict")), "falhou");
  EXPECT_EQ(TNetConnection::errorCode(TNetConnection::errorResult("falhou", "conflict")), "conflict");
}

} // namespace
} // namespace kdr
