// The client search's pages: the filter narrows by name, code or registration digits, and the
// pages, asked one after another, bring each matching client once.
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
}

TEST_P(ClientSearch, APageSizeOutsideTheRangeIsRefused) {
  for (const char *size : {"0", "1001", "", "5x"})
    EXPECT_EQ(call("PesquisaCliente", {"", "", size}).status, 400) << size;
  EXPECT_EQ(rowsOf("GetCliente", {"", "T"}).size(), 10u) << "the all-flag call still brings every client";
}

INSTANTIATE_TEST_SUITE_P(Engines, ClientSearch, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
