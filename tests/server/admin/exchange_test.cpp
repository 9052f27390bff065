// Parameters through a spreadsheet file, and the administrator's commands that use it.
#include <sstream>

#include "server/admin/admin.h"
#include "server/admin/csv.h"
#include "server/admin/exchange.h"
#include "server/admin/undo.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class Exchange : public ServerTest {
protected:
  std::string exported(ExchangeTable table = ExchangeTable::Params) {
    auto s = store_->session();
    return exportCsv(*s, table);
  }
  ImportReport import(const std::string &text, ExchangeTable table = ExchangeTable::Params,
                      bool dryRun = false) {
    auto s = store_->session();
    return importCsv(*s, table, text, dryRun, Author{"planilha", 0, "import"});
  }
  std::string importRefusal(const std::string &text) {
    try {
      import(text);
    } catch (const ServiceError &e) {
      EXPECT_EQ(e.code(), ErrorCode::InvalidArgument);
      return e.Message();
    }
    ADD_FAILURE() << "import was not refused";
    return {};
  }
  void setTexts(const std::string &invoice, const std::string &slip) {
    DeltaBuilder d(paramFatCliFields());
    d.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", invoice}, {"DSBOLETCLIE", slip}});
    ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  }
  static constexpr const char *header =
      "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;IDFATURAPFILI;IDFATMESATUCLIE;DSFATURCLIE;DSBOLETCLIE;CDTIPOSERV;"
      "CDGERENTEIMPCLI;IDGERANFUNIFICA;VRPERCAJUSTEINV\n";
};

TEST_P(Exchange, ExportThenImportChangesNothingAndTextsSurviveTheRoundTrip) {
  // Separator, quotes and a line break inside texts; an empty text is not a missing one.
  setTexts("Linha 1; \"entre aspas\"\nLinha 2", "");
  const std::string file = exported();
  EXPECT_EQ(file.rfind(std::string(csv::byteOrderMark) + header, 0), 0u) << file;
  EXPECT_NE(file.find("12,5"), std::string::npos); // the rate with the Brazilian decimal mark
  ImportReport same = import(file);
  EXPECT_EQ(same.batch, 0);
  EXPECT_EQ(same.added + same.changed, 0);
  EXPECT_EQ(same.unchanged, 10);
  EXPECT_EQ(exported(), file);

  // Changed meanwhile: importing the file puts the texts back, exactly, as an undoable batch.
  setTexts("Outro", "Outro boleto");
  const std::string changed = exported();
  ImportReport back = import(file);
  EXPECT_EQ(back.changed, 1);
  EXPECT_EQ(exported(), file);
  EXPECT_EQ(paramsOf("101").rows[0].values[2], Variant("Linha 1; \"entre aspas\"\nLinha 2"));
  EXPECT_EQ(paramsOf("101").rows[0].values[3], Variant(""));
  auto s = store_->session();
  undoBatch(*s, back.batch, Author{"admin", 0, "undo"});
  EXPECT_EQ(exported(), changed);
}

TEST_P(Exchange, OneBadRowWritesNothingAndEveryBadRowIsNamed) {
  const std::string before = exported();
  const std::string file = std::string(header) +
                           "101;3;01;N;S;Novo texto;Boleto;;;N;0\n" // line 2: fine
                           "104;7;01;N;N;Fatura;Boleto;;;N;0\n"     // line 3: no such billing type
                           "104;1;01;N;N;\"Fatura\nem duas linhas\";;;;N;abc\n" // line 4-5: not a number
                           "105;1;09;X;N;Fatura;Boleto;;;N;0\n"; // line 6: no company 09, bad flag
  std::string message = importRefusal(file);
  EXPECT_NE(message.find("Linha 3: Tipo de faturamento"), std::string::npos) << message;
  EXPECT_NE(message.find("Linha 4, campo VRPERCAJUSTEINV"), std::string::npos) << message;
  EXPECT_NE(message.find("Linha 6: "), std::string::npos) << message;
  EXPECT_EQ(message.find("Linha 2"), std::string::npos) << message;
  EXPECT_EQ(exported(), before);
  EXPECT_NE(importRefusal(std::string(header) + "101;3;01;N;S;x;y;;;N;0\n101;3;01;N;S;x;z;;;N;0\n")
                .find("Linha 3: a chave repete a da linha 2"),
            std::string::npos);
  EXPECT_NE(importRefusal("CDCLIENTE;IDTPFATUCLIE;NMEMPRESA\n101;3;x\n").find("NMEMPRESA"),
            std::string::npos);
  EXPECT_NE(importRefusal("CDCLIENTE;IDTPFATUCLIE\n101;3\n").find("CDEMPRESA"), std::string::npos);
  EXPECT_NE(importRefusal(std::string(header) + "101;3;01;N;S;\"aberta;y;;;N;0\n").find("linha 2"),
            std::string::npos);
}

