// The client search's pages: the filter narrows by name, code or registration digits, and the
// pages, asked one after another, bring each matching client once.
#include <algorithm>

#include "platform/rtl/utf8.h"
#include "server/methods/client_search.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class ClientSearch : public ServerTest {
protected:
  // The codes of every page of a filter, asked pageSize at a time.
  std::vector<std::string> allPages(const std::string &filter, const std::string &pageSize) {
    std::vector<std::string> codes;
    for (std::string after;;) {
      const auto rows = rowsOf("PesquisaCliente", {filter, after, pageSize});
      if (rows.empty()) return codes;
      for (const auto &row : rows) codes.push_back(row[0].asString());
      after = codes.back();
    }
  }
  using Codes = std::vector<std::string>;
};

TEST_P(ClientSearch, PagesBringEachMatchingClientOnceInCodeOrder) {
  EXPECT_EQ(allPages("", "3"),
            (Codes{"101", "1010", "102", "103", "104", "105", "106", "107", "108", "109"}));
  EXPECT_EQ(rowsOf("PesquisaCliente", {"", "", "3"}).size(), 3u);
  EXPECT_EQ(allPages("boa carne", "1"), (Codes{"105", "106"})) << "any case";
  EXPECT_EQ(allPages("33.444.555", "100"), (Codes{"105", "106"})) << "digits of a number";
  EXPECT_EQ(allPages("109", "100"), (Codes{"109"})) << "a code";
  EXPECT_EQ(allPages("100%", "100"), Codes{}) << "LIKE's wildcards are plain text";
  EXPECT_EQ(allPages("ão", "100"), (Codes{"101", "102", "103", "104"}));
  EXPECT_EQ(allPages("joao", "100"), (Codes{"102", "103"})) << "accents aside";
  EXPECT_EQ(allPages("ACOUGUE", "100"), (Codes{"105", "106"}));
  EXPECT_EQ(allPages("mecanica RÁPIDA", "100"), Codes{"1010"});
}

TEST_P(ClientSearch, APageSizeOutsideTheRangeIsRefused) {
  for (const char *size : {"0", "1001", "", "5x"})
    EXPECT_EQ(call("PesquisaCliente", {"", "", size}).status, 400) << size;
  EXPECT_EQ(rowsOf("GetCliente", {"", "T"}).size(), 10u) << "the all-flag call still brings every client";
}

// More clients than a page reads in code order ("A1" on, named "Cliente N"), so that the
// matches after them come through the index of names and digits; written with plain SQL, as
// another program would.
class ClientSearchPastTheFirstClients : public ClientSearch {
protected:
  void SetUp() override {
    ClientSearch::SetUp();
    if (IsSkipped()) return;
    auto s = store_->session();
    Transaction tx(*s, Transaction::Mode::Write);
    const std::string numbers =
        "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < ?) ";
    s->execute(numbers + "INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE) "
                         "SELECT 'A' || CAST(I AS VARCHAR(21)), 'Cliente ' || CAST(I AS VARCHAR(21)) FROM N",
               {clientsReadInOrder});
    s->execute(numbers +
                   "INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE) "
                   "SELECT 'Y' || CAST(I AS VARCHAR(21)), 'Padaria Beta ' || CAST(I AS VARCHAR(21)) FROM N",
               {150});
    s->execute("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, NRINSJURCLIE) VALUES "
               "('Z1', 'Zélia Confecções', '97.531.864/0001-20'), ('Z2', 'Desconto 50% Ltda', NULL), "
               "('Z3', 'A_B Comércio', NULL), ('Z4', 'AxB Comércio', NULL), "
               "('Z5', 'Açougue São João Xerém', NULL)");
    tx.commit();
  }
  void write(const std::string &sql) { store_->session()->execute(sql); }
};

TEST_P(ClientSearchPastTheFirstClients, FindsWhatTheFilterMatchesAsTheFirstClientsDo) {
  EXPECT_EQ(allPages("zélia", "100"), Codes{"Z1"});
  EXPECT_EQ(allPages("531.864", "100"), Codes{"Z1"}) << "digits of a number";
  EXPECT_EQ(allPages("Z1", "100"), Codes{"Z1"}) << "a code";
  EXPECT_EQ(allPages("50%", "100"), Codes{"Z2"}) << "a wildcard is plain text";
  EXPECT_EQ(allPages("a_b", "100"), Codes{"Z3"});
  EXPECT_EQ(allPages("lt", "100"), Codes{"Z2"}) << "too short for the index";
  EXPECT_EQ(allPages("fornecedor", "100"), Codes{});
  // "Cliente 99" is among the first clients read, "Cliente 990" to "999" come after them.
  EXPECT_EQ(allPages("e 99", "100"),
            (Codes{"A99", "A990", "A991", "A992", "A993", "A994", "A995", "A996", "A997", "A998", "A999"}));
  const Codes bakery = allPages("padaria beta", "100");
  EXPECT_EQ(bakery.size(), 150u);
  EXPECT_TRUE(std::is_sorted(bakery.begin(), bakery.end()));
  EXPECT_EQ(std::adjacent_find(bakery.begin(), bakery.end()), bakery.end()) << "each client once";
}

