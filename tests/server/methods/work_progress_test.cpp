// Long bulk work followed and stopped: a copy to every client and an import tell how far they got,
// step by step up to their total, and a stop asked in the middle rolls them back whole. Over the
// wire, a desktop follows its copy by the name it gave it and may stop it, even before it starts.
#include <sstream>

#include "server/admin/admin.h"
#include "server/admin/exchange.h"
#include "server/admin/undo.h"
#include "server/methods/copy_order.h"
#include "server/methods/work.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class WorkProgressTest : public ServerTest {
protected:
  // Model 102's types 1 and 4 to every other client: 9 targets in the demo base.
  static DataPacket order() {
    DeltaBuilder o({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                    FieldDef{"DSFATURCLIE", FieldType::String, 400},
                    FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
    o.insert({"1", "Customização copiada.", nullptr});
    o.insert({"4", nullptr, "Boleto de locação."});
    return o.packet;
  }
  rdmParamFatCli::CopyReport copy(WorkProgress &progress) {
    auto s = store_->session();
    return rdmParamFatCli::GeraAutomParam(*s, "T", "102", order(), Author{"ana", 0, "copy"}, {&progress, 2});
  }
  std::vector<Rows> everything() {
    auto s = store_->session();
    return everyWrittenRow(*s);
  }
  // The error code a work ended with; empty when it went through.
  template <class F> static std::string outcome(F &&work) {
    try {
      work();
      return {};
    } catch (const ServiceError &e) {
      return std::string(errorCodeName(e.code()));
    }
  }
  // Each (done, total) the work told, in order.
  std::vector<std::pair<std::int64_t, std::int64_t>> told;
  WorkProgress::Listener record() {
    return [this](std::int64_t done, std::int64_t total) { told.emplace_back(done, total); };
  }
  // done rises step by step, never back, to the total, which stays what it was first told.
  void expectRisingToTotal(std::int64_t total) {
    ASSERT_GE(told.size(), 3u) << "a work of several steps told too little";
    for (std::size_t i = 0; i < told.size(); ++i) {
      EXPECT_EQ(told[i].second, total);
      if (i) {
        EXPECT_GT(told[i].first, told[i - 1].first) << "step " << i;
      }
    }
    EXPECT_EQ(told.front().first, 0);
    EXPECT_EQ(told.back().first, total);
  }
};

TEST_P(WorkProgressTest, ACopyTellsItsClientsStepByStepUpToItsTotal) {
  WorkProgress progress(record());
  const rdmParamFatCli::CopyReport report = copy(progress);
  EXPECT_EQ(report.clients, 9);
  expectRisingToTotal(9);
  // Going by steps copies what the whole copy did in one: every target has both types.
  auto s = store_->session();
  EXPECT_EQ(s->query("SELECT COUNT(DISTINCT CDCLIENTE) FROM PARCLIEKDR WHERE IDTPFATUCLIE IN ('1', '4') "
                     "AND CDCLIENTE <> '102'")[0][0],
            Variant(std::int64_t{9}));
  EXPECT_EQ(report.rows, report.added + report.replaced);
}

TEST_P(WorkProgressTest, ACopyStoppedInTheMiddleLeavesTheDatabaseExactlyAsBefore) {
  const std::vector<Rows> before = everything();
  WorkProgress progress([&progress](std::int64_t done, std::int64_t) {
    if (done >= 4) progress.cancel(); // after two steps have written their clients
  });
  EXPECT_EQ(outcome([&] { copy(progress); }), "cancelled");
  EXPECT_EQ(everything(), before);
  // The next copy goes through and takes the batch number the stopped one never kept.
  WorkProgress again;
  EXPECT_EQ(copy(again).clients, 9);
}

TEST_P(WorkProgressTest, AnImportTellsItsRecordsAndAStopRollsItBackWhole) {
  std::string file;
  {
    auto s = store_->session();
    file = exportCsv(*s, ExchangeTable::Params);
  }
  // A new row first (client 109 had none), then the ten rows as they are.
  const std::size_t firstRow = file.find('\n') + 1;
  std::string newRow = file.substr(firstRow, file.find('\n', firstRow) - firstRow + 1);
  newRow.replace(0, newRow.find(';'), "109");
  file.insert(firstRow, newRow);
  auto importWith = [&](WorkProgress &progress) {
    std::istringstream in(file);
    auto s = store_->session();
    return importCsv(*s, ExchangeTable::Params, in, ImportOptions{false, csv::Encoding::Utf8, &progress, 2},
                     Author{"planilha", 0, "import"});
  };

  const std::vector<Rows> before = everything();
  WorkProgress stopped([&stopped](std::int64_t done, std::int64_t) {
    if (done >= 2) stopped.cancel();
  });
  EXPECT_EQ(outcome([&] { importWith(stopped); }), "cancelled");
  EXPECT_EQ(everything(), before);

  WorkProgress progress(record());
  EXPECT_EQ(importWith(progress).added, 1);
  expectRisingToTotal(11);
}

TEST_P(WorkProgressTest, AnUndoTellsTheRowsItPutsBack) {
  WorkProgress quiet;
  const rdmParamFatCli::CopyReport copied = copy(quiet);
  WorkProgress progress(record());
  auto s = store_->session();
  undoBatch(*s, copied.batch, Author{"ana", 0, "undo"}, &progress);
  ASSERT_FALSE(told.empty());
  EXPECT_EQ(told.back(), std::make_pair(copied.rows, copied.rows));
}

// What a desktop sees: its copy under the name it chose, followed and stopped by that name; another
// user's desktop can neither see nor stop it.
TEST_P(WorkProgressTest, ADesktopFollowsAndStopsItsCopyByName) {
  const std::string work = "KDR_LOTE_WORK";
  // This desk's supervisor, and a clerk at another desk.
  const std::string supervisor = session_, clerk = signIn("atendente", "atendente");
  auto progressOf = [&](const std::string &bearer) {
    return callServer(port_, "GetProgresso", {work}, "KDR.rdmTrabalho", bearer);
  };
  Reply nothing = progressOf(supervisor);
  ASSERT_EQ(nothing.status, 200) << nothing.text;
  EXPECT_EQ(nothing.result(), Variant(Variant::Array{std::int64_t{0}, std::int64_t{0}, false}));

  // Cancelar pressed before the copy reached the server: the copy stops at once, nothing is kept.
  const std::vector<Rows> before = everything();
  ASSERT_EQ(callServer(port_, "Cancela", {work}, "KDR.rdmTrabalho", supervisor).status, 200);
  Reply stopped =
      callServer(port_, "GeraAutomParamAcompanhado", {"T", "102", makePacketVariant(order()), work},
                 "KDR03020.rdmParamFatCli", supervisor);
  EXPECT_EQ(stopped.errorCode(), "cancelled") << stopped.text;
  EXPECT_EQ(stopped.message(), "Operação cancelada pelo usuário. Nada foi gravado.");
  EXPECT_EQ(everything(), before);

  // Another user's stop under the same name does not reach this user's copy.
  ASSERT_EQ(callServer(port_, "Cancela", {work}, "KDR.rdmTrabalho", clerk).status, 200);
  Reply done = callServer(port_, "GeraAutomParamAcompanhado", {"T", "102", makePacketVariant(order()), work},
                          "KDR03020.rdmParamFatCli", supervisor);
  ASSERT_EQ(done.status, 200) << done.text;
  EXPECT_EQ(done.packet().rows.at(0).values.at(0), Variant(std::int64_t{9}));
  EXPECT_EQ(progressOf(supervisor).result(), nothing.result()) << "a finished work is no longer followed";

  EXPECT_EQ(callServer(port_, "Cancela", {"não é um nome"}, "KDR.rdmTrabalho", supervisor).errorCode(),
            "invalid_argument");
}

// At the terminal the administrator sees the line move; elsewhere (a script's log) nothing of it.
TEST_P(WorkProgressTest, TheCopyCommandShowsItsProgressOnlyWhenAsked) {
  std::istringstream in;
  std::ostringstream out, err;
  const std::vector<std::string> args{"copy",    "--db", db_->url(),  "--model", "102",
                                      "--types", "1",    "--targets", "T"};
  ASSERT_EQ(runAdminCommand(args, in, out, err, true), 0) << err.str();
  EXPECT_NE(err.str().find("\rcopiando: 9 de 9 clientes (100%)"), std::string::npos) << err.str();
  EXPECT_EQ(err.str().back(), '\n');
  std::ostringstream quietOut, quietErr;
  ASSERT_EQ(runAdminCommand(args, in, quietOut, quietErr), 0);
  EXPECT_EQ(quietErr.str(), "");
}

INSTANTIATE_TEST_SUITE_P(Engines, WorkProgressTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
