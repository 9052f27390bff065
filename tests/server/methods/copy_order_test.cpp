// GeraAutomParam: exact target codes, the model untouched, nothing deleted, rows matched by
// billing type, one transaction.
#include "tests/server/server_fixture.h"

#include <map>

#include "server/errors.h"
#include "server/methods/copy_order.h"
#include "server/store/tables.h"
#include "tests/server/hooked_session.h"

namespace kdr::server::testing {
namespace {

using rdmParamFatCli::parseTargetList;

class CopyOrder : public ServerTest {
protected:
  static DeltaBuilder order() {
    return DeltaBuilder({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                         FieldDef{"DSFATURCLIE", FieldType::String, 400},
                         FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
  }
  // (type, company, invoice text, slip text) of a client's rows.
  std::vector<std::vector<std::string>> rowsOfClient(const std::string &client) {
    DataPacket p = paramsOf(client);
    std::vector<std::vector<std::string>> out;
    for (const PacketRow &r : p.rows)
      out.push_back(
          {r.values[1].asString(), r.values[7].asString(), r.values[2].asString(), r.values[3].asString()});
    return out;
  }
  std::vector<Variant> report(const Reply &r) { return r.packet().rows.at(0).values; }
};

TEST(TargetList, SelectionStringsAreSplitIntoExactCodes) {
  EXPECT_TRUE(parseTargetList("T").everyone);
  EXPECT_EQ(parseTargetList("'101','1010'").codes, (std::vector<std::string>{"101", "1010"}));
  EXPECT_EQ(parseTargetList(" '101' , 1010 ,,").codes, (std::vector<std::string>{"101", "1010"}));
  EXPECT_TRUE(parseTargetList("").codes.empty());
  EXPECT_FALSE(parseTargetList("'T'").everyone);
}

TEST_P(CopyOrder, ListHitsExactCodesOnlyAndNeverTheModel) {
  // Model 102: type 1 at company 02 and type 4 at company 03. "101" lies inside "1010" and must
  // not be hit; the model in the list is ignored.
  auto o = order();
  o.insert({"1", "Customização copiada.", "Boleto copiado."});
  o.insert({"4", "Locação copiada.", nullptr});
  std::vector<std::vector<std::string>> before101 = rowsOfClient("101"), before102 = rowsOfClient("102");
  Reply r = call("GeraAutomParam", {"'1010','103','102'", "102", o.variant()});
  ASSERT_EQ(r.status, 200) << r.text;

  EXPECT_EQ(rowsOfClient("101"), before101);
  EXPECT_EQ(rowsOfClient("102"), before102);
  // 1010 keeps both its companies for type 1 and takes the texts; type 4 is copied from the model
  // with the model's company and the type's default where the order has no text.
  EXPECT_EQ(rowsOfClient("1010"), (std::vector<std::vector<std::string>>{
                                      {"1", "01", "Customização copiada.", "Boleto copiado."},
                                      {"1", "02", "Customização copiada.", "Boleto copiado."},
                                      {"4", "03", "Locação copiada.", "Prestação de serviços."}}));
  EXPECT_EQ(rowsOfClient("103"),
            (std::vector<std::vector<std::string>>{
                {"1", "02", "Customização copiada.", "Boleto copiado."},
                {"2", "01", "Cessão de direito de uso do sistema.", "Cessão de direito de uso do sistema."},
                {"4", "03", "Locação copiada.", "Prestação de serviços."}}));
  EXPECT_EQ(report(r), (std::vector<Variant>{Variant(std::int64_t{2}), Variant(std::int64_t{5})}));
  // The list comes back unchanged by reference.
  ASSERT_TRUE(r.body.args.has_value());
  ASSERT_EQ(r.body.args->array().size(), 3u);
  EXPECT_EQ(r.body.args->array()[0], Variant("'1010','103','102'"));
}

TEST_P(CopyOrder, EveryoneButTheModelKeepsOwnRowsAndCompanies) {
  // Model 1010 has two rows of type 1 (companies 01 and 02), each with its own texts; only the
  // invoice text is ordered.
  auto o = order();
  o.insert({"1", "Customização Alfa.", nullptr});
  o.insert({"1", "Customização Beta.", nullptr});
  std::vector<std::vector<std::string>> model = rowsOfClient("1010");
  Reply r = call("GeraAutomParam", {"T", "1010", o.variant()});
  ASSERT_EQ(r.status, 200) << r.text;
  EXPECT_EQ(rowsOfClient("1010"), model);

  // 102 has type 1 at company 02: it takes the texts of the model's company-02 row, keeps its slip.
  EXPECT_EQ(rowsOfClient("102")[0],
            (std::vector<std::string>{"1", "02", "Customização Beta.", "Boleto de customização."}));
  // 104 had nothing: both model rows are copied, slip text from the type's default.
  EXPECT_EQ(rowsOfClient("104"),
            (std::vector<std::vector<std::string>>{
                {"1", "01", "Customização Alfa.", "Prestação de serviços de processamento de dados."},
                {"1", "02", "Customização Beta.", "Prestação de serviços de processamento de dados."}}));
  // The legacy row of 108 is untouched; 108 gets the copies beside it.
  EXPECT_EQ(rowsOfClient("108").back(),
            (std::vector<std::string>{"9", "03", "Registro antigo.", "Registro antigo."}));
  // Nothing deleted: 10 rows before, 1 updated (102), 8 clients x 2 copies inserted.
  EXPECT_EQ(report(r), (std::vector<Variant>{Variant(std::int64_t{9}), Variant(std::int64_t{17})}));
  EXPECT_EQ(call("GetTable", {"PARCLIEKDR"}, "KDR.rdmCache").packet().rows.size(), 26u);
}

TEST_P(CopyOrder, AddedRowsCarryEveryStoredColumnOfTheModelRow) {
  // Model 101's types 5 and 6 differ in every copied column: flags, service type, implementation
  // manager, company. 104 has neither type, so both rows are added whole.
  auto o = order();
  o.insert({"5", nullptr, nullptr});
  o.insert({"6", "Service desk copiado.", nullptr});
  ASSERT_EQ(call("GeraAutomParam", {"'104'", "101", o.variant()}).status, 200);

  auto byType = [&](const std::string &client) {
    DataPacket p = paramsOf(client);
    std::map<std::string, std::map<std::string, Variant>> out;
    for (const PacketRow &r : p.rows)
      for (std::size_t i = 0; i < p.fields.size(); ++i)
        if (tables::parClieKdr().index(p.fields[i].name) < tables::parClieKdr().columns.size())
          out[r.values[1].asString()][p.fields[i].name] = r.values[i];
    return out;
  };
  auto model = byType("101"), copy = byType("104");
  ASSERT_EQ(copy.size(), 2u);
  for (const auto &[type, values] : copy)
    for (const auto &[column, value] : values) {
      if (column == "CDCLIENTE" || column == "DSFATURCLIE" || column == "DSBOLETCLIE") continue;
      EXPECT_EQ(value, model[type][column]) << type << " " << column;
    }
  EXPECT_EQ(copy["6"]["DSFATURCLIE"], Variant("Service desk copiado."));
}

TEST_P(CopyOrder, OrderRowsFindTheirModelRowByTheirTextsWhateverTheirOrder) {
  // The screen may list company 02's row of type 1 before company 01's.
  auto o = order();
  o.insert({"1", "Customização Beta.", "Boleto Beta."});
  o.insert({"1", "Customização Alfa.", "Boleto Alfa."});
  ASSERT_EQ(call("GeraAutomParam", {"'102','104'", "1010", o.variant()}).status, 200);
  EXPECT_EQ(rowsOfClient("102")[0],
            (std::vector<std::string>{"1", "02", "Customização Beta.", "Boleto Beta."}));
  EXPECT_EQ(rowsOfClient("104"),
            (std::vector<std::vector<std::string>>{{"1", "01", "Customização Alfa.", "Boleto Alfa."},
                                                   {"1", "02", "Customização Beta.", "Boleto Beta."}}));
}

TEST_P(CopyOrder, BadOrdersAreRefusedAndWriteNothing) {
  auto good = order();
  good.insert({"3", "x", "y"});
  auto badType = order();
  badType.insert({"7", "x", "y"});
  auto empty = order();
  auto notInModel = order(); // model 101 has no type 2
  notInModel.insert({"3", "x", "y"});
  notInModel.insert({"2", "x", "y"});
  DeltaBuilder unknownField(
      {FieldDef{"IDTPFATUCLIE", FieldType::String, 1}, FieldDef{"CDEMPRESA", FieldType::String, 2}});
  unknownField.insert({"3", "01"});
  // A text past what the column holds, however long the packet declares its field.
  DeltaBuilder tooLong({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                        FieldDef{"DSFATURCLIE", FieldType::String, 1000},
                        FieldDef{"DSBOLETCLIE", FieldType::String, 1000}});
  tooLong.insert({"3", std::string(401, 'x'), "y"});
  struct Case {
    Variant::Array args;
    int status;
  };
  const std::vector<Case> cases{
      {{"", "101", good.variant()}, 400},          {{"  ", "101", good.variant()}, 400},
      {{"T", "999", good.variant()}, 404},         {{"T", "101", badType.variant()}, 400},
      {{"T", "101", empty.variant()}, 400},        {{"T", "101", notInModel.variant()}, 409},
      {{"T", "101", unknownField.variant()}, 400}, {{"T", "101"}, 400},
      {{"T", "101", "não é um pacote"}, 400},      {{"T", "101", tooLong.variant()}, 400},
  };
  for (const Case &c : cases) {
    Reply r = call("GeraAutomParam", c.args);
    EXPECT_EQ(r.status, c.status) << r.text;
  }
  EXPECT_EQ(call("GetTable", {"PARCLIEKDR"}, "KDR.rdmCache").packet().rows.size(), 10u);
}

// The server's SQLite connections read through a memory map of the file, where every page read
// first looks the page up in the log of the open transaction's writes: over a copy to a million
// clients that lookup grows with each page written. The copy reads through its connection's cache
// instead, and gives the connection back to the pool reading through the map, whether it
// committed, was refused or failed halfway.
class CopyConnection : public CopyOrder {
protected:
  void SetUp() override {
    decorate_ = [this](std::unique_ptr<Session> inner) -> std::unique_ptr<Session> {
      Session *engine = inner.get();
      return std::make_unique<HookedSession>(std::move(inner), [this, engine](std::string_view sql) {
        if (sql.find("INSERT INTO KDR_LOTE_LINHA") == std::string_view::npos) return HookedSession::Fate::Run;
        mapWhileWriting_.push_back(mapSize(*engine));
        return failWriting_ ? HookedSession::Fate::FailEngine : HookedSession::Fate::Run;
      });
    };
    CopyOrder::SetUp();
  }
  static std::int64_t mapSize(Session &s) { return s.query("PRAGMA mmap_size")[0][0].asInteger(); }

  std::vector<std::int64_t> mapWhileWriting_;
  bool failWriting_ = false;
};

TEST_P(CopyConnection, ReadsThroughItsCacheAndGoesBackToThePoolMapped) {
  auto good = order();
  good.insert({"3", "Texto da cópia", "Boleto da cópia"});
  auto notInModel = order(); // model 101 has no type 2
  notInModel.insert({"2", "x", "y"});
  const Author author{"teste", 0, "copy"};
  auto s = store_->session();
  const std::int64_t mapped = mapSize(*s);
  ASSERT_GT(mapped, 0) << "the server's connections no longer read through the map";

  EXPECT_GT(rdmParamFatCli::GeraAutomParam(*s, "T", "101", good.packet, author).rows, 0);
  ASSERT_FALSE(mapWhileWriting_.empty());
  for (std::int64_t size : mapWhileWriting_) EXPECT_EQ(size, 0) << "the copy read through the map";
  EXPECT_EQ(mapSize(*s), mapped) << "after a copy";

  EXPECT_THROW(rdmParamFatCli::GeraAutomParam(*s, "T", "101", notInModel.packet, author), ServiceError);
  EXPECT_EQ(mapSize(*s), mapped) << "after a refused copy";

  failWriting_ = true;
  EXPECT_THROW(rdmParamFatCli::GeraAutomParam(*s, "T", "101", good.packet, author), EngineError);
  EXPECT_EQ(mapSize(*s), mapped) << "after a copy that failed halfway";
}

INSTANTIATE_TEST_SUITE_P(Sqlite, CopyConnection, ::testing::Values("sqlite"),
                         [](const auto &info) { return info.param; });

INSTANTIATE_TEST_SUITE_P(Engines, CopyOrder, ::testing::Values("sqlite", "postgresql", "sqlite_cached"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
