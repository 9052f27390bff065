// The answer cache: a write through the server is seen by every read answered after it, even
// with readers racing the writer; the cache keeps to its budget.
#include <atomic>
#include <thread>

#include "server/methods/answer_cache.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

TEST(AnswerCache, AnswerReadBeforeAWriteIsNotKept) {
  AnswerCache cache(1 << 20);
  const auto before = cache.generation();
  cache.invalidate(); // a write ends while the read is running
  cache.put("k", "old", before);
  EXPECT_FALSE(cache.find("k"));
  cache.put("k", "new", cache.generation());
  EXPECT_EQ(cache.find("k"), "new");
  cache.invalidate();
  EXPECT_FALSE(cache.find("k"));

  AnswerCache off(0);
  off.put("k", "x", off.generation());
  EXPECT_FALSE(off.enabled());
  EXPECT_FALSE(off.find("k"));
}

TEST(AnswerCache, KeepsToItsBudget) {
  AnswerCache cache(800);
  cache.put("big", std::string(200, 'x'), cache.generation()); // over an eighth of the budget
  EXPECT_FALSE(cache.find("big"));
  int kept = 0;
  for (int i = 0; i < 20; ++i) cache.put("k" + std::to_string(i), std::string(90, 'x'), cache.generation());
  for (int i = 0; i < 20; ++i) kept += cache.find("k" + std::to_string(i)).has_value();
  EXPECT_GT(kept, 0);
  EXPECT_LE(kept * 92, 800);
  EXPECT_TRUE(cache.find("k19"));
}

class CachedServer : public ServerTest {};

// One desktop saves the invoice text of a row again and again while others reload it: once a
// save is answered, no reload may show an older text.
TEST_P(CachedServer, ReadersRacingAWriterNeverGoBack) {
  constexpr int saves = 40;
  std::atomic<int> saved{0};
  std::atomic<bool> done{false};
  auto versionOf = [](const DataPacket &p) {
    const std::string text = p.rows.at(0).values[p.fieldIndex("DSFATURCLIE")].asString();
    return text.rfind("v", 0) == 0 ? std::stoi(text.substr(1)) : 0;
  };
  std::vector<std::thread> readers;
  std::atomic<int> wentBack{0}, reads{0};
  for (int t = 0; t < 3; ++t)
    readers.emplace_back([&] {
      while (!done) {
        const int before = saved;
        if (versionOf(paramsOf("101")) < before) ++wentBack;
        ++reads;
      }
    });
  for (int i = 1; i <= saves; ++i) {
    DeltaBuilder d(paramFatCliFields());
    d.modify(paramsOf("101").rows.at(0).values, {{"DSFATURCLIE", "v" + std::to_string(i)}});
    const int status = call("SetParamFatCli", {d.variant()}).status;
    saved = i;
    if (status != 200 || versionOf(paramsOf("101")) != i) {
      ADD_FAILURE() << "save " << i << " answered " << status << " or was not read back";
      break;
    }
  }
  done = true;
  for (auto &t : readers) t.join();
  EXPECT_EQ(wentBack, 0) << "of " << reads << " reads";
}

INSTANTIATE_TEST_SUITE_P(Engines, CachedServer, ::testing::Values("sqlite_cached"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