TEST_P(Exchange, FieldsTheFileDoesNotCarryAreKeptAndCommasAreAccepted) {
  // Only the slip text of 101/3/01 and a new row; no row is ever deleted.
  ImportReport r = import("CDCLIENTE,IDTPFATUCLIE,CDEMPRESA,DSBOLETCLIE,VRPERCAJUSTEINV\n"
                          "101,3,01,Boleto pela planilha,2.5\n"
                          "104,2,01,\"Boleto, novo\",\n");
  EXPECT_EQ(r.changed, 1);
  EXPECT_EQ(r.added, 1);
  std::vector<Variant> row = paramsOf("101").rows[0].values;
  EXPECT_EQ(row[2], Variant("Manutenção do sistema de vendas."));
  EXPECT_EQ(row[3], Variant("Boleto pela planilha"));
  EXPECT_EQ(row[14], Variant(2.5));
  std::vector<Variant> added = paramsOf("104").rows.at(0).values;
  EXPECT_EQ(added[3], Variant("Boleto, novo"));
  EXPECT_TRUE(added[2].isNull());
  EXPECT_EQ(paramsOf("102").rows.size(), 2u);

  // The default texts, checked without writing.
  const std::string defaults = exported(ExchangeTable::Defaults);
  ImportReport dry = import("CDEMPRESA;IDTPFATUEMPRESA;DSFATUREMPRESA\n04;5;Mão de obra Delta.\n",
                            ExchangeTable::Defaults, true);
  EXPECT_EQ(dry.added, 1);
  EXPECT_EQ(dry.batch, 0);
  EXPECT_EQ(exported(ExchangeTable::Defaults), defaults);
}

TEST_P(Exchange, AdministratorCommandsPreviewCopyAndUndo) {
  auto run = [&](std::vector<std::string> args, std::string *out = nullptr) {
    args.insert(args.begin() + 1, {"--db", db_->url()});
    std::istringstream in;
    std::ostringstream o, e;
    int status = runAdminCommand(args, in, o, e);
    if (out) *out = o.str() + e.str();
    return status;
  };
  const std::string before = exported();
  std::string text;
  ASSERT_EQ(
      run({"copy", "--model", "102", "--types", "1,4", "--texts", "fat", "--targets", "'103'", "--dry-run"},
          &text),
      0)
      << text;
  EXPECT_NE(text.find("103      2        1/02, 4/03"), std::string::npos) << text;
  EXPECT_NE(text.find("Total: 1 cliente(s), 2 linha(s) a incluir, 0 a substituir"), std::string::npos)
      << text;
  EXPECT_EQ(exported(), before);
  ASSERT_EQ(run({"copy", "--model", "102", "--types", "1,4", "--texts", "fat", "--targets", "'103'"}, &text),
            0);
  EXPECT_NE(text.find(": 1 cliente(s), 2 linha(s) incluída(s)"), std::string::npos) << text;
  std::string batch = [&] {
    auto s = store_->session();
    return std::to_string(listBatches(*s).back().number);
  }();
  // Only the invoice text was ordered: the slip text is the type's default.
  EXPECT_EQ(paramsOf("103").rows[0].values[3], Variant("Prestação de serviços de processamento de dados."));
  ASSERT_EQ(run({"batches"}, &text), 0);
  EXPECT_NE(text.find("copia"), std::string::npos) << text;
  ASSERT_EQ(run({"history", "--client", "103", "--csv"}, &text), 0);
  EXPECT_NE(text.find("DTHIST;NMUSUARIO;NRPEDIDO"), std::string::npos) << text;
  ASSERT_EQ(run({"undo", batch}, &text), 0) << text;
  EXPECT_EQ(exported(), before);
  EXPECT_EQ(run({"undo", batch}, &text), 1);
  EXPECT_NE(text.find("já foi desfeito"), std::string::npos) << text;
  EXPECT_EQ(run({"undo", "x"}), 1);
  EXPECT_EQ(run({"copy", "--model", "102"}), 2);
  EXPECT_EQ(run({"history", "--nada", "1"}), 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, Exchange, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
