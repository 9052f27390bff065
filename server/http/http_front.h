#pragma once
// The HTTP side of the server: POST /<Module>/<Method> to the dispatcher, GET /health, the access
// checks, the body size limit and one log line per request. Connections are served by one event
// loop per core, so an idle or slow connection costs a socket and never a thread. The methods run
// on workers, point reads, other reads and writes on pools of their own (a write may wait for the
// database's write lock), and their answers go back to the loop of their connection (see
// Dispatcher::Place). A point read whose answer the answer cache keeps is answered on the loop:
// the hand-off to a worker and back would cost more than the call.
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "server/methods/dispatch.h"

namespace kdr::server {

struct HttpOptions {
  std::string address = "127.0.0.1";
  int port = 0;      // 0: the system chooses
  std::string token; // empty: no token asked
  // Names besides the listening address that clients may use in Host (a DNS name, a proxy).
  std::vector<std::string> allowedHosts;
  std::size_t loops = 0;        // event loops; 0: one per core
  std::size_t writers = 8;      // workers running the writing methods
  std::size_t readers = 0;      // workers running the other reads; 0: twice the cores, at least 4
  std::size_t pointReaders = 0; // workers running the point reads; 0: twice the cores, at least 4
  // True: point reads run on the connection's event loop instead, with no hand-off to a worker
  // and back (the answers are the same). Measured on two cores beside the load generator, the
  // loop answered fewer requests a second than the workers: a loop serves its other connections
  // only between calls, and its thread competes for the cores as one.
  bool pointReadsOnLoop = false;
  std::size_t maxBody = 8 * 1024 * 1024;
  // PEM files; with both, every connection is TLS 1.2 or later.
  std::string tlsCertificate, tlsKey;
  int logFd = STDERR_FILENO; // where the per-request lines go
  // How long stop() lets the requests in flight finish before the loops end regardless.
  std::chrono::milliseconds stopWait = std::chrono::seconds(30);
  // How long stop() first keeps serving with GET /health answering 503, so that a load balancer
  // takes the server out of its pool before it stops taking requests; 0: stop at once.
  std::chrono::milliseconds leaveNotice{0};
};

struct HttpFrontState;

class HttpFront {
public:
  // Raises std::runtime_error (in Portuguese) when the certificate or key cannot be used.
  HttpFront(Dispatcher &dispatcher, HttpOptions options);
  ~HttpFront();
  // Binds and returns the port; raises std::runtime_error when the address cannot be bound.
  int bind();
  // Serves until stop(); call after bind(). Returns once every loop has ended and the log is written.
  // Raises std::system_error when a loop's thread cannot start, after ending the others.
  void run();
  // Answers GET /health with 503 while still serving (for HttpOptions::leaveNotice), then takes no
  // new connection nor request, lets the requests in flight finish (up to HttpOptions::stopWait)
  // and ends run(). A second stop() skips what is left of the notice. Safe from any thread, but
  // not from a signal handler.
  void stop();

private:
  std::unique_ptr<HttpFrontState> impl_;
};

} // namespace kdr::server
