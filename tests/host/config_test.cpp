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
  EXPECT_FALSE(defaults.tls);
  EXPECT_EQ(defaults.operatorCode, "");

  env["KDR_OPERATOR"] = "atendente";
  env["KDR_PASSWORD"] = "segredo";
  env["KDR_SERVER"] = "https://10.0.0.5:9000";
  env["KDR_LOCAL_DB"] = "/tmp/env.db";
  env["KDR_TOKEN"] = "env-secret";
  HostConfig fromEnv = parseConfig({}, env);
  EXPECT_EQ(fromEnv.token, "env-secret");
  EXPECT_EQ(fromEnv.serverHost, "10.0.0.5");
  EXPECT_EQ(fromEnv.serverPort, 9000);
  EXPECT_EQ(fromEnv.localDb, "/tmp/env.db");
  EXPECT_TRUE(fromEnv.tls);
  EXPECT_EQ(fromEnv.operatorCode, "atendente");
  EXPECT_EQ(fromEnv.password, "segredo");

  HostConfig fromArgs = parseConfig({"--server", "srv", "--port", "7000", "--local-db", "/tmp/arg.db",
                                     "--token", "arg-secret", "--operator", "caixa2", "--allow-plain-http"},
                                    env);
  EXPECT_EQ(fromArgs.token, "arg-secret");
  EXPECT_EQ(fromArgs.serverHost, "srv");
  EXPECT_EQ(fromArgs.serverPort, 7000);
  EXPECT_EQ(fromArgs.localDb, "/tmp/arg.db");
  EXPECT_EQ(fromArgs.operatorCode, "caixa2");
  EXPECT_FALSE(fromArgs.tls);
}

// The password and the texts never cross the network in the clear unless the user accepts it;
// this machine needs no TLS.
TEST(HostConfig, PlainHttpOnlyToThisMachineUnlessAccepted) {
  EXPECT_THROW(parseConfig({"--server", "10.0.0.5"}, {}), Exception);
  EXPECT_THROW(parseConfig({"--server", "http://srv:8020"}, {}), Exception);
  EXPECT_NO_THROW(parseConfig({"--server", "127.0.0.1:8020"}, {}));
  EXPECT_NO_THROW(parseConfig({"--server", "localhost"}, {}));
  HostConfig tls = parseConfig({"--server", "https://srv:8443", "--ca", "/etc/kdr/ca.pem"}, {});
  EXPECT_TRUE(tls.tls);
  EXPECT_EQ(tls.serverHost, "srv");
  EXPECT_EQ(tls.serverPort, 8443);
  EXPECT_EQ(tls.caFile, "/etc/kdr/ca.pem");
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
