// A packet written straight from a query, or from rows already read, is the same text as the
// packet built in memory and then written: the reads that skip the packet answer as before.
#include "platform/data/packet_json.h"
#include "server/store/packets.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class PacketText : public ::testing::TestWithParam<std::string> {};

TEST_P(PacketText, WrittenStraightIsTheTextOfThePacket) {
  ScratchDatabase db(GetParam());
  if (!db.available()) GTEST_SKIP() << "PostgreSQL suite skipped: KDR_TEST_PG is not set";
  auto s = connectTo(db.url());
  // A float column holding whole numbers and a text column given digits by the query: the packet
  // carries them as its fields say.
  s->executeScript("CREATE TABLE T (K INTEGER PRIMARY KEY, R DOUBLE PRECISION, S VARCHAR(30), N INTEGER)");
  const std::string insert = "INSERT INTO T (K, R, S, N) VALUES (?, ?, ?, ?)";
  s->execute(insert, {1, 5.0, "Açúcar \"União\" \\ Ltda", 7});
  s->execute(insert, {2, 2.5, nullptr, nullptr});
  s->execute(insert, {3, nullptr, "linha\nnova\t", -4});
  const Payload payload({{"K", FieldType::String, 5, true},
                         {"R", FieldType::Float, 0, false},
                         {"S", FieldType::String, 30, false},
                         {"N", FieldType::Integer, 0, false}});
  // Each value is written as it is read, in place: every kind of value under every kind of
  // field (a float as text, a whole number as a float, a comparison as a value) reads as it did
  // through the row of values.
  for (const char *sql : {"SELECT K, R, S, N FROM T ORDER BY K", "SELECT K, R, S, N FROM T WHERE K = 3",
                          "SELECT K, R, S, N FROM T WHERE K > 9", "SELECT R, N, S, K FROM T ORDER BY K",
                          "SELECT K, N, S, R FROM T ORDER BY K", "SELECT K, R, S, N > 0 FROM T ORDER BY K"}) {
    SCOPED_TRACE(sql);
    const std::string expected = variantToJsonText(packetFromRows(payload.fields, s->query(sql)));
    std::string straight = "{\"result\":";
    appendQueryPacketJson(straight, payload, *s, sql);
    EXPECT_EQ(straight, "{\"result\":" + expected);
    EXPECT_EQ(packetJson(payload, s->query(sql)), expected);
  }
  // The head written once is the head of every packet with those fields.
  std::string head;
  appendPacketHeadJson(head, payload.fields);
  EXPECT_EQ(payload.jsonHead, head);
  EXPECT_EQ(packetJson(payload, {}), head + "]}");
}

INSTANTIATE_TEST_SUITE_P(Engines, PacketText, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
