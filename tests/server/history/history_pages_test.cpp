// The history in pages: every entry once, in the order of the one-piece answer, whatever the page
// size and wherever records and a copy's lines share a moment; the one-piece answer refused past
// its bound; the command printing every page.
#include <sstream>

#include "server/admin/admin.h"
#include "server/history/history.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

using Strings = std::vector<std::string>;

class HistoryPages : public ServerTest {
protected:
  // Three saves of 101, a copy to 1010 and 103, one more save; then the moments are set so that
  // the second and third saves and the copy share one millisecond.
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped()) return;
    for (const char *text : {"Primeiro.", "Segundo.", "Terceiro."}) save(text);
    DeltaBuilder order({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                        FieldDef{"DSFATURCLIE", FieldType::String, 400},
                        FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
    // 1010's row at company 01 already has these texts: its line stands for no change.
    order.insert({"1", "Customização Alfa.", "Boleto Alfa."});
    ASSERT_EQ(call("GeraAutomParam", {"'1010','103'", "102", order.variant()}).status, 200);
    save("Quarto.");
    auto s = store_->session();
    Rows records = s->query("SELECT NRHIST FROM KDR_HISTORICO ORDER BY NRHIST");
    ASSERT_EQ(records.size(), 4u);
    const char *moments[] = {"2026-01-01 00:00:00.000", "2026-01-01 00:00:01.000", "2026-01-01 00:00:01.000",
                             "2026-01-01 00:00:02.000"};
    for (std::size_t i = 0; i < 4; ++i)
      s->execute("UPDATE KDR_HISTORICO SET DTHIST = ? WHERE NRHIST = ?", {moments[i], records[i][0]});
    s->execute("UPDATE KDR_LOTE SET DTLOTE = '2026-01-01 00:00:01.000'");
  }

  void save(const std::string &text) {
    DeltaBuilder d(paramFatCliFields());
    d.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", text}});
    ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  }

  static std::string entryName(const HistoryEntry &e) {
    std::string name = keyText(e.change) + " " + static_cast<char>(e.change.operation);
    for (const FieldChange &f : e.change.fields)
      if (f.name == "DSFATURCLIE") name += " " + shownValue(f.after);
    return name;
  }

  Strings paged(std::size_t size) {
    auto s = store_->session();
    Strings out;
    std::string position;
    int pages = 0;
    do {
      HistoryPage page = readHistoryPage(*s, {}, position, size);
      EXPECT_LE(page.entries.size(), size);
      for (const HistoryEntry &e : page.entries) out.push_back(entryName(e));
      position = page.next;
    } while (!position.empty() && ++pages < 100);
    return out;
  }
};

TEST_P(HistoryPages, EveryPageSizeGivesEveryEntryOnceInOrder) {
  const Strings expected{"101/3/01 A Primeiro.",          "101/3/01 A Segundo.",
                         "101/3/01 A Terceiro.",          "1010/1/02 A Customização Alfa.",
                         "103/1/02 I Customização Alfa.", "101/3/01 A Quarto."};
  for (std::size_t size = 1; size <= 7; ++size) EXPECT_EQ(paged(size), expected) << "pages of " << size;

  // The same over the wire, two entries a page, one row per changed field.
  std::vector<std::string> methods;
  std::string position;
  do {
    Reply r = call("GetHistoricoPagina", {"", "", "", position, "2"});
    ASSERT_EQ(r.status, 200) << r.text;
    const Variant result = r.result();
    const Variant::Array &parts = result.array();
    for (const PacketRow &row : parts.at(0).packet()->rows) methods.push_back(row.values[3].asString());
    position = parts.at(1).asString();
  } while (!position.empty());
  EXPECT_EQ(methods.size(), rowsOf("GetHistorico", {"", "", ""}).size());
  EXPECT_EQ(methods.front(), "SetParamFatCli");
  EXPECT_EQ(methods.back(), "SetParamFatCli");
}

TEST_P(HistoryPages, MalformedPagesAreRefused) {
  for (const char *position : {"x", "[1,2]", "[\"2026\",7,1,null,null,null]"})
    EXPECT_EQ(call("GetHistoricoPagina", {"", "", "", position, "2"}).status, 400) << position;
  for (const char *size : {"0", "5001", "-1", "2x", ""})
    EXPECT_EQ(call("GetHistoricoPagina", {"", "", "", "", size}).status, 400) << size;
}

TEST_P(HistoryPages, ALongHistoryIsReadInPagesNotInOnePiece) {
  {
    auto s = store_->session();
    s->execute(
        "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 5000) "
        "INSERT INTO KDR_HISTORICO (DTHIST, NMMETODO, NMTABELA, CDCLIENTE, IDTPFATU, CDEMPRESA, "
        "IDOPERACAO, DSCAMPOS) SELECT '2026-02-01 00:00:00.000', 'SetParamFatCli', 'PARCLIEKDR', '101', "
        "'3', '01', 'A', '[[\"DSFATURCLIE\",\"a\",\"b\"]]' FROM N");
  }
  Reply whole = call("GetHistorico", {"", "", ""});
  EXPECT_EQ(whole.status, 400);
  EXPECT_NE(whole.message().find("GetHistoricoPagina"), std::string::npos) << whole.message();
  // One client's rows still come whole.
  EXPECT_EQ(call("GetHistorico", {"103", "", ""}).status, 200);

  std::istringstream in;
  std::ostringstream out, err;
  ASSERT_EQ(runAdminCommand({"history", "--db", db_->url(), "--csv"}, in, out, err), 0) << err.str();
  std::size_t lines = 0;
  for (char c : out.str()) lines += c == '\n';
  // The header, then one line per changed field: the 5000 records, the four saves, the two texts
  // of 1010's replaced row and the six values given to 103's added row.
  EXPECT_EQ(lines, 1u + 5000u + 4u + 2u + 6u);
  std::ostringstream table;
  ASSERT_EQ(runAdminCommand({"history", "--db", db_->url()}, in, table, err), 0) << err.str();
  EXPECT_EQ(table.str().find("quando"), table.str().rfind("quando")); // one header
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryPages, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
