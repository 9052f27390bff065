// Parameters through a spreadsheet file, and the administrator's commands that use it.
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include "server/admin/admin.h"
#include "server/admin/csv.h"
#include "server/admin/exchange.h"
#include "server/admin/seed.h"
#include "server/admin/undo.h"
#include "server/store/engines.h"
#include "tests/server/held_work.h"
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
  ImportReport importWith(const std::string &text, ImportOptions options) {
    auto s = store_->session();
    std::istringstream file(text);
    return importCsv(*s, ExchangeTable::Params, file, options, Author{"planilha", 0, "import"});
  }
  std::string importRefusal(const std::string &text, ImportOptions options = {}) {
    try {
      importWith(text, options);
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
  EXPECT_NE(importRefusal("CDCLIENTE;IDTPFATUCLIE;NMQUALQUER\n101;3;x\n").find("NMQUALQUER"),
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

TEST_P(Exchange, AnEmptyCellTakesTheStoredValueAway) {
  // What an export writes for a value that is not there, an import reads back as not there.
  ImportReport r = import("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSBOLETCLIE;VRPERCAJUSTEINV\n101;3;01;;\n");
  EXPECT_EQ(r.changed, 1);
  std::vector<Variant> row = paramsOf("101").rows[0].values;
  EXPECT_TRUE(row[3].isNull());
  EXPECT_TRUE(row[14].isNull());
  EXPECT_EQ(row[2], Variant("Manutenção do sistema de vendas."));
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
  ASSERT_EQ(run({"status"}, &text), 0);
  EXPECT_TRUE(std::regex_search(text, std::regex("último lote: " + batch + ", \\d{4}-\\d{2}-\\d{2}.* UTC, ")))
      << text;
  ASSERT_EQ(run({"batches"}, &text), 0);
  EXPECT_NE(text.find("copia"), std::string::npos) << text;
  ASSERT_EQ(run({"history", "--client", "103", "--csv"}, &text), 0);
  EXPECT_NE(text.find("DTHIST;NMUSUARIO;NRPEDIDO"), std::string::npos) << text;
  ASSERT_EQ(run({"undo", batch}, &text), 0) << text;
  EXPECT_EQ(exported(), before);
  EXPECT_EQ(run({"undo", batch}, &text), 1);
  EXPECT_NE(text.find("já foi desfeito"), std::string::npos) << text;
  EXPECT_EQ(run({"undo", "x"}), 2); // a mistyped batch number is a usage error
  EXPECT_EQ(run({"copy", "--model", "102"}), 2);
  EXPECT_EQ(run({"history", "--nada", "1"}), 2);

  // Both texts ordered: the target's row carries the model's slip text too.
  ASSERT_EQ(
      run({"copy", "--model", "102", "--types", "1", "--texts", "fat,bol", "--targets", "'103'"}, &text), 0)
      << text;
  EXPECT_EQ(paramsOf("103").rows[0].values[1], Variant("1"));
  EXPECT_EQ(paramsOf("103").rows[0].values[3], Variant("Boleto de customização."));
}

// A file piped in (read twice where the clients are locked ahead, so kept aside first).
TEST_P(Exchange, AFileFromStandardInputIsImportedLikeAFile) {
  std::istringstream in("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n101;3;01;Pela entrada padrão\n");
  std::ostringstream out, err;
  ASSERT_EQ(runAdminCommand({"import", "--db", db_->url(), "params", "-"}, in, out, err), 0) << err.str();
  EXPECT_EQ(store_->session()
                ->query("SELECT DSFATURCLIE FROM PARCLIEKDR WHERE CDCLIENTE = '101' AND IDTPFATUCLIE = '3'")
                .at(0)[0],
            Variant("Pela entrada padrão"));
}

TEST_P(Exchange, TextThatIsNotUtf8IsRefusedNamingLineAndFieldInTheDryAndTheRealRun) {
  const std::string before = exported();
  const std::string head = "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n101;3;01;Linha boa\n";
  for (const char *bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5", "\xC3("}) {
    const std::string file = head + "101;5;01;Texto " + bad + " ruim\n";
    const std::string real = importRefusal(file), dry = importRefusal(file, {true});
    EXPECT_NE(real.find("Linha 3, campo DSFATURCLIE: o texto não está em UTF-8"), std::string::npos) << real;
    EXPECT_EQ(real.find("Linha 2"), std::string::npos) << real;
    EXPECT_EQ(dry, real);
  }
  EXPECT_NE(
      importRefusal(head + "101;5;01;a" + '\0' + "b\n").find("Linha 3, campo DSFATURCLIE: caractere nulo"),
      std::string::npos);
  // A file saved by a spreadsheet in Windows-1252: refused with the way out, or read as such.
  const std::string ansi = "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n101;3;01;Manuten\xE7\xE3o \x80 5\n";
  EXPECT_NE(importRefusal(ansi).find("--encoding cp1252"), std::string::npos);
  EXPECT_EQ(exported(), before);
  EXPECT_EQ(importWith(ansi, {false, csv::Encoding::Windows1252}).changed, 1);
  EXPECT_EQ(paramsOf("101").rows[0].values[2], Variant("Manutenção € 5"));
}

TEST_P(Exchange, TheDryRunRefusesWhatTheRealRunRefusesWithTheSameMessage) {
  const std::string before = exported();
  // 101 already has type 3 with company 01: one row per billing type, a rule met only on writing.
  const std::string file = "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n101;3;02;a\n";
  const std::string dry = importRefusal(file, {true}), real = importRefusal(file);
  EXPECT_NE(real.find("Linha 2: Tipo de Faturamento já cadastrado"), std::string::npos) << real;
  EXPECT_EQ(dry, real);
  EXPECT_EQ(exported(), before);
  // Rows the file itself writes count for the rows after them.
  const std::string twice = "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA\n104;2;01\n104;2;02\n";
  EXPECT_NE(importRefusal(twice, {true}).find("Linha 3: Tipo de Faturamento já cadastrado"),
            std::string::npos);
  auto s = store_->session();
  const std::size_t batches = listBatches(*s).size();
  ImportReport dryOk = importWith("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA\n104;2;01\n101;3;01\n", {true});
  EXPECT_EQ(listBatches(*s).size(), batches);
  EXPECT_EQ(exported(), before);
  ImportReport realOk = importWith("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA\n104;2;01\n101;3;01\n", {});
  EXPECT_EQ(dryOk.batch, 0);
  EXPECT_NE(realOk.batch, 0);
  EXPECT_EQ(std::tie(dryOk.added, dryOk.changed, dryOk.unchanged),
            std::tie(realOk.added, realOk.changed, realOk.unchanged));
  EXPECT_EQ(realOk.added, 1);
  EXPECT_EQ(realOk.unchanged, 1);
}

TEST_P(Exchange, RecordsThatDoNotSayOneThingAreRefused) {
  const std::string before = exported();
  // A rate with text after the number, as a spreadsheet with another decimal mark writes it.
  EXPECT_NE(importRefusal("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;VRPERCAJUSTEINV\n101;3;01;1.234,50\n")
                .find("Linha 2, campo VRPERCAJUSTEINV: \"1.234,50\" não é um número"),
            std::string::npos);
  EXPECT_NE(importRefusal("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;VRPERCAJUSTEINV\n101;3;01;12abc\n").find("12abc"),
            std::string::npos);
  // A record with fewer cells, or more, than the header.
  EXPECT_NE(
      importRefusal(std::string(header) + "104;2;01;N;N;Fatura\n").find("Linha 2: esperados 11 campos, há 6"),
      std::string::npos);
  EXPECT_NE(importRefusal("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA\n104;2;01;x\n").find("esperados 3 campos, há 4"),
            std::string::npos);
  // A header naming a field twice, in any case: which of the two is meant?
  EXPECT_NE(importRefusal("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE;dsfaturclie\n101;3;01;a;b\n")
                .find("aparece duas vezes"),
            std::string::npos);
  // A damaged file is refused at its line, not read into memory whole: a line past a mebibyte, a
  // quote that never closes.
  const std::string texts = "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n";
  EXPECT_NE(importRefusal(texts + "101;3;01;" + std::string(1 << 20, 'x') + "\n")
                .find("linha 2: linha longa demais"),
            std::string::npos);
  EXPECT_NE(
      importRefusal(texts + "101;3;01;\"aberta\n102;3;01;x\n").find("linha 2: aspas abertas e não fechadas"),
      std::string::npos);
  EXPECT_EQ(exported(), before);
}

TEST_P(Exchange, FormulaLikeTextsAreMarkedForSpreadsheetsAndComeBackExactly) {
  setTexts("=HYPERLINK(\"http://x\";\"y\")", "-desconto de 5%");
  DeltaBuilder d(paramFatCliFields());
  d.modify(paramsOf("102").rows[0].values, {{"DSFATURCLIE", "@SUM(A1)"}, {"DSBOLETCLIE", "'+já marcado"}});
  d.modify(paramsOf("102").rows[1].values, {{"DSFATURCLIE", "-5%"}, {"DSBOLETCLIE", "-12,5"}});
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  const std::string file = exported();
  EXPECT_NE(file.find(";\"'=HYPERLINK(\"\"http://x\"\";\"\"y\"\")\";'-desconto de 5%;"), std::string::npos)
      << file;
  EXPECT_NE(file.find(";'@SUM(A1);''+já marcado;"), std::string::npos) << file;
  // A number stays a number; a number with more after it is a formula's start.
  EXPECT_NE(file.find(";'-5%;-12,5;"), std::string::npos) << file;
  setTexts("Outro", "Outro");
  EXPECT_EQ(import(file).changed, 1);
  EXPECT_EQ(exported(), file);
  EXPECT_EQ(paramsOf("101").rows[0].values[3], Variant("-desconto de 5%"));
  EXPECT_EQ(paramsOf("102").rows[0].values[3], Variant("'+já marcado"));
  // The history's file too.
  std::istringstream in;
  std::ostringstream out, err;
  ASSERT_EQ(runAdminCommand({"history", "--db", db_->url(), "--client", "101", "--csv"}, in, out, err), 0);
  EXPECT_NE(out.str().find(";'-desconto de 5%"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find(";-desconto"), std::string::npos) << out.str();
}

TEST_P(Exchange, CodesAFileLostTheZerosOfAreBroughtToTheirWidthAndReadableColumnsAreSkipped) {
  connectTo(db_->url())->execute("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE) VALUES ('0042', 'Zero')");
  // What a spreadsheet gives back of "0042", "01", "001" and "000000000001".
  ImportReport r = importWith("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;CDTIPOSERV;CDGERENTEIMPCLI\n"
                              "42;1;1;1;1\n101;3;1;;\n",
                              {});
  EXPECT_EQ(r.added, 1);
  EXPECT_EQ(r.unchanged, 1);
  std::vector<Variant> added = paramsOf("0042").rows.at(0).values;
  EXPECT_EQ(added[7], Variant("01"));
  EXPECT_EQ(added[5], Variant("001"));
  EXPECT_EQ(added[12], Variant("000000000001"));

  auto s = store_->session();
  std::ostringstream readable;
  exportCsv(*s, ExchangeTable::Params, readable, ExportOptions{"103", true});
  EXPECT_NE(readable.str().find(";NMFANTCLIE;NRINSJURCLIE;NMTPFATU;NMEMPRESA\n"), std::string::npos);
  EXPECT_NE(readable.str().find(";João da Silva;123.456.789-09;2 ("), std::string::npos) << readable.str();
  const std::string before = exported();
  ImportReport same = importWith(readable.str(), {});
  EXPECT_EQ(same.unchanged, 1);
  EXPECT_EQ(same.added + same.changed, 0);
  EXPECT_EQ(exported(), before);
  EXPECT_NE(importRefusal("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;NMCLIENTE\n101;3;01;x\n").find("NMCLIENTE"),
            std::string::npos);
}

TEST_P(Exchange, UndoingAnImportRemovesWhatItAddedAndPutsBackWhatItChanged) {
  const std::string before = exported();
  ImportReport r =
      import("CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSBOLETCLIE\n101;3;01;Da planilha\n104;2;01;Novo\n");
  ASSERT_EQ(r.changed, 1);
  ASSERT_EQ(r.added, 1);
  auto s = store_->session();
  const UndoReport undone = undoBatch(*s, r.batch, Author{"admin", 0, "undo"});
  EXPECT_EQ(undone.removed, 1);
  EXPECT_EQ(undone.restored, 1);
  EXPECT_EQ(exported(), before);
  // The undo's batch says what it put back, and the import's says who put it back.
  const std::optional<BatchInfo> imported = findBatch(*s, r.batch), undo = findBatch(*s, undone.batch);
  ASSERT_TRUE(imported && undo);
  EXPECT_EQ(std::tie(undo->added, undo->replaced, undo->undoes),
            std::tie(imported->added, imported->replaced, r.batch));
  EXPECT_EQ(std::tie(imported->added, imported->replaced, imported->undoneBy),
            std::make_tuple(1, 1, undone.batch));
}

TEST_P(Exchange, UndoingAnImportRefusesRowsChangedAfterItByTheDesktopOrByHand) {
  const std::string file =
      "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSBOLETCLIE\n101;3;01;Da planilha\n102;1;02;Idem\n";
  ImportReport r = import(file);
  ASSERT_EQ(r.changed, 2);
  auto undo = [&] {
    auto s = store_->session();
    try {
      undoBatch(*s, r.batch, Author{"admin", 0, "undo"});
    } catch (const ServiceError &e) {
      return e.Message();
    }
    return std::string("desfeito");
  };
  // By hand, outside the server: no history says so, the row itself does.
  connectTo(db_->url())->execute("UPDATE PARCLIEKDR SET DSBOLETCLIE = 'À mão' WHERE CDCLIENTE = '102'");
  std::string refused = undo();
  EXPECT_NE(refused.find("cliente 102, tipo 1"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("cliente 101"), std::string::npos) << refused;
  EXPECT_EQ(paramsOf("102").rows[0].values[3], Variant("À mão"));
  EXPECT_EQ(paramsOf("101").rows[0].values[3], Variant("Da planilha"));
  connectTo(db_->url())->execute("UPDATE PARCLIEKDR SET DSBOLETCLIE = 'Idem' WHERE CDCLIENTE = '102'");
  // By a desktop, in a field the import did not touch.
  DeltaBuilder d(paramFatCliFields());
  d.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", "Da tela"}});
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  refused = undo();
  EXPECT_NE(refused.find("cliente 101, tipo 3"), std::string::npos) << refused;
  EXPECT_EQ(paramsOf("101").rows[0].values[3], Variant("Da planilha"));
  d = DeltaBuilder(paramFatCliFields());
  d.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", "Manutenção do sistema de vendas."}});
  ASSERT_EQ(call("SetParamFatCli", {d.variant()}).status, 200);
  EXPECT_NE(undo().find("cliente 101"), std::string::npos) << "a later change is still a later change";
}

// An import takes the clients it writes in code order before writing any, as a copy and an undo
// take theirs: one taking them in the file's order would hold a later client while it waits for an
// earlier one, and a writer holding the earlier one and coming for the later would wait for it in
// turn. SQLite writers queue for the database's one write lock instead: PostgreSQL only.
class ImportLocks : public Exchange {
protected:
  void SetUp() override { start("postgresql", HttpOptions{}); }
};

TEST_F(ImportLocks, TakesTheFilesClientsInCodeOrderBeforeWritingAny) {
  auto line = [&](const std::string &client) {
    const Row r = store_->session()
                      ->query("SELECT CDCLIENTE, IDTPFATUCLIE, CDEMPRESA FROM PARCLIEKDR WHERE "
                              "CDCLIENTE = ? ORDER BY IDTPFATUCLIE",
                              {client})
                      .at(0);
    return r[0].str() + ";" + r[1].str() + ";" + r[2].str() + ";Importado\n";
  };
  const std::string file = "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n" + line("102") + line("101");
  auto other = openPostgresql(db_->url());
  other->executeScript("BEGIN");
  other->query("SELECT 1 FROM CLIENTE WHERE CDCLIENTE = '101' FOR UPDATE");
  ImportReport report;
  Attempt importing([&] { report = import(file); });
  ASSERT_TRUE(importing.waitsFor(db_->url()));
  // Holding 101, the other writer comes for 102: the waiting import must not hold it.
  EXPECT_NO_THROW(other->query("SELECT 1 FROM CLIENTE WHERE CDCLIENTE = '102' FOR UPDATE"));
  other->executeScript("COMMIT");
  importing.finish();
  EXPECT_EQ(report.changed, 2);
}

// A file longer than the rounds the import writes at once (a base of 400 clients, 804 rows):
// every row is written and recorded in the file's order, and faults of reading and of writing are
// listed in the file's order across the rounds.
class ImportRounds : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    if (!db_.available()) GTEST_SKIP() << "PostgreSQL suite skipped: KDR_TEST_PG is not set";
    store_ = Store::open(db_.url());
    ASSERT_TRUE(seedBulk(*store_->session(), 400));
  }
  std::string exported() { return exportCsv(*store_->session(), ExchangeTable::Params); }
  ImportReport import(const std::string &text) {
    return importCsv(*store_->session(), ExchangeTable::Params, text, false, Author{"planilha", 0, "import"});
  }
  // The exported file with the cell of each line the change names replaced: column (from 0) -> text.
  static std::string changed(const std::string &file,
                             const std::function<std::map<std::size_t, std::string>(std::size_t)> &change) {
    std::istringstream in(file);
    std::string out, line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
      std::vector<std::string> cells;
      std::stringstream cellsIn(line);
      for (std::string cell; std::getline(cellsIn, cell, ';');) cells.push_back(cell);
      if (line.back() == ';') cells.emplace_back();
      if (number > 1)
        for (const auto &[column, text] : change(number)) cells.at(column) = text;
      for (std::size_t i = 0; i < cells.size(); ++i) out += (i ? ";" : "") + cells[i];
      out += '\n';
    }
    return out;
  }
  ScratchDatabase db_{GetParam()};
  std::unique_ptr<Store> store_;
};

TEST_P(ImportRounds, RowsAreWrittenAndRecordedAndFaultsListedInTheFilesOrder) {
  const std::string before = exported();
  const std::size_t invoice = 5, flag = 3, rate = 10;
  const std::string file = changed(before, [&](std::size_t line) {
    return std::map<std::size_t, std::string>{{invoice, "Rodada " + std::to_string(line)}};
  });

  // A refused write (a flag) just before a refused reading (a rate), at the start and past the first round.
  const std::string faulty = changed(file, [&](std::size_t line) {
    if (line == 2 || line == 600) return std::map<std::size_t, std::string>{{flag, "X"}};
    if (line == 3 || line == 601) return std::map<std::size_t, std::string>{{rate, "abc"}};
    return std::map<std::size_t, std::string>{};
  });
  try {
    import(faulty);
    ADD_FAILURE() << "import was not refused";
  } catch (const ServiceError &e) {
    const std::string m = e.Message();
    std::vector<std::size_t> at;
    for (const char *line : {"\nLinha 2: ", "\nLinha 3, ", "\nLinha 600: ", "\nLinha 601, "})
      at.push_back(m.find(line));
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end()) && at.back() != std::string::npos) << m;
  }
  EXPECT_EQ(exported(), before);

  const ImportReport r = import(file);
  EXPECT_EQ(std::tie(r.added, r.changed, r.unchanged), std::make_tuple(0, 804, 0));
  EXPECT_EQ(exported(), file);
  const Rows records = store_->session()->query(
      "SELECT CDCLIENTE, DSCAMPOS FROM KDR_HISTORICO WHERE NRLOTE = ? ORDER BY NRHIST", {r.batch});
  ASSERT_EQ(records.size(), 804u);
  std::istringstream lines(file);
  std::string line;
  std::getline(lines, line);
  for (std::size_t i = 0; i < records.size() && std::getline(lines, line); ++i) {
    EXPECT_EQ(records[i][0].asString(), line.substr(0, line.find(';'))) << i;
    EXPECT_NE(records[i][1].asString().find("\"Rodada " + std::to_string(i + 2) + "\""), std::string::npos)
        << records[i][1].asString();
  }
  undoBatch(*store_->session(), r.batch, Author{"admin", 0, "undo"});
  EXPECT_EQ(exported(), before);
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportRounds, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

INSTANTIATE_TEST_SUITE_P(Engines, Exchange, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
