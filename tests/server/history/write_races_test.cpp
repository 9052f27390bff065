// Writers of one client's parameters meeting on PostgreSQL, where they run at once: an undo and a
// desktop's save, an undo and a later copy, two undos of one batch, two desktops adding one row, a
// copy and a desktop adding a row of one billing type; and, on both engines, a copy's preview and
// a desktop's save.
// Each case holds the first writer just before its commit, with every lock it takes, starts the
// second, waits until the second waits for a lock, then lets the first commit: the interleaving
// that lost data when the second checked before the first committed and wrote after.
// (SQLite lets one writer in at a time; the same outcomes there are in history_test.cpp.)
#include <thread>

#include "server/admin/undo.h"
#include "server/history/history.h"
#include "server/methods/copy_order.h"
#include "server/methods/param_fat_cli.h"
#include "tests/server/held_work.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class WriteRaces : public ServerTest {
protected:
  void SetUp() override { start("postgresql", HttpOptions{}); }

  static DataPacket order(const std::string &invoice) {
    DeltaBuilder o({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                    FieldDef{"DSFATURCLIE", FieldType::String, 400},
                    FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
    o.insert({"1", invoice, "Boleto copiado."});
    return o.packet;
  }
  // Model 102's type 1 to 1010 (which has it at companies 01 and 02) and 103 (which has not).
  std::int64_t copy(Session &s, const std::string &invoice) {
    return rdmParamFatCli::GeraAutomParam(s, "'1010','103'", "102", order(invoice),
                                          Author{"admin", 0, "copy"})
        .batch;
  }
  std::int64_t copy(const std::string &invoice) {
    auto s = store_->session();
    return copy(*s, invoice);
  }
  // The undo, run once another writer waits for a lock: its failure's message, or "".
  std::string undoWhileHeld(std::int64_t batch, HeldWork &held) {
    std::string message;
    std::thread undo([&] {
      try {
        auto s = store_->session();
        undoBatch(*s, batch, Author{"admin", 0, "undo"});
      } catch (const ServiceError &e) {
        message = e.Message();
      }
    });
    // The undo comes to wait for the held writer, as it must, whether before or after its check.
    auto watcher = connectTo(db_->url());
    EXPECT_NE(waitForLockWaiter(*watcher), 0);
    held.release();
    undo.join();
    return message;
  }
  Variant invoiceOf(const std::string &client, std::size_t row) {
    return paramsOf(client).rows.at(row).values[2];
  }
};

TEST_F(WriteRaces, ADesktopSaveCommittingWhileAnUndoRunsIsKept) {
  const std::int64_t batch = copy("Customização copiada.");
  DeltaBuilder save(paramFatCliFields());
  save.modify(paramsOf("1010").rows[0].values, {{"DSFATURCLIE", "Salvo pelo desktop."}});
  HeldWork desktop(db_->url(), [&](Session &s) {
    rdmParamFatCli::SetParamFatCli(s, save.packet, Author{"desktop", 1, "SetParamFatCli"});
  });
  const std::string refusal = undoWhileHeld(batch, desktop);
  EXPECT_EQ(desktop.outcome(), "");
  EXPECT_NE(refusal.find("cliente 1010, tipo 1 (Customização), empresa 01"), std::string::npos) << refusal;
  EXPECT_EQ(invoiceOf("1010", 0), Variant("Salvo pelo desktop."));
  EXPECT_EQ(invoiceOf("103", 0), Variant("Customização copiada."));
}

TEST_F(WriteRaces, ALaterCopyCommittingWhileAnUndoRunsIsKept) {
  const std::int64_t first = copy("Primeira cópia.");
  HeldWork later(db_->url(), [&](Session &s) { copy(s, "Segunda cópia."); });
  const std::string refusal = undoWhileHeld(first, later);
  EXPECT_EQ(later.outcome(), "");
  EXPECT_NE(refusal.find("não pode ser desfeito"), std::string::npos) << refusal;
  EXPECT_EQ(invoiceOf("1010", 0), Variant("Segunda cópia."));
  EXPECT_EQ(invoiceOf("1010", 1), Variant("Segunda cópia."));
  EXPECT_EQ(invoiceOf("103", 0), Variant("Segunda cópia."));
}

TEST_F(WriteRaces, OneBatchUndoneTwiceAtOnceIsUndoneOnce) {
  const std::int64_t batch = copy("Customização copiada.");
  HeldWork first(db_->url(), [&](Session &s) { undoBatch(s, batch, Author{"admin", 0, "undo"}); });
  const std::string second = undoWhileHeld(batch, first);
  EXPECT_EQ(first.outcome(), "");
  EXPECT_NE(second.find("já foi desfeito"), std::string::npos) << second;
  auto s = store_->session();
  EXPECT_EQ(listBatches(*s).size(), 2u);
  HistoryFilter undone;
  undone.client = "103";
  // The copy's row of 103 added, then removed once.
  std::size_t removals = 0;
  for (const HistoryEntry &e : readHistory(*s, undone)) removals += e.change.operation == Operation::Delete;
  EXPECT_EQ(removals, 1u);
}

// One condition, one answer: the row that is already there is a conflict on both engines.
TEST_F(WriteRaces, TwoDesktopsAddingOneRowAtOnceGetAConflict) {
  DeltaBuilder add(paramFatCliFields());
  add.insert(paramRow("104", "1", "01"));
  HeldWork first(db_->url(), [&](Session &s) {
    rdmParamFatCli::SetParamFatCli(s, add.packet, Author{"desktop", 1, "SetParamFatCli"});
  });
  Reply second;
  std::thread desktop([&] { second = call("SetParamFatCli", {add.variant()}); });
  auto watcher = connectTo(db_->url());
  EXPECT_NE(waitForLockWaiter(*watcher), 0);
  first.release();
  desktop.join();
  EXPECT_EQ(first.outcome(), "");
  EXPECT_EQ(second.status, 409) << second.text;
  EXPECT_NE(second.message().find("O cliente 104 já tem parâmetro do tipo de faturamento 1"),
            std::string::npos)
      << second.message();
}

// The copy rule holds against a desktop: a client never ends with two rows of one billing type,
// whichever of the two commits first.
TEST_F(WriteRaces, ACopyAndADesktopAddingOneBillingTypeLeaveOneRow) {
  DeltaBuilder add(paramFatCliFields());
  add.insert(paramRow("104", "1", "01"));
  auto copyTo104 = [&](Session &s) {
    rdmParamFatCli::GeraAutomParam(s, "'104'", "102", order("Customização copiada."),
                                   Author{"admin", 0, "copy"});
  };
  auto rowsOfType1 = [&] {
    std::size_t n = 0;
    for (const PacketRow &r : paramsOf("104").rows) n += r.values[1] == Variant("1");
    return n;
  };
  {
    // The desktop first: the copy then finds the type and replaces its texts.
    HeldWork desktop(db_->url(), [&](Session &s) {
      rdmParamFatCli::SetParamFatCli(s, add.packet, Author{"desktop", 1, "SetParamFatCli"});
    });
    Attempt copy([&] {
      auto s = store_->session();
      copyTo104(*s);
    });
    EXPECT_TRUE(copy.waitsFor(db_->url()));
    desktop.release();
    copy.finish();
    EXPECT_EQ(desktop.outcome(), "");
    EXPECT_EQ(rowsOfType1(), 1u);
    EXPECT_EQ(invoiceOf("104", 0), Variant("Customização copiada."));
  }
  {
    // The copy first: the desktop's row is refused.
    auto s = store_->session();
    undoBatch(*s, listBatches(*s).back().number, Author{"admin", 0, "undo"});
    DeltaBuilder clear(paramFatCliFields());
    clear.remove(paramsOf("104").rows.at(0).values);
    ASSERT_EQ(call("SetParamFatCli", {clear.variant()}).status, 200);
    HeldWork copy(db_->url(), copyTo104);
    Reply desktop;
    Attempt save([&] { desktop = call("SetParamFatCli", {add.variant()}); });
    EXPECT_TRUE(save.waitsFor(db_->url()));
    copy.release();
    save.finish();
    EXPECT_EQ(copy.outcome(), "");
    EXPECT_EQ(desktop.status, 400) << desktop.text;
    EXPECT_EQ(desktop.message(), "Tipo de Faturamento já cadastrado para o cliente informado.");
    EXPECT_EQ(rowsOfType1(), 1u);
  }
}

// A preview reads; a desktop saving one of its targets meanwhile is not kept waiting.
class PreviewWhileSaving : public ServerTest {};

TEST_P(PreviewWhileSaving, BlocksNoWriter) {
  DeltaBuilder order({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                      FieldDef{"DSFATURCLIE", FieldType::String, 400},
                      FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
  order.insert({"1", "Customização copiada.", nullptr});
  rdmParamFatCli::CopyPreview seen;
  // Held once it has worked out every target, at the query that sums them up.
  HeldWork preview(
      db_->url(),
      [&](Session &s) { seen = rdmParamFatCli::previewGeraAutomParam(s, "T", "102", order.packet); },
      [](std::string_view sql) { return sql.find("GROUP BY CDCLIENTE") != std::string_view::npos; });
  Reply saved;
  Attempt save([&] {
    DeltaBuilder d(paramFatCliFields());
    d.modify(paramsOf("1010").rows[0].values, {{"DSFATURCLIE", "Salvo durante a prévia."}});
    saved = call("SetParamFatCli", {d.variant()});
  });
  EXPECT_FALSE(save.waitsFor(db_->url())) << "the save waited for the preview";
  preview.release();
  save.finish();
  EXPECT_EQ(preview.outcome(), "");
  EXPECT_EQ(saved.status, 200) << saved.text;
  EXPECT_EQ(paramsOf("1010").rows[0].values[2], Variant("Salvo durante a prévia."));
  // The preview still tells what the copy would have done at its moment: 1010's two rows replaced.
  std::int64_t replaced = 0;
  for (const auto &t : seen.targets)
    if (t.client == "1010") replaced = t.replaced;
  EXPECT_EQ(replaced, 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, PreviewWhileSaving, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
