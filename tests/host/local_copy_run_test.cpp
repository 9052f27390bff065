// kdr-host without windows or a script: nobody works meanwhile, so the run is the refresh of the
// local copy, first loads included, and it ends with every cached table whole.
#include <gtest/gtest.h>

#include <sstream>

#include "host/host_app.h"
#include "platform/host/local_statement.h"
#include "platform/host/localdb.h"
#include "tests/support/server_process.h"

namespace kdr::host {
namespace {

TEST(LocalCopyRun, WithoutAScriptEndsOnceEveryFirstLoadIsWhole) {
  test::ServerProcess server{{"--seed", "demo"}};
  test::TempDir dir;
  const std::string local = dir.file("local.db");
  std::ostringstream out, err;
  ASSERT_EQ(runHost({"--headless", "--server", "127.0.0.1", "--port", std::to_string(server.port()),
                     "--local-db", local, "--operator", "atendente"},
                    {{"KDR_PASSWORD", "atendente"}}, out, err),
            0)
      << err.str();
  EXPECT_EQ(err.str(), "");
  TLocalConnection copy(local);
  LocalStatement marks(copy, "SELECT COUNT(*) FROM KDR_CACHE_MARCA WHERE MARCA IS NOT NULL");
  EXPECT_EQ(marks.readAll().rows.front().values.front(), Variant(6));
  LocalStatement rows(copy, "SELECT COUNT(*) FROM PARCLIEKDR");
  EXPECT_EQ(rows.readAll().rows.front().values.front(), Variant(10));
}

} // namespace
} // namespace kdr::host
