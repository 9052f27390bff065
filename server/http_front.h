#pragma once
// The HTTP side of the server: POST /<Module>/<Method> to the dispatcher, GET /health, the token
// check, the body size limit and one log line per request.
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "server/dispatch.h"

namespace httplib {
class Server;
}

namespace kdr::server {

struct HttpOptions {
  std::string address = "127.0.0.1";
  int port = 0;      // 0: the system chooses
  std::string token; // empty: no token asked
  // Each keep-alive connection holds a worker while it is open, so the pool must be at least as
  // large as the number of desktops and load clients expected at once.
  std::size_t threads = 64;
  std::size_t maxBody = 8 * 1024 * 1024;
};

class HttpFront {
public:
  HttpFront(Dispatcher &dispatcher, HttpOptions options);
  ~HttpFront();
  // Binds and returns the port; raises std::runtime_error when the address cannot be bound.
  int bind();
  // Serves until stop(); call after bind().
  void run();
  void stop();

private:
  Dispatcher &dispatcher_;
  HttpOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::atomic<std::uint64_t> nextRequest_{1};
};

} // namespace kdr::server
