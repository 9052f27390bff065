// The HTTP front against clients that misbehave or are not who they should be: bodies past the
// limit, requests a web page of another site can make, connections that hold on and send
// nothing, and requests too broken to route, which must still leave a log line of their own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/server/server_fixture.h"

namespace kdr::server::testing {
namespace {

// A bare TCP client: what it sends is exactly what the test wrote. A read gives up after a while,
// so a server that never answers fails the test instead of hanging it.
class RawClient {
public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
      throw std::runtime_error("connect failed");
    timeval patience{20, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  }
  ~RawClient() { ::close(fd_); }
  RawClient(const RawClient &) = delete;
  RawClient &operator=(const RawClient &) = delete;

  bool send(const std::string &bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Everything until the server closes, or what came before the patience ran out.
  std::string receiveAll() {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd_, buf, sizeof buf, 0)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    return out;
  }

private:
  int fd_ = -1;
};

int statusOf(const std::string &answer) {
  return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::stoi(answer.substr(9, 3)) : 0;
}

class Front : public ServerTest {
protected:
  void SetUp() override {}
  std::string head(const std::string &path, const std::string &extra = "") {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
           "\r\nAuthorization: Bearer " + session_ + "\r\nContent-Type: application/json\r\n" + extra;
  }
};

TEST_F(Front, ABodyPastTheLimitIsRefusedBeforeItEnds) {
  HttpOptions options;
  options.maxBody = 64 * 1024;
  start("sqlite", options);
  const std::string chunk(16 * 1024, ' ');
  char size[16];
  std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
  {
    // Chunked: the length is known only as it arrives. The last chunk is never sent, so only a
    // server that stops at the limit can answer.
    RawClient client(port_);
    ASSERT_TRUE(
        client.send(head("/KDR03020.rdmParamFatCli/GetCliente", "Transfer-Encoding: chunked\r\n\r\n")));
    for (int i = 0; i < 6; ++i) client.send(size + chunk + "\r\n");
    std::string answer = client.receiveAll();
    EXPECT_EQ(statusOf(answer), 413) << answer.substr(0, 200);
    EXPECT_NE(answer.find("payload_too_large"), std::string::npos);
  }
  {
    // A declared length past the limit is refused on the header alone.
    RawClient client(port_);
    ASSERT_TRUE(
        client.send(head("/KDR03020.rdmParamFatCli/GetCliente", "Content-Length: 1000000000\r\n\r\n")));
    EXPECT_EQ(statusOf(client.receiveAll()), 413);
  }
  // A chunked body within the limit is served.
  RawClient client(port_);
  const std::string body = R"({"args":["12345678909",""]})";
  std::snprintf(size, sizeof size, "%zx\r\n", body.size());
  client.send(
      head("/KDR03020.rdmParamFatCli/GetCliente", "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n") +
      size + body + "\r\n0\r\n\r\n");
  std::string answer = client.receiveAll();
  EXPECT_EQ(statusOf(answer), 200);
  EXPECT_NE(answer.find("João da Silva"), std::string::npos);
}

TEST_F(Front, RequestsAWebPageCanMakeAreRefusedAndWriteNothing) {
  HttpOptions options;
  options.allowedHosts = {"kdr.example.com", "balancer.example:9443"};
  start("sqlite", options);
  const std::string path = "/KDR03020.rdmParamFatCli/SetParEmpKdr";
  const std::string port = std::to_string(port_);
  auto insert = [&](const std::string &company) {
    std::string body = "{\"args\":";
    appendVariantJson(
        body, Variant(Variant::Array{
                  DeltaBuilder(empresaKdrFields()).insert({company, "5", "Texto", nullptr}).variant()}));
    return body + "}";
  };
  auto send = [&](const std::string &company, const std::string &contentType, httplib::Headers headers) {
    httplib::Client client("127.0.0.1", port_);
    headers.emplace("Authorization", "Bearer " + session_);
    auto res = client.Post(path.c_str(), headers, insert(company), contentType.c_str());
    return res ? res->status : 0;
  };
  EXPECT_EQ(send("01", "text/plain", {}), 415);
  EXPECT_EQ(send("01", "application/x-www-form-urlencoded", {}), 415);
  EXPECT_EQ(send("01", "application/json", {{"Origin", "http://evil.example"}}), 403);
  EXPECT_EQ(send("01", "application/json", {{"Origin", "null"}}), 403);
  EXPECT_EQ(send("01", "application/json", {{"Host", "evil.example:" + port}}), 403);
  EXPECT_EQ(send("01", "application/json", {{"Host", "127.0.0.1:1"}}), 403);
  EXPECT_EQ(send("01", "application/json", {{"Host", "127.0.0.1.evil.example"}}), 403);
  EXPECT_EQ(send("01", "application/json", {{"Host", "[::1]x" + port}}), 403); // not an address and port
  // A name allowed with a port of its own (a balancer's) is ours on that port only.
  EXPECT_EQ(send("01", "application/json", {{"Host", "balancer.example:9444"}}), 403);
  EXPECT_EQ(send("01", "application/json", {{"Host", "balancer.example:" + port}}), 403);
  EXPECT_EQ(send("01", "application/json", {{"Host", "kdr.example.com:9443"}}), 403);
  Reply stored = call("GetParEmpKdr", {});
  ASSERT_EQ(stored.status, 200);
  EXPECT_EQ(stored.result().array()[0].packet()->rows.size(), 4u) << "a refused request wrote";

  // The server's own names and origin, and a name the administrator allowed.
  EXPECT_EQ(send("01", "application/json; charset=utf-8",
                 {{"Origin", "http://127.0.0.1:" + port}, {"Host", "127.0.0.1:" + port}}),
            200);
  EXPECT_EQ(send("02", "application/json",
                 {{"Host", "localhost:" + port}, {"X-Kdr-User", "Jo%C3%A3o%20%F0%9F%98%80"}}),
            200);
  EXPECT_EQ(send("03", "application/json", {{"Host", "KDR.example.com:" + port}}), 200);
  EXPECT_EQ(send("04", "application/json", {{"Host", "kdr.example.com"}}), 200);
  // Past the guard: the row is there already.
  EXPECT_EQ(send("04", "application/json", {{"Host", "balancer.example:9443"}}), 409);
}

TEST_F(Front, IdleAndSlowConnectionsDoNotHoldUpOthers) {
  start("sqlite", HttpOptions{});
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < 80; ++i) idle.push_back(std::make_unique<RawClient>(port_));
  for (int i = 0; i < 20; ++i) {
    // Half a request, the rest never coming.
    idle.push_back(std::make_unique<RawClient>(port_));
    idle.back()->send(
        head("/KDR03020.rdmParamFatCli/GetParamFatCli", "Content-Length: 100\r\n\r\n{\"args\""));
  }
  httplib::Client client("127.0.0.1", port_);
  client.set_read_timeout(20, 0);
  auto health = client.Get("/health");
  ASSERT_TRUE(health) << "no answer while other connections sat idle";
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(call("GetParamFatCli", {"101"}).status, 200);
}

TEST_F(Front, EveryLogLineCarriesItsOwnRequest) {
  std::filesystem::path logPath =
      std::filesystem::temp_directory_path() / ("kdr_front_log_" + std::to_string(::getpid()) + ".log");
  std::FILE *logFile = std::fopen(logPath.c_str(), "w");
  ASSERT_TRUE(logFile);
  HttpOptions options;
  options.logFd = ::fileno(logFile);
  const auto began = std::chrono::steady_clock::now();
  start("sqlite", options);
  // A name the desktop claims is not who is logged: the session's operator is.
  user_ = "Ana Lúcia";
  EXPECT_EQ(call("GetParamFatCli", {"101"}).status, 200);
  for (const std::string &broken :
       {std::string("GARBAGE\r\n\r\n"), std::string("GET /health\r\n\r\n"),
        "GET /health HTTP/1.1\r\nX-Big: " + std::string(100 * 1024, 'x') + "\r\n\r\n"}) {
    RawClient client(port_);
    client.send(broken);
    EXPECT_EQ(statusOf(client.receiveAll()), 400) << broken.substr(0, 20);
  }
  EXPECT_EQ(call("GetParamFatCli", {"102"}).status, 200);
  stop();
  const double elapsedMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
  std::fclose(logFile);

  std::ifstream in(logPath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::filesystem::remove(logPath);
  ASSERT_EQ(lines.size(), 6u) << "the sign-in, two reads and three broken requests";
  static const std::regex shape(
      R"(time=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z level=(info|warning) request=(\d+) )"
      R"(user=(-|supervisor) method=(\S+) path=(\S+) status=(\d{3}) ms=([0-9.]+))");
  // Each event loop writes its own lines, so the file is in request order only by id.
  std::map<std::uint64_t, std::string> statusById;
  std::set<std::uint64_t> servers;
  for (const std::string &line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
    const std::uint64_t id = std::stoull(m[2]);
    EXPECT_TRUE(statusById.emplace(id, m[6]).second) << "two lines under one request id: " << line;
    servers.insert(id >> 40);
    EXPECT_EQ(m[1], m[6] == "200" ? "info" : "warning") << line;
    EXPECT_EQ(m[3], m[6] == "200" ? "supervisor" : "-") << line;
    // A duration can only be part of the time this test ran.
    EXPECT_LE(std::stod(m[7]), elapsedMs) << line;
  }
  // One server: one server id above every counter, never 0, so ids of two servers differ.
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_NE(*servers.begin(), 0u);
  std::vector<std::string> statuses;
  for (const auto &[id, status] : statusById) statuses.push_back(status);
  EXPECT_EQ(statuses, (std::vector<std::string>{"200", "200", "400", "400", "400", "200"}));
}

} // namespace
} // namespace kdr::server::testing

