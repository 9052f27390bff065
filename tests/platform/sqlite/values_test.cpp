#include "platform/sqlite/values.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/exceptions.h"

namespace kdr {

void PrintTo(const Variant &v, std::ostream *os) { *os << v.debugString(); }

namespace sqlite {
namespace {

// A value written through a table with the column types the databases use, and read back.
class SqliteValues : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db_, "CREATE TABLE T (ANY_ , TXT VARCHAR(20), NUM INTEGER, VR REAL)", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
  }
  void TearDown() override { sqlite3_close(db_); }

  using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;
  Statement prepare(const std::string &sql) {
    sqlite3_stmt *stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(db_);
    return Statement(stmt, &sqlite3_finalize);
  }

  void write(const std::string &column, const Variant &value) {
    sqlite3_exec(db_, "DELETE FROM T", nullptr, nullptr, nullptr);
    Statement insert = prepare("INSERT INTO T (" + column + ") VALUES (?)");
    ASSERT_EQ(bind(insert.get(), 1, value), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(insert.get()), SQLITE_DONE);
  }

  // Read as stored (the server's way) or for a field of a type (the local database's way).
  template <typename... Type> Variant read(const std::string &column, Type... type) {
    Statement select = prepare("SELECT " + column + " FROM T");
    EXPECT_EQ(sqlite3_step(select.get()), SQLITE_ROW);
    return sqlite::column(select.get(), 0, type...);
  }

  template <typename... Type> Variant roundTrip(const Variant &value, const std::string &col, Type... type) {
    write(col, value);
    return read(col, type...);
  }

  sqlite3 *db_ = nullptr;
};

TEST_F(SqliteValues, EveryKindReadsBackAsWritten) {
  EXPECT_TRUE(roundTrip(Variant(), "ANY_").isNull());
  EXPECT_TRUE(roundTrip(Variant::unassigned(), "ANY_").isNull());
  EXPECT_EQ(roundTrip(Variant(""), "ANY_"), Variant("")) << "the empty text is not null";
  EXPECT_EQ(roundTrip(Variant("Manutenção ✓"), "TXT"), Variant("Manutenção ✓"));
  const std::string long_(100000, 'x');
  EXPECT_EQ(roundTrip(Variant(long_), "TXT"), Variant(long_));
  for (std::int64_t n : {std::int64_t{0}, std::int64_t{-1}, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max()})
    EXPECT_EQ(roundTrip(Variant(n), "NUM"), Variant(n));
}

TEST_F(SqliteValues, BooleansAreOneAndZero) {
  // One way for both databases: true is 1 (not -1), so a flag written by one side is found by a
  // "= 1" of the other.
  EXPECT_EQ(roundTrip(Variant(true), "NUM"), Variant(1));
  EXPECT_EQ(roundTrip(Variant(false), "ANY_"), Variant(0));
  write("NUM", Variant(true));
  EXPECT_EQ(read("NUM = 1"), Variant(1));
  EXPECT_EQ(read("NUM", FieldType::Boolean), Variant(true));
  EXPECT_EQ(roundTrip(Variant(false), "NUM", FieldType::Boolean), Variant(false));
}

TEST_F(SqliteValues, FloatsReadBackExactlyWhateverTheFieldType) {
  const double hard[] = {0.1 + 0.2,          1.0 / 3, 5e-324, std::numeric_limits<double>::max(), -2.5e-310,
                         123456789.123456789};
  for (double d : hard) {
    for (const char *col : {"ANY_", "VR"}) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(roundTrip(Variant(d), col).asFloat()),
                std::bit_cast<std::uint64_t>(d))
          << col << " " << formatFloat(d);
      EXPECT_EQ(read(col, FieldType::Float), Variant(d));
    }
    // Read as text (an expression or a text column holding a number): the shortest exact form,
    // not the engine's own 15 digits, which would give 0.3 for 0.1 + 0.2.
    write("ANY_", Variant(d));
    EXPECT_EQ(read("ANY_", FieldType::String), Variant(formatFloat(d)));
    EXPECT_EQ(Variant(read("ANY_", FieldType::String).asFloat()), Variant(d));
  }
  EXPECT_EQ(roundTrip(Variant(std::numeric_limits<double>::infinity()), "VR"),
            Variant(std::numeric_limits<double>::infinity()));
  // A float in an integer field keeps its fraction; a whole one becomes the integer.
  EXPECT_EQ(roundTrip(Variant(2.5), "ANY_", FieldType::Integer), Variant(2.5));
  EXPECT_EQ(roundTrip(Variant(7.0), "ANY_", FieldType::Integer), Variant(7));
  EXPECT_EQ(roundTrip(Variant(7), "ANY_", FieldType::Float), Variant(7.0));
  // Text is never taken for a number.
  EXPECT_EQ(roundTrip(Variant("12"), "ANY_", FieldType::Integer), Variant("12"));
}

TEST_F(SqliteValues, ValuesTheDatabaseWouldChangeAreRefused) {
  Statement select = prepare("SELECT ?");
  const Variant refused[] = {Variant(std::string("ab\0cd", 5)),
                             Variant(std::numeric_limits<double>::quiet_NaN()),
                             Variant(Variant::Array{Variant(1)}), makePacketVariant(DataPacket{})};
  for (const Variant &v : refused) EXPECT_THROW(bind(select.get(), 1, v), EDatabaseError) << v.debugString();
}

} // namespace
} // namespace sqlite
} // namespace kdr
