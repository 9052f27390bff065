// A session keeps its statements for the life of its connection: the same statement serves other
// values, including nulls, and survives a failure, a rolled back transaction and a table that
// changed shape.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "server/errors.h"
#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

class SessionStatements : public ::testing::TestWithParam<std::string> {};

TEST_P(SessionStatements, AreReusedWhateverHappensAroundThem) {
  ScratchDatabase db(GetParam());
  if (!db.available()) GTEST_SKIP() << "PostgreSQL suite skipped: KDR_TEST_PG is not set";
  auto s = connectTo(db.url());
  s->executeScript("CREATE TABLE T (K INTEGER PRIMARY KEY, N INTEGER, S VARCHAR(10))");
  const std::string insert = "INSERT INTO T (K, N, S) VALUES (?, ?, ?)";
  const std::string byKey = "SELECT N, S FROM T WHERE K = ?";

  s->execute(insert, {1, 5, "a"});
  s->execute(insert, {2, nullptr, nullptr});
  s->execute(insert, {3, 7, nullptr});
  s->execute(insert, {4, nullptr, "d"});
  EXPECT_EQ(s->query(byKey, {1}), (Rows{{5, "a"}}));
  EXPECT_EQ(s->query(byKey, {2}), (Rows{{nullptr, nullptr}}));
  EXPECT_EQ(s->query(byKey, {3}), (Rows{{7, nullptr}}));
  EXPECT_EQ(s->query(byKey, {4}), (Rows{{nullptr, "d"}}));

  try {
    s->execute(insert, {1, 6, "x"});
    ADD_FAILURE() << "a duplicate key was written";
  } catch (const EngineError &e) {
    EXPECT_EQ(e.kind(), EngineError::Kind::Duplicate);
  }
  {
    Transaction t(*s, Transaction::Mode::Write);
    s->execute(insert, {5, 8, "e"});
    EXPECT_THROW(s->execute(insert, {5, 9, "f"}), EngineError);
  }
  s->execute(insert, {5, 9, "f"});
  EXPECT_EQ(s->query(byKey, {5}), (Rows{{9, "f"}}));

  // Another server's migration adds a column under a statement that reads whole rows.
  const std::string whole = "SELECT * FROM T WHERE K = ?";
  EXPECT_EQ(s->query(whole, {1}), (Rows{{1, 5, "a"}}));
  connectTo(db.url())->executeScript("ALTER TABLE T ADD COLUMN X INTEGER");
  EXPECT_EQ(s->query(whole, {1}), (Rows{{1, 5, "a", nullptr}}));
  connectTo(db.url())->executeScript("ALTER TABLE T ADD COLUMN Y INTEGER");
  {
    // Inside a transaction the failure may spoil it; the next transaction reads the new shape.
    Transaction t(*s, Transaction::Mode::Read);
    try {
      s->query(whole, {1});
    } catch (const EngineError &) {
    }
  }
  EXPECT_EQ(s->query(whole, {1}), (Rows{{1, 5, "a", nullptr, nullptr}}));

  if (GetParam() == "postgresql") {
    // Prepared once per connection, and the limits set on the connection still hold.
    EXPECT_EQ(s->query("SELECT COUNT(*) FROM pg_prepared_statements WHERE statement = ?",
                       {"SELECT N, S FROM T WHERE K = $1"}),
              (Rows{{1}}));
    EXPECT_EQ(s->query("SELECT current_setting('statement_timeout')"), (Rows{{"5min"}}));
  }
}

// A file that is not a database opens, and fails the connection's first statements: it is
// refused each time, and each time the file is closed again.
TEST(SqliteSession, AFileThatIsNotADatabaseIsRefusedAndLeftClosed) {
  ScratchDatabase db("sqlite");
  const std::string path = db.url().substr(std::string_view("sqlite:").size());
  std::ofstream(path) << std::string(8192, 'x');
  auto openFiles = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const auto before = openFiles();
  for (int i = 0; i < 5; ++i) EXPECT_THROW(connectTo(db.url()), EngineError);
  EXPECT_EQ(openFiles(), before);
}

INSTANTIATE_TEST_SUITE_P(Engines, SessionStatements, ::testing::Values("sqlite", "postgresql"),
                         [](const auto &info) { return info.param; });

} // namespace
} // namespace kdr::server::testing