// Past the first clients every filter comes from the index, however short, and finds what the
// comparison of the names finds: case and accents aside, wildcards as written.
TEST_P(ClientSearchPastTheFirstClients, FindsAnyFilterThroughTheIndexAccentsAside) {
  EXPECT_EQ(allPages("joao", "100"), (Codes{"102", "103", "Z5"}));
  EXPECT_EQ(allPages("ACOUGUE", "100"), (Codes{"105", "106", "Z5"}));
  EXPECT_EQ(allPages("CONFECÇOES", "100"), Codes{"Z1"});
  EXPECT_EQ(allPages("z", "100"), (Codes{"109", "Z1"})) << "one character";
  EXPECT_EQ(allPages("xe", "100"), Codes{"Z5"}) << "two characters";
  EXPECT_EQ(allPages("_", "100"), Codes{"Z3"}) << "a wildcard alone is plain text";
  EXPECT_EQ(allPages("%", "100"), Codes{"Z2"});
  EXPECT_EQ(allPages("e_1", "100"), Codes{});
  EXPECT_EQ(allPages("Cliente_1", "100"), Codes{});
  EXPECT_EQ(allPages("2-0", "100"), Codes{"Z1"}) << "two digits of a number";
  EXPECT_EQ(allPages("xq", "100"), Codes{});
}

// Pages of a few clients bring what comparing every client's name brings, wherever in code order
// the matches lie: all after many that do not match ("beta 1", past the first clients), spread
// among them ("ente 19"), one at the end ("e 2000"), none though each run of the filter is common
// ("liente 2001").
TEST_P(ClientSearchPastTheFirstClients, PagesOfAnyFilterAreWhatComparingEveryNameGives) {
  const Rows clients =
      store_->session()->query("SELECT CDCLIENTE, NMFANTCLIE FROM CLIENTE ORDER BY CDCLIENTE");
  for (const std::string filter :
       {"beta 1", "ente 19", "e 2000", "liente 2001", "a 1", "TA 14", "ç", "ia b"}) {
    Codes expected;
    for (const Row &client : clients)
      if (!client[1].isNull() &&
          utf8::foldForSearch(client[1].asString()).find(utf8::foldForSearch(filter)) != std::string::npos)
        expected.push_back(client[0].asString());
    EXPECT_EQ(allPages(filter, "7"), expected) << filter;
  }
  EXPECT_EQ(allPages(std::string(500, 'a'), "7"), Codes{}) << "longer than any name";
}

TEST_P(ClientSearchPastTheFirstClients, FollowsEveryWriteOfAClient) {
  write("UPDATE CLIENTE SET NMFANTCLIE = 'Zulmira Modas', NRINSJURCLIE = '11.111.111/0001-11' "
        "WHERE CDCLIENTE = 'Z1'");
  EXPECT_EQ(allPages("zélia", "100"), Codes{});
  EXPECT_EQ(allPages("531.864", "100"), Codes{});
  EXPECT_EQ(allPages("zulmira", "100"), Codes{"Z1"});
  EXPECT_EQ(allPages("111.111", "100"), Codes{"Z1"});
  write("UPDATE CLIENTE SET CDCLIENTE = 'Z9' WHERE CDCLIENTE = 'Z3'");
  EXPECT_EQ(allPages("a_b", "100"), Codes{"Z9"});
  write("DELETE FROM CLIENTE WHERE CDCLIENTE = 'Z2'");
  EXPECT_EQ(allPages("50%", "100"), Codes{});
  write("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE) VALUES ('Z2', 'Outro 50% Ltda')");
  EXPECT_EQ(allPages("50%", "100"), Codes{"Z2"}) << "a code used again";
  write("UPDATE CLIENTE SET NMFANTCLIE = 'Açaí Xavante' WHERE CDCLIENTE = 'Z5'");
  EXPECT_EQ(allPages("ACAI", "100"), Codes{"Z5"});
  EXPECT_EQ(allPages("xa", "100"), Codes{"Z5"});
  EXPECT_EQ(allPages("xerem", "100"), Codes{});
}

INSTANTIATE_TEST_SUITE_P(Engines, ClientSearchPastTheFirstClients, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

INSTANTIATE_TEST_SUITE_P(Engines, ClientSearch, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
