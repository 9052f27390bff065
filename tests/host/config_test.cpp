// Where kdr-host looks for its server, database and module: command line over environment over
// defaults, and a clear refusal of what it cannot use.
#include <gtest/gtest.h>

#include "host/config.h"
#include "platform/rtl/exceptions.h"

namespace kdr::host {
namespace {

TEST(HostConfig, CommandLineWinsOverEnvironmentWhichWinsOverDefaults) {
  std::map<std::string, std::string> env{{"HOME", "/home/ana"}};
  HostConfig defaults = parseConfig({}, env);
  EXPECT_EQ(defaults.serverHost, "127.0.0.1");
  EXPECT_EQ(defaults.serverPort, 8020); // where kdr-server listens by default
  EXPECT_EQ(defaults.token, "");
  EXPECT_EQ(defaults.localDb, "/home/ana/.local/share/kdr/kdr-local.db");
  EXPECT_NE(defaults.modulePath.find("libkdr03020.so"), std::string::npos);
  EXPECT_FALSE(defaults.headless);
  EXPECT_FALSE(defaults.user.empty()); // the login this process runs as

  env["USER"] = "ana";
  EXPECT_EQ(parseConfig({}, env).user, "ana");
  env["KDR_USER"] = "Ana Lúcia";
  env["KDR_SERVER"] = "10.0.0.5:9000";
  env["KDR_LOCAL_DB"] = "/tmp/env.db";
  env["KDR_TOKEN"] = "env-secret";
  HostConfig fromEnv = parseConfig({}, env);
  EXPECT_EQ(fromEnv.token, "env-secret");
  EXPECT_EQ(fromEnv.serverHost, "10.0.0.5");
  EXPECT_EQ(fromEnv.serverPort, 9000);
  EXPECT_EQ(fromEnv.localDb, "/tmp/env.db");
  EXPECT_EQ(fromEnv.user, "Ana Lúcia");

  HostConfig fromArgs = parseConfig({"--server", "srv", "--port", "7000", "--local-db", "/tmp/arg.db",
                                     "--token", "arg-secret", "--user", "caixa2"},
                                    env);
  EXPECT_EQ(fromArgs.token, "arg-secret");
  EXPECT_EQ(fromArgs.serverHost, "srv");
  EXPECT_EQ(fromArgs.serverPort, 7000);
  EXPECT_EQ(fromArgs.localDb, "/tmp/arg.db");
  EXPECT_EQ(fromArgs.user, "caixa2");
}

TEST(HostConfig, ScriptImpliesHeadless) {
  HostConfig c = parseConfig({"--demo", "--script", "a.kdr"}, {});
  EXPECT_TRUE(c.headless);
  EXPECT_TRUE(c.demo);
  EXPECT_EQ(c.script, "a.kdr");
}

TEST(HostConfig, RefusesWhatItCannotUse) {
  for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{{"--port", "0"},
                                                                                    {"--port", "70000"},
                                                                                    {"--port", "12x"},
                                                                                    {"--server", "h:"},
                                                                                    {"--script"},
                                                                                    {"--bogus"}})
    EXPECT_THROW(parseConfig(args, {}), Exception) << args[0];
}

} // namespace
} // namespace kdr::host
