// A desktop on plain HTTP never maps the TLS libraries (they cost it megabytes for nothing); one
// pointed at an https address loads them when it connects, and still refuses a certificate it
// cannot trust, with the reason in Portuguese. kdr-host runs as a program of its own (this test
// links the TLS libraries itself), refreshing its local copy, with the loader telling which
// libraries it mapped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/connection_monitor.h"
#include "tests/support/certificate.h"
#include "tests/support/server_process.h"

namespace kdr::host {
namespace {

class TlsOnDemand : public ::testing::Test {
protected:
  test::TempDir dir;
  test::Certificate ours{dir, "ours", "IP:127.0.0.1", "127.0.0.1"};

  // Runs kdr-host against the server until its local copy is whole; what the loader mapped
  // ends up in loaded.
  test::ProgramRun runHost(const std::string &server, int port, const std::string &caFile = "") {
    std::vector<std::string> args{"--headless",
                                  "--server",
                                  server,
                                  "--port",
                                  std::to_string(port),
                                  "--local-db",
                                  dir.file("local-" + std::to_string(port) + ".db"),
                                  "--operator",
                                  "atendente"};
    if (!caFile.empty()) args.insert(args.end(), {"--ca", caFile});
    std::filesystem::remove_all(dir.file("ld"));
    std::filesystem::create_directory(dir.file("ld"));
    auto run = test::runProgram(
        "kdr-host", args,
        {"KDR_PASSWORD=atendente", "LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + dir.file("ld/trace")});
    loaded.clear();
    for (const auto &file : std::filesystem::directory_iterator(dir.file("ld"))) {
      std::ifstream in(file.path());
      loaded.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return run;
  }
  // The loader names each file it maps as "file=NAME" (a path for one loaded at run time).
  bool mapped(const std::string &library) const {
    for (std::size_t at = loaded.find("file="); at != std::string::npos; at = loaded.find("file=", at + 5)) {
      const std::size_t end = loaded.find_first_of(" \n", at);
      if (loaded.substr(at + 5, end - at - 5).find(library) != std::string::npos) return true;
    }
    return false;
  }

  std::string loaded;
};

TEST_F(TlsOnDemand, PlainHttpMapsNoTlsLibraryAndHttpsLoadsThemWhenItConnects) {
  test::ServerProcess plain{{"--seed", "demo"}};
  auto run = runHost("127.0.0.1", plain.port());
  ASSERT_EQ(run.status, 0) << run.output;
  ASSERT_TRUE(mapped("libsqlite3.so")) << "the loader's trace was not read:\n" << loaded.substr(0, 2000);
  EXPECT_FALSE(mapped("libssl.so")) << loaded;
  EXPECT_FALSE(mapped("libcrypto.so")) << loaded;
  EXPECT_FALSE(mapped("libkdr-tls.so")) << loaded;
#if !defined(__SANITIZE_ADDRESS__)
  // Nor the JSON library: the parser's few compiled parts are in the platform. (A sanitizer
  // build's program names every library of its link line, used or not: the memory saved is the
  // release build's.)
  EXPECT_FALSE(mapped("libboost_json.so")) << loaded;
#endif

  test::ServerProcess secure{{"--seed", "demo", "--tls-cert", ours.cert, "--tls-key", ours.key}};
  run = runHost("https://127.0.0.1", secure.port(), ours.cert);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(mapped("libssl.so")) << loaded;
  EXPECT_TRUE(mapped("libkdr-tls.so")) << loaded;
}

TEST_F(TlsOnDemand, ACertificateOfAnotherAuthorityIsRefusedWithTheReason) {
  test::Certificate stranger(dir, "stranger", "IP:127.0.0.1", "127.0.0.1");
  test::ServerProcess secure{{"--seed", "demo", "--tls-cert", ours.cert, "--tls-key", ours.key}};
  const auto run = runHost("https://127.0.0.1", secure.port(), stranger.cert);
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("o certificado do servidor foi recusado"), std::string::npos) << run.output;
}

// The status bar's monitor asks an https server over HTTPS: over plain HTTP the server would never
// answer it, and the desktop would show itself disconnected all along.
TEST_F(TlsOnDemand, TheConnectionMonitorSeesAnHttpsServerAnswer) {
  test::ServerProcess secure{{"--seed", "demo", "--tls-cert", ours.cert, "--tls-key", ours.key}};
  net::HttpEndpoint server;
  server.host = secure.host();
  server.port = secure.port();
  server.tls = true;
  server.caFile = ours.cert;
  ConnectionMonitor monitor(server, {std::chrono::milliseconds(20), std::chrono::milliseconds(20)});
  EXPECT_TRUE(monitor.await(true, std::chrono::seconds(10)));
}

} // namespace
} // namespace kdr::host
