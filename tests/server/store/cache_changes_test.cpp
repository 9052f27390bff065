// The host's cache refreshed by change numbers: the whole table once, then only the rows written
// and the keys removed since the mark of the previous answer, whoever wrote them.
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

struct Changes {
  std::string mark;
  bool whole = false;
  DataPacket rows, removed;
};

class CacheChanges : public ServerTest {
protected:
  Changes changes(const std::string &table, const std::string &mark) {
    Reply r = call("GetChanges", {table, mark}, "KDR.rdmCache");
    EXPECT_EQ(r.status, 200) << r.text;
    const Variant::Array parts = r.result().array();
    return {parts[0].str(), parts[1].str() == "T", *parts[2].packet(), *parts[3].packet()};
  }
  // The first keyColumns values of each row, joined with "|".
  static std::vector<std::string> keysOf(const DataPacket &p, std::size_t keyColumns = 3) {
    std::vector<std::string> out;
    for (const PacketRow &row : p.rows) {
      std::string key;
      for (std::size_t i = 0; i < p.fields.size() && i < keyColumns; ++i)
        key += (i ? "|" : "") + row.values[i].asString();
      out.push_back(key);
    }
    return out;
  }
  using Keys = std::vector<std::string>;

  // Every page of GetChangesPage from the first to the one that names no next position.
  std::vector<Changes> pages(const std::string &table, const std::string &mark, std::size_t size) {
    std::vector<Changes> out;
    std::string position;
    do {
      Reply r = call("GetChangesPage", {table, mark, position, std::to_string(size)}, "KDR.rdmCache");
      EXPECT_EQ(r.status, 200) << r.text;
      if (r.status != 200) break;
      const Variant::Array parts = r.result().array();
      out.push_back({parts[0].str(), parts[1].str() == "T", *parts[2].packet(), *parts[3].packet()});
      EXPECT_LE(out.back().rows.rows.size(), size);
      position = parts[4].str();
    } while (!position.empty() && out.size() < 100);
    return out;
  }
  static Keys keysOfPages(const std::vector<Changes> &pages, std::size_t keyColumns = 3) {
    Keys out;
    for (const Changes &page : pages)
      for (const std::string &key : keysOf(page.rows, keyColumns)) out.push_back(key);
    return out;
  }
};

TEST_P(CacheChanges, WholeOnceThenOnlyWhatEachWriteTouched) {
  const Changes first = changes("PARCLIEKDR", "");
  EXPECT_TRUE(first.whole);
  EXPECT_EQ(first.rows.rows.size(), 10u);
  EXPECT_EQ(first.removed.fields.size(), 3u) << "the key of a parameter row";

  const Changes none = changes("PARCLIEKDR", first.mark);
  EXPECT_FALSE(none.whole);
  EXPECT_TRUE(none.rows.rows.empty());
  EXPECT_TRUE(none.removed.rows.empty());
  EXPECT_EQ(none.mark, first.mark);

  // A text changed, a row removed and a row moved to another company, in one save.
  DataPacket p101 = paramsOf("101"), p102 = paramsOf("102");
  DeltaBuilder d(paramFatCliFields());
  d.modify(p101.rows[0].values, {{"DSFATURCLIE", "Texto novo"}});
  d.remove(p102.rows[1].values);
  d.modify(p101.rows[1].values, {{"CDEMPRESA", "03"}});
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);

  const Changes saved = changes("PARCLIEKDR", first.mark);
  EXPECT_FALSE(saved.whole);
  EXPECT_NE(saved.mark, first.mark);
  EXPECT_EQ(keysOf(saved.rows), (Keys{"101|3|01", "101|5|03"}));
  EXPECT_EQ(saved.rows.rows[0].values[saved.rows.fieldIndex("DSFATURCLIE")], Variant("Texto novo"));
  Keys removed = keysOf(saved.removed);
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (Keys{"101|5|01", "102|4|03"})) << "the deleted row and the old key of the moved one";

  // The bulk copy writes through the same numbers; an unchanged table keeps its mark.
  const std::string companies = changes("EMPRESA", "").mark;
  DeltaBuilder order({FieldDef{"IDTPFATUCLIE", FieldType::String, 1}});
  order.insert({"3"});
  Reply copy = call("GeraAutomParam", {"'103'", "101", order.variant()});
  ASSERT_EQ(copy.status, 200) << copy.text;
  const Changes copied = changes("PARCLIEKDR", saved.mark);
  ASSERT_FALSE(copied.rows.rows.empty());
  for (const PacketRow &row : copied.rows.rows) EXPECT_EQ(row.values[0], Variant("103"));
  EXPECT_TRUE(copied.removed.rows.empty());
  EXPECT_EQ(changes("EMPRESA", companies).mark, companies);
  EXPECT_TRUE(changes("EMPRESA", companies).rows.rows.empty());
}

