// The connection to a server that speaks HTTPS: a round trip when the server's certificate comes
// from the authority the desktop trusts and names the address it dialled; a refusal naming the
// certificate otherwise, and no plain HTTP on that port.
#include <gtest/gtest.h>

#include "platform/net/netconnection.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"
#include "tests/support/certificate.h"
#include "tests/support/server_process.h"

namespace kdr {
namespace {

using test::Certificate;

class Tls : public ::testing::Test {
protected:
  test::TempDir dir;
  Certificate ours{dir, "ours", "IP:127.0.0.1", "127.0.0.1"};
  test::ServerProcess server{{"--seed", "demo", "--tls-cert", ours.cert, "--tls-key", ours.key}};

  void point(TNetConnection &c, const std::string &caFile) {
    c.ServerName = "KDR03020.rdmParamFatCli";
    c.HostName = server.host();
    c.Port = server.port();
    c.UseTls = true;
    c.CaFile = caFile;
    c.ThrowException = false;
  }
};

TEST_F(Tls, ARoundTripWithTheTrustedCertificate) {
  TNetConnection c;
  point(c, ours.cert);
  c.Token = c.OpenSession("atendente", "atendente").key;
  const Variant result = c.Call("GetParamFatCli", {Variant("101")});
  ASSERT_FALSE(TNetConnection::isErrorResult(result)) << TNetConnection::errorMessage(result);
  EXPECT_EQ(TNetConnection::payloadOf(result).packet()->rows.size(), 3u);
}

TEST_F(Tls, ACertificateOfAnotherAuthorityOrNameIsRefused) {
  Certificate stranger(dir, "stranger", "IP:127.0.0.1", "127.0.0.1");
  Certificate elsewhere(dir, "elsewhere", "DNS:kdr.example", "kdr.example");
  {
    TNetConnection c;
    point(c, stranger.cert);
    try {
      c.OpenSession("atendente", "atendente");
      FAIL() << "signed in through a certificate nobody trusts";
    } catch (const EDatabaseError &e) {
      EXPECT_NE(e.Message().find("certificado do servidor foi recusado"), std::string::npos) << e.Message();
    }
  }
  // Trusted, but made out for another name than the address dialled.
  test::ServerProcess named{{"--seed", "demo", "--tls-cert", elsewhere.cert, "--tls-key", elsewhere.key}};
  TNetConnection c;
  point(c, elsewhere.cert);
  c.Port = named.port();
  EXPECT_THROW(c.OpenSession("atendente", "atendente"), EDatabaseError);
  // Plain HTTP to the TLS port gets no answer.
  TNetConnection plain;
  point(plain, "");
  plain.UseTls = false;
  plain.Open();
  const Variant result = plain.Call("GetParamFatCli", {Variant("101")});
  EXPECT_EQ(TNetConnection::errorCode(result), "unavailable");
}

} // namespace
} // namespace kdr
