// A client is found by the digits of its registration number however the number was typed,
// whoever wrote it, and in a database that held clients before the digits were kept.
#include "platform/data/packet_reader.h"
#include "server/methods/param_fat_cli.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class ClientLookup : public ::testing::TestWithParam<std::string> {};

TEST_P(ClientLookup, DigitsFollowEveryWriteAndTheMigrationFillsOldRows) {
  ScratchDatabase db(GetParam());
  if (!db.available()) GTEST_SKIP() << "PostgreSQL suite skipped: KDR_TEST_PG is not set";
  {
    // A database as the first schema version left it, with clients in it.
    auto s = connectTo(db.url());
    s->executeScript("CREATE TABLE KDR_SCHEMA (VERSION INTEGER NOT NULL)");
    s->executeScript(s->dialect().migrations()[0]);
    s->execute("INSERT INTO KDR_SCHEMA (VERSION) VALUES (1)");
    seedDemo(*s, false);
  }
  auto store = Store::open(db.url());
  auto s = store->session();
  auto clientsOf = [&](const std::string &number) {
    std::vector<std::string> codes;
    const Variant found = variantFromJsonText(rdmParamFatCli::GetCliente(*s, number, ""));
    for (const PacketRow &row : found.packet()->rows) codes.push_back(row.values[0].str());
    return codes;
  };
  using Codes = std::vector<std::string>;
  EXPECT_EQ(clientsOf("33.444.555/0001-63"), (Codes{"105", "106"}));

  // Written by another program, with the punctuation a user types.
  s->execute("INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMFANTCLIE, CDPAIS) "
             "VALUES ('900', 'J', '77.888.999/0001-00', 'Novo', '0055')");
  EXPECT_EQ(clientsOf("77888999000100"), (Codes{"900"}));
  s->execute("UPDATE CLIENTE SET NRINSJURCLIE = '123.456.789-09' WHERE CDCLIENTE = '900'");
  EXPECT_EQ(clientsOf("77888999000100"), Codes{});
  EXPECT_EQ(clientsOf("12345678909"), (Codes{"103", "900"}));
  s->execute("UPDATE CLIENTE SET NRINSJURCLIE = NULL WHERE CDCLIENTE = '900'");
  EXPECT_EQ(clientsOf("12345678909"), (Codes{"103"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, ClientLookup, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