TEST_P(CacheChanges, WritesOutsideTheServerAreCountedToo) {
  const Changes before = changes("CLIENTE", "");
  {
    auto s = store_->session();
    Transaction tx(*s, Transaction::Mode::Write);
    s->execute("INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMFANTCLIE) VALUES ('900', 'F', "
               "'1', 'Novo')");
    s->execute("UPDATE CLIENTE SET NMFANTCLIE = 'Renomeado' WHERE CDCLIENTE = '104'");
    s->execute("DELETE FROM CLIENTE WHERE CDCLIENTE = '105'");
    tx.commit();
  }
  const Changes after = changes("CLIENTE", before.mark);
  EXPECT_EQ(keysOf(after.rows, 1), (Keys{"104", "900"}));
  EXPECT_EQ(keysOf(after.removed), (Keys{"105"}));
}

TEST_P(CacheChanges, AMarkThisDatabaseDidNotGiveGetsTheWholeTable) {
  const Changes first = changes("EMPRESA", "");
  const std::string base = first.mark.substr(0, first.mark.rfind(':'));
  for (const std::string &mark : Keys{"x", "outra:0", base + ":999999", base + ":-1", base + ":1x"}) {
    const Changes c = changes("EMPRESA", mark);
    EXPECT_TRUE(c.whole) << mark;
    EXPECT_EQ(c.rows.rows.size(), 4u) << mark;
    EXPECT_EQ(c.mark, first.mark) << mark;
  }
  EXPECT_EQ(call("GetChanges", {"PAREMPKDR", ""}, "KDR.rdmCache").status, 404);
  EXPECT_EQ(call("GetTable", {"EMPRESA"}, "KDR.rdmCache").packet().rows.size(), 4u)
      << "the whole-table call keeps working";
}

TEST_P(CacheChanges, PagesBringTheWholeTableByKeyAndChangesInTheOrderWritten) {
  const Changes whole = changes("PARCLIEKDR", "");
  const std::vector<Changes> wholePages = pages("PARCLIEKDR", "", 3);
  ASSERT_EQ(wholePages.size(), 4u);
  EXPECT_EQ(keysOfPages(wholePages), keysOf(whole.rows));
  for (const Changes &page : wholePages) EXPECT_TRUE(page.whole);
  EXPECT_EQ(pages("PARCLIEKDR", "", 10).size(), 1u) << "a page exactly full ends the table";

  {
    auto s = store_->session();
    Transaction tx(*s, Transaction::Mode::Write);
    for (const char *client : {"102", "101", "103"})
      s->execute("UPDATE PARCLIEKDR SET DSFATURCLIE = 'Novo' WHERE CDCLIENTE = ?", {Variant(client)});
    s->execute("DELETE FROM PARCLIEKDR WHERE CDCLIENTE = '107'");
    tx.commit();
  }
  const std::vector<Changes> changed = pages("PARCLIEKDR", whole.mark, 2);
  ASSERT_GE(changed.size(), 2u);
  Keys clients = keysOfPages(changed, 1);
  clients.erase(std::unique(clients.begin(), clients.end()), clients.end());
  EXPECT_EQ(clients, (Keys{"102", "101", "103"})) << "changes come in the order they were written";
  EXPECT_EQ(keysOf(changed.front().removed, 1), Keys(changed.front().removed.rows.size(), "107"));
  EXPECT_FALSE(changed.front().removed.rows.empty());
  for (std::size_t i = 1; i < changed.size(); ++i)
    EXPECT_TRUE(changed[i].removed.rows.empty()) << "removed keys come once, with the first page";
  EXPECT_EQ(pages("PARCLIEKDR", changed.front().mark, 2).front().rows.rows.size(), 0u);

  for (const auto &[position, size] : std::vector<std::pair<std::string, std::string>>{
           {"", "0"}, {"", "50001"}, {"", "dez"}, {"x", "2"}, {"[\"101\"]", "2"}, {"[1, 2, 3]", "2"}}) {
    Reply r = call("GetChangesPage", {"PARCLIEKDR", "", position, size}, "KDR.rdmCache");
    EXPECT_EQ(r.status, 400) << position << " " << size;
  }
}

