// The reading methods over real HTTP, on the demo data: all-flag rules, order and payload fields.
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

using Strings = std::vector<std::string>;

Strings column(const std::vector<std::vector<Variant>> &rows, std::size_t index) {
  Strings out;
  for (const auto &r : rows) out.push_back(r[index].asString());
  return out;
}

TEST_P(ServerTest, AllFlagRulesOfTheListMethods) {
  struct Case {
    std::string method;
    Variant::Array args;
    std::size_t keyColumn;
    Strings expected;
  };
  const std::vector<Case> cases{
      {"GetCliente", {"11222333000181", ""}, 0, {"101"}},
      // Compared as digits: the mask of a company's number does not matter.
      {"GetCliente", {"11.222.333/0001-81", ""}, 0, {"101"}},
      // Two clients share a number: both, by client code.
      {"GetCliente", {"33444555000163", ""}, 0, {"105", "106"}},
      {"GetCliente", {"99999999999", ""}, 0, {}},
      {"GetCliente", {"", ""}, 0, {}},
      {"GetCliente", {"", "T"}, 0, {"101", "1010", "102", "103", "104", "105", "106", "107", "108", "109"}},
      {"GetTipoDeServico", {"010", "", "107"}, 0, {"010"}},
      // A service type the client is not linked to is not offered.
      {"GetTipoDeServico", {"001", "", "107"}, 0, {}},
      {"GetTipoDeServico", {"999", "", "101"}, 0, {}},
      {"GetTipoDeServico", {"", "T", "101"}, 0, {"001", "002"}},
      {"GetTipoDeServico", {"", "T", "104"}, 0, {}},
      {"GetDescPadrao", {"01", "3"}, 0, {"01"}},
      {"GetDescPadrao", {"01", "1"}, 0, {}},
      {"GetParamFatCli", {"104"}, 1, {}},
      // Billing type first, then company.
      {"GetParamFatCli", {"1010"}, 7, {"01", "02"}},
      {"GetParamFatCli", {"101"}, 1, {"3", "5", "6"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.method + " " + Variant(c.args).debugString());
    EXPECT_EQ(column(rowsOf(c.method, c.args), c.keyColumn), c.expected);
  }
}

TEST_P(ServerTest, ParameterRowsCarryJoinedNamesAndCountry) {
  DataPacket p = paramsOf("101");
  ASSERT_EQ(p.fields.size(), 16u);
  EXPECT_EQ(p.fields[p.fieldIndex("DSFATURCLIE")].size, 400);
  EXPECT_EQ(p.fields[p.fieldIndex("VRPERCAJUSTEINV")].type, FieldType::Float);
  auto value = [&](std::size_t row, const char *field) { return p.rows[row].values[p.fieldIndex(field)]; };
  EXPECT_EQ(value(0, "NMFANTCLIE"), Variant("Padaria Pão Quente"));
  EXPECT_EQ(value(0, "NMEMPRESA"), Variant("Alfa Sistemas Ltda"));
  EXPECT_EQ(value(0, "CDPAIS"), Variant("0055"));
  EXPECT_EQ(value(1, "NMOPERADOR"), Variant("Carlos Mendes"));
  EXPECT_EQ(value(2, "NMTIPOSERV"), Variant("Suporte remoto"));
  EXPECT_TRUE(value(0, "NMTIPOSERV").isNull());

  DataPacket foreign = paramsOf("107");
  EXPECT_EQ(foreign.rows[0].values[foreign.fieldIndex("VRPERCAJUSTEINV")], Variant(12.5));
  EXPECT_EQ(foreign.rows[0].values[foreign.fieldIndex("CDPAIS")], Variant("0351"));

  // The legacy row loads as found.
  DataPacket legacy = paramsOf("108");
  ASSERT_EQ(legacy.rows.size(), 1u);
  EXPECT_EQ(legacy.rows[0].values[legacy.fieldIndex("IDTPFATUCLIE")], Variant("9"));
  EXPECT_EQ(legacy.rows[0].values[legacy.fieldIndex("IDFATURAPFILI")], Variant("s"));
  EXPECT_EQ(legacy.rows[0].values[legacy.fieldIndex("IDGERANFUNIFICA")], Variant("X"));
}

TEST_P(ServerTest, ParEmpKdrIsTextsThenCompanies) {
  Reply r = call("GetParEmpKdr", {});
  ASSERT_EQ(r.status, 200);
  Variant result = r.result();
  ASSERT_TRUE(result.isArray());
  ASSERT_EQ(result.array().size(), 2u);
  const DataPacket &texts = *result.array()[0].packet();
  const DataPacket &companies = *result.array()[1].packet();
  EXPECT_EQ(texts.rows.size(), 4u);
  EXPECT_TRUE(texts.rows[2].values[3].isNull()); // company 02 has no bank-slip text
  ASSERT_EQ(companies.fields[0].name, "NMEMPRESA");
  ASSERT_EQ(companies.rows.size(), 4u);
  EXPECT_EQ(companies.rows[1].values[0], Variant("Beta Serviços de Informática Ltda"));
  EXPECT_EQ(companies.rows[3].values[1], Variant("04"));
}

TEST_P(ServerTest, SnapshotServesOnlyTheCachedTables) {
  const std::vector<std::pair<std::string, std::size_t>> tables{{"CLIENTE", 10},   {"EMPRESA", 4},
                                                                {"OPERADOR", 6},   {"OPERGRUPOP", 7},
                                                                {"AUTGRUPOP", 12}, {"PARCLIEKDR", 10}};
  for (const auto &[name, count] : tables) {
    Reply r = call("GetTable", {name}, "KDR.rdmCache");
    ASSERT_EQ(r.status, 200) << name;
    EXPECT_EQ(r.packet().rows.size(), count) << name;
  }
  for (const char *name : {"KDR_SCHEMA", "PAREMPKDR", "cliente", "CLIENTE; DROP TABLE CLIENTE"}) {
    Reply r = call("GetTable", {name}, "KDR.rdmCache");
    EXPECT_EQ(r.status, 404) << name;
  }
  EXPECT_EQ(call("GetParamFatCli", {"101"}, "KDR.rdmCache").status, 404);
}

} // namespace
} // namespace kdr::server::testing
