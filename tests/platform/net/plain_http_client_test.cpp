// The desktop's plain HTTP client against answers kdr-server does not give but a balancer or a
// proxy in between may: chunked bodies, answers that end with the connection, a connection the
// server closes. Each request must come back whole, over the kept connection when there is one.
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "platform/net/plain_http_client.h"

namespace kdr::net {
namespace {

class Peer {
public:
  Peer() {
    // The body names the client's port: the same port is the same connection.
    server_.Get("/port", [](const httplib::Request &req, httplib::Response &res) {
      res.set_content(std::to_string(req.remote_port), "text/plain");
    });
    server_.Get("/chunked", [](const httplib::Request &, httplib::Response &res) {
      res.set_chunked_content_provider("text/plain", [](std::size_t offset, httplib::DataSink &sink) {
        if (offset >= chunkedSize) {
          sink.done();
          return true;
        }
        const std::string part(std::min<std::size_t>(7001, chunkedSize - offset), char('a' + offset % 26));
        return sink.write(part.data(), part.size());
      });
    });
    server_.Post("/close", [](const httplib::Request &req, httplib::Response &res) {
      res.set_header("Connection", "close");
      res.set_content(req.body + " " + req.get_header_value("X-Name"), "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~Peer() {
    server_.stop();
    thread_.join();
  }
  HttpEndpoint endpoint() const {
    HttpEndpoint e;
    e.host = "127.0.0.1";
    e.port = port_;
    e.readTimeoutSeconds = 10;
    return e;
  }
  static constexpr std::size_t chunkedSize = 100000;

private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

TEST(PlainHttpClient, ReadsEveryShapeOfAnswerAndKeepsTheConnectionWhileTheServerDoes) {
  Peer peer;
  PlainHttpClient client(peer.endpoint());
  const HttpAnswer first = client.get("/port");
  ASSERT_TRUE(first) << static_cast<int>(first.failure);
  EXPECT_EQ(first.status, 200);
  EXPECT_EQ(client.get("/port").body, first.body) << "a second request opened another connection";

  const HttpAnswer chunked = client.get("/chunked");
  ASSERT_TRUE(chunked);
  ASSERT_EQ(chunked.body.size(), Peer::chunkedSize);
  EXPECT_EQ(chunked.body[7000], 'a');
  EXPECT_EQ(chunked.body[7001], 'a' + 7001 % 26);
  EXPECT_EQ(client.get("/port").body, first.body);

  const HttpAnswer closing = client.postJson("/close", {{"X-Name", "Conceição"}}, "{}");
  ASSERT_TRUE(closing);
  EXPECT_EQ(closing.body, "{} Conceição");
  const HttpAnswer after = client.get("/port");
  ASSERT_TRUE(after);
  EXPECT_NE(after.body, first.body) << "the connection the server closed was used again";

  EXPECT_EQ(client.get("/nowhere").status, 404);
}

TEST(PlainHttpClient, NothingListeningIsAConnectionFailure) {
  int port = 0;
  {
    Peer gone;
    port = gone.endpoint().port;
  }
  HttpEndpoint e;
  e.host = "127.0.0.1";
  e.port = port;
  EXPECT_EQ(PlainHttpClient(e).get("/port").failure, HttpFailure::Connection);
}

} // namespace
} // namespace kdr::net
