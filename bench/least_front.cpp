// Not a Google Benchmark: the least HTTP front this machine allows, a baseline for kdr-server's own
// front (bench/server_http.sh runs it in kdr-server's place when KDR_BENCH_LEAST names a mode). One
// thread per core, each with its own listening socket and event loop, a connection's bytes read
// into a buffer it keeps, the answer written with one call, the request logged as kdr-server logs
// it. It parses only what the benchmark sends (Content-Length, Authorization) and nothing else, so
// it is no server: it tells how much of an answer's cost is the front and how much the work.
//   bench_least_front DB MODE ANSWER_FILE
//   MODE bytes:  the bytes of ANSWER_FILE (GetParamFatCli's answer, as nginx serves it), nothing else
//        cached: the server's dispatcher with its answer cache (session check, then a kept answer)
//        call:   the server's dispatcher without it (session check, arguments, query, JSON)
// Prints "listening on 127.0.0.1:PORT" once every loop listens.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "server/http/access_guard.h"
#include "server/http/request_log.h"
#include "server/methods/dispatch.h"
#include "server/store/store.h"

using namespace kdr::server;

namespace {

enum class Mode { Bytes, Cached, Call };

struct Request {
  std::string_view path, authorization, body;
  std::size_t size = 0; // bytes of the whole request
};

std::string_view header(std::string_view head, std::string_view name) {
  std::size_t at = head.find(name);
  if (at == std::string_view::npos) return {};
  std::string_view rest = head.substr(at + name.size());
  return rest.substr(0, rest.find("\r\n"));
}

// A whole request at the start of the buffer, or none yet.
bool nextRequest(std::string_view in, Request &r) {
  const std::size_t end = in.find("\r\n\r\n");
  if (end == std::string_view::npos) return false;
  const std::string_view head = in.substr(0, end);
  std::size_t length = 0;
  const std::string_view count = header(head, "\r\nContent-Length: ");
  std::from_chars(count.data(), count.data() + count.size(), length);
  if (in.size() < end + 4 + length) return false;
  const std::size_t pathStart = head.find(' ') + 1;
  r.path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
  r.authorization = header(head, "\r\nAuthorization: ");
  r.body = in.substr(end + 4, length);
  r.size = end + 4 + length;
  return true;
}

class Loop {
public:
  Loop(int port, Mode mode, Dispatcher &dispatcher, const std::string &bytes)
      : mode_(mode), dispatcher_(dispatcher), bytes_(bytes), log_(STDERR_FILENO) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener_, 1024) != 0) {
      std::perror("least_front: listen");
      std::exit(1);
    }
    socklen_t size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &size);
    port_ = ntohs(address.sin_port);
    epoll_ = epoll_create1(0);
    watch(listener_);
  }

  int port() const { return port_; }

  void run() {
    epoll_event ready[64];
    for (;;) {
      const int n = epoll_wait(epoll_, ready, 64, 200);
      if (n == 0) log_.flush();
      for (int i = 0; i < n; ++i) ready[i].data.fd == listener_ ? accept() : serve(ready[i].data.fd);
    }
  }

private:
  void watch(int fd) {
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = fd;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
  }

  void accept() {
    for (int fd; (fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
      const int on = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      watch(fd);
      buffers_[fd].reserve(8192);
    }
  }

  void serve(int fd) {
    std::string &in = buffers_[fd];
    char chunk[8192];
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) {
      close(fd);
      buffers_.erase(fd);
      return;
    }
    in.append(chunk, static_cast<std::size_t>(got));
    Request r;
    while (nextRequest(in, r)) {
      const auto start = std::chrono::steady_clock::now();
      answer(fd, r);
      const double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      log_.add({++requests_, answer_.user, "POST", r.path, answer_.status, ms});
      in.erase(0, r.size);
    }
  }

  void answer(int fd, const Request &r) {
    const std::string *body = &bytes_;
    answer_.status = 200;
    if (mode_ != Mode::Bytes) {
      const std::string_view route = r.path.substr(1);
      const std::size_t slash = route.find('/');
      answer_ = dispatcher_.call(route.substr(0, slash), route.substr(slash + 1), r.body, requests_ + 1,
                                 Credentials{bearerOf(r.authorization), false}, {});
      body = &answer_.body;
    }
    char head[128];
    const int length = std::snprintf(
        head, sizeof head, "HTTP/1.1 %d OK\r\nContent-Type: application/json\r\nContent-Length: %zu\r\n\r\n",
        answer_.status, body->size());
    iovec parts[2] = {{head, static_cast<std::size_t>(length)},
                      {const_cast<char *>(body->data()), body->size()}};
    if (writev(fd, parts, 2) < 0) std::perror("least_front: write");
  }

  Mode mode_;
  Dispatcher &dispatcher_;
  const std::string &bytes_;
  RequestLog log_;
  int listener_ = -1, epoll_ = -1, port_ = 0;
  std::unordered_map<int, std::string> buffers_;
  Answer answer_;
  std::uint64_t requests_ = 0;
};

} // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    std::cerr << "usage: bench_least_front DB bytes|cached|call ANSWER_FILE\n";
    return 2;
  }
  const std::string_view modeName = argv[2];
  const Mode mode = modeName == "bytes" ? Mode::Bytes : modeName == "cached" ? Mode::Cached : Mode::Call;
  auto store = Store::open(argv[1]);
  Dispatcher dispatcher(*store, mode == Mode::Cached ? 64u << 20 : 0);
  std::ifstream file(argv[3], std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::unique_ptr<Loop>> loops;
  loops.push_back(std::make_unique<Loop>(0, mode, dispatcher, bytes));
  for (unsigned i = 1; i < cores; ++i)
    loops.push_back(std::make_unique<Loop>(loops[0]->port(), mode, dispatcher, bytes));
  std::cout << "listening on 127.0.0.1:" << loops[0]->port() << std::endl;
  std::vector<std::thread> threads;
  for (auto &loop : loops) threads.emplace_back([&loop] { loop->run(); });
  for (auto &t : threads) t.join();
}