namespace kdr::server::testing {
namespace {

// A server stopped at any moment of its start (before its loops run, with a connection open, in
// the middle of a request) stops: a test that skips right after its server was started must not
// hang the suite.
TEST_F(Front, AServerStopsWheneverItIsStopped) {
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    start("sqlite", HttpOptions{});
    if (round % 3 == 1) {
      RawClient idle(port_);
      stop();
    } else if (round % 3 == 2) {
      RawClient halfway(port_);
      halfway.send(head("/KDR03020.rdmParamFatCli/GetParamFatCli") + "Content-Length: 40\r\n\r\n{\"args\"");
      stop();
    } else {
      stop();
    }
  }
}

// Told to stop, a server behind a balancer first says so on /health while it still serves, so
// that the balancer takes it out before it refuses anything; a second stop ends the notice.
TEST_F(Front, AStoppingServerReportsItselfUnhealthyFirstAndStillServes) {
  HttpOptions options;
  options.leaveNotice = std::chrono::minutes(10);
  start("sqlite", options);
  httplib::Client client("127.0.0.1", port_);
  auto health = [&] {
    auto res = client.Get("/health");
    return res ? res->status : 0;
  };
  ASSERT_EQ(health(), 200);
  front_->stop();
  int seen = health();
  for (int i = 0; i < 500 && seen == 200; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    seen = health();
  }
  EXPECT_EQ(seen, 503);
  EXPECT_EQ(call("GetParamFatCli", {"101"}).status, 200) << "a leaving server still serves";
  DeltaBuilder insert(empresaKdrFields());
  insert.insert({"04", "5", "Texto", nullptr});
  EXPECT_EQ(call("SetParEmpKdr", {insert.variant()}).status, 200);
  stop(); // the second stop: the front ends now, not in ten minutes
}

} // namespace
} // namespace kdr::server::testing
