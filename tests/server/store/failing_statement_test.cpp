// Every write stopped at each of its statements in turn: the first statement fails, then the
// second, and so on until the write gets through. A failure is an error of the engine on one run
// and the loss of the connection on another. After each one the business tables and the history
// hold exactly what they held before, and the server goes on serving.
#include <atomic>

#include "server/admin/exchange.h"
#include "server/admin/undo.h"
#include "server/history/history.h"
#include "tests/server/hooked_session.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

using Fate = HookedSession::Fate;

// Shared by every connection of the store: counts statements and fails the chosen one.
struct FaultPlan {
  std::atomic<int> statements{0};
  std::atomic<int> failAt{0}; // 0: none
  std::atomic<Fate> fate{Fate::FailEngine};

  Fate decide() {
    const int n = ++statements;
    return n == failAt ? fate.load() : Fate::Run;
  }
  void arm(int n, Fate how) {
    statements = 0;
    fate = how;
    failAt = n;
  }
  bool fired() const { return failAt != 0 && statements >= failAt; }
};

class FailingStatement : public ServerTest {
protected:
  void SetUp() override {
    decorate_ = [plan = plan_](std::unique_ptr<Session> inner) -> std::unique_ptr<Session> {
      return std::make_unique<HookedSession>(std::move(inner),
                                             [plan](std::string_view) { return plan->decide(); });
    };
    ServerTest::SetUp();
  }

  void TearDown() override {
    reader_.reset();
    ServerTest::TearDown();
  }

  std::vector<Rows> everything() {
    if (!reader_) reader_ = connectTo(db_->url());
    return everyWrittenRow(*reader_);
  }

  // A write as prepare() makes it anew for each run (reading what it needs before any statement
  // is failed), run with its 1st, 2nd, ... statement failing until it gets through; the write
  // returns whether it did. Returns the number of runs that failed.
  using Write = std::function<bool()>;
  int failEachStatement(const std::string &name, Fate fate, const std::function<Write()> &prepare) {
    for (int n = 1; n < 500; ++n) {
      SCOPED_TRACE(name + ", statement " + std::to_string(n));
      const std::vector<Rows> before = everything();
      const Write write = prepare();
      plan_->arm(n, fate);
      const bool done = write();
      const bool fired = plan_->fired();
      plan_->arm(0, fate);
      if (!fired) {
        EXPECT_TRUE(done) << "the write failed on its own";
        EXPECT_NE(everything(), before) << "the write changed nothing";
        return n - 1;
      }
      EXPECT_FALSE(done) << "a failed statement was reported as success";
      EXPECT_EQ(everything(), before) << "a failed write left something behind";
      EXPECT_EQ(call("GetParamFatCli", {"101"}).status, 200) << "the server stopped serving";
      if (::testing::Test::HasFailure()) return n;
    }
    ADD_FAILURE() << name << " never got through";
    return 0;
  }

  bool ok(const Reply &r) { return r.status == 200; }

  template <class F> bool succeeds(F &&f) {
    try {
      f();
      return true;
    } catch (const std::exception &) {
      return false;
    }
  }

  std::shared_ptr<FaultPlan> plan_ = std::make_shared<FaultPlan>();
  std::unique_ptr<Session> reader_;
  int keys_ = 0;
};

TEST_P(FailingStatement, EveryWriteIsWholeOrNotAtAll) {
  int round = 0;
  for (Fate fate : {Fate::FailEngine, Fate::LoseConnection}) {
    const std::string how = fate == Fate::FailEngine ? " (engine error)" : " (connection lost)";
    ++round;
    // A change, a removal and an addition in one delta.
    EXPECT_GT(failEachStatement("SetParamFatCli" + how, fate,
                                [&]() -> Write {
                                  DeltaBuilder d(paramFatCliFields());
                                  d.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", "Texto" + how}});
                                  for (const PacketRow &r : paramsOf("104").rows) d.remove(r.values);
                                  d.insert(paramRow("104", std::to_string(round), "02"));
                                  return [this, d] { return ok(call("SetParamFatCli", {d.variant()})); };
                                }),
              3);
    // The same with the key of a resend: recorded with the write or not at all.
    EXPECT_GT(
        failEachStatement(
            "SetParamFatCli with a key" + how, fate,
            [&]() -> Write {
              DeltaBuilder d(paramFatCliFields());
              d.modify(paramsOf("101").rows[0].values, {{"DSFATURCLIE", "Chave" + how}});
              std::string body = "{\"args\":[";
              appendVariantJson(body, d.variant());
              body += "]}";
              return [this, body, key = "key-" + std::to_string(++keys_)] {
                return ok(post("/KDR03020.rdmParamFatCli/SetParamFatCli", body, {{"Idempotency-Key", key}}));
              };
            }),
        3);
    EXPECT_GT(failEachStatement("SetParEmpKdr" + how, fate,
                                [&]() -> Write {
                                  DeltaBuilder d(empresaKdrFields());
                                  d.insert({"04", std::to_string(round), "Texto" + how, nullptr});
                                  return [this, d] { return ok(call("SetParEmpKdr", {d.variant()})); };
                                }),
              3);
    EXPECT_GT(failEachStatement(
                  "GeraAutomParam" + how, fate,
                  [&]() -> Write {
                    DeltaBuilder order({FieldDef{"IDTPFATUCLIE", FieldType::String, 1},
                                        FieldDef{"DSFATURCLIE", FieldType::String, 400},
                                        FieldDef{"DSBOLETCLIE", FieldType::String, 400}});
                    order.insert({"1", "Customização do módulo fiscal.", nullptr});
                    order.insert({"4", nullptr, "Boleto de locação."});
                    return [this, order] {
                      return ok(call("GeraAutomParam", {"'1010','103','105'", "102", order.variant()}));
                    };
                  }),
              8);
    EXPECT_GT(failEachStatement("undo" + how, fate,
                                [&]() -> Write {
                                  const std::int64_t copy = listBatches(*store_->session()).back().number;
                                  return [this, copy] {
                                    return succeeds([&] {
                                      undoBatch(*store_->session(), copy, Author{"admin", 0, "undo"});
                                    });
                                  };
                                }),
              5);
    EXPECT_GT(failEachStatement("import" + how, fate,
                                [&]() -> Write {
                                  const std::string file =
                                      "CDCLIENTE;IDTPFATUCLIE;CDEMPRESA;DSFATURCLIE\n101;3;01;Planilha" +
                                      how + "\n109;2;03;Nova linha" + how + "\n";
                                  return [this, file] {
                                    return succeeds([&] {
                                      importCsv(*store_->session(), ExchangeTable::Params, file, false,
                                                Author{"admin", 0, "import"});
                                    });
                                  };
                                }),
              5);
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, FailingStatement, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