// Every update of the counter's row in one transaction leaves a version that the next one walks
// again on PostgreSQL, so a transaction of a million statements (an import) must not update it per
// statement: it takes its first number once and sets the last one as it commits.
TEST_P(CacheChanges, ATransactionOfManyStatementsUpdatesTheCounterOnce) {
  if (GetParam() != "postgresql") GTEST_SKIP() << "SQLite keeps no versions of a row";
  const Changes before = changes("PARCLIEKDR", "");
  auto s = store_->session();
  {
    Transaction tx(*s, Transaction::Mode::Write);
    // What this connection has not reported yet, earlier transactions' included.
    auto counterUpdates = [&] {
      return s->query("SELECT n_tup_upd FROM pg_stat_xact_user_tables WHERE relname = 'kdr_cache_versao'")
          .at(0)[0]
          .asInteger();
    };
    const std::int64_t earlier = counterUpdates();
    for (int i = 0; i < 20; ++i)
      for (const char *client : {"101", "102"})
        s->execute("UPDATE PARCLIEKDR SET DSFATURCLIE = ? WHERE CDCLIENTE = ?",
                   {Variant("Texto " + std::to_string(i)), Variant(client)});
    EXPECT_EQ(counterUpdates() - earlier, 1);
    tx.commit();
  }
  const Rows numbers = s->query("SELECT (SELECT NRVERSAO FROM KDR_CACHE_VERSAO WHERE TABELA = 'PARCLIEKDR'), "
                                "MAX(NRVERSAO) FROM PARCLIEKDR");
  EXPECT_EQ(numbers[0][0], numbers[0][1]) << "the counter holds the transaction's last number";
  const Changes after = changes("PARCLIEKDR", before.mark);
  EXPECT_EQ(keysOf(after.rows, 1), (Keys{"101", "101", "101", "102", "102"}));
  EXPECT_EQ(after.mark.substr(after.mark.rfind(':') + 1), numbers[0][1].asString());

  DataPacket p103 = paramsOf("103");
  DeltaBuilder d(paramFatCliFields());
  d.modify(p103.rows[0].values, {{"DSFATURCLIE", "Depois"}});
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  EXPECT_EQ(keysOf(changes("PARCLIEKDR", after.mark).rows, 1), (Keys{"103"})) << "the next write counts on";
}

// The count a desktop shows its first load against follows the rows, and names only listed tables.
TEST_P(CacheChanges, TheRowCountIsWhatAWholeLoadBrings) {
  Reply count = call("GetRowCount", {"PARCLIEKDR"}, "KDR.rdmCache");
  ASSERT_EQ(count.status, 200) << count.text;
  EXPECT_EQ(count.result().asInteger(), 10);
  DataPacket p102 = paramsOf("102");
  DeltaBuilder d(paramFatCliFields());
  d.remove(p102.rows[0].values);
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  EXPECT_EQ(call("GetRowCount", {"PARCLIEKDR"}, "KDR.rdmCache").result().asInteger(), 9);
  EXPECT_EQ(call("GetRowCount", {"KDR_HISTORICO"}, "KDR.rdmCache").status, 404);
}

INSTANTIATE_TEST_SUITE_P(Engines, CacheChanges, ::testing::Values("sqlite", "postgresql", "sqlite_cached"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
