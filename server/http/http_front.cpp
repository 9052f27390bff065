#include "server/http/http_front.h"

#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <chrono>
#include <optional>
#include <random>
#include <stdexcept>
#include <thread>

#include "server/http/access_guard.h"
#include "server/http/metrics.h"
#include "server/http/request_log.h"

namespace kdr::server {

namespace asio = boost::asio;
namespace ssl = boost::asio::ssl;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using beast::error_code;

namespace {

// A connection that has sent nothing costs only a socket, but sockets are finite: one that stays
// silent is closed after a while.
constexpr auto firstRequestWait = std::chrono::seconds(10);
constexpr auto keepAliveWait = std::chrono::seconds(30);
// A whole request once its first byte came, and a whole answer: a client too slow for either is
// dropped.
constexpr auto requestWait = std::chrono::seconds(30);
constexpr auto answerWait = std::chrono::seconds(30);
// A whole table can be a hundred megabytes: a large answer gets a second more for every 256 KiB,
// so that a client on a slow link (down to about 2 Mbit/s) is not cut off.
constexpr std::size_t answerBytesPerSecond = 256 * 1024;
// After a refusal that ends the connection, what the client still sends is read and dropped for a
// moment, so that the kernel does not reset the connection before the client reads the answer.
constexpr auto drainWait = std::chrono::seconds(2);
constexpr std::size_t headerLimit = 16 * 1024;
constexpr auto logEvery = std::chrono::milliseconds(200);

const char *reasonPhrase(int status) {
  switch (status) {
  case 200:
    return "OK";
  case 400:
    return "Bad Request";
  case 401:
    return "Unauthorized";
  case 403:
    return "Forbidden";
  case 404:
    return "Not Found";
  case 409:
    return "Conflict";
  case 413:
    return "Payload Too Large";
  case 415:
    return "Unsupported Media Type";
  case 429:
    return "Too Many Requests";
  case 503:
    return "Service Unavailable";
  default:
    return status < 500 ? "Bad Request" : "Internal Server Error";
  }
}

struct Route {
  std::string_view module, method;
};

// "/<Module>/<Method>", both non-empty, nothing more.
std::optional<Route> routeOf(std::string_view path) {
  if (path.empty() || path[0] != '/') return std::nullopt;
  std::size_t slash = path.find('/', 1);
  if (slash == std::string_view::npos || slash == 1 || slash + 1 == path.size() ||
      path.find('/', slash + 1) != std::string_view::npos)
    return std::nullopt;
  return Route{path.substr(1, slash - 1), path.substr(slash + 1)};
}

bool isParseError(const error_code &ec) {
  static const auto &category = http::make_error_code(http::error::bad_method).category();
  return ec.category() == category && ec != http::error::end_of_stream && ec != http::error::partial_message;
}

// 23 random bits, never 0, so that a request id (server id << 40 | counter) stays a positive
// 64-bit integer, as the history keeps it.
std::uint64_t randomServerId() {
  std::random_device random;
  std::uint64_t id = 0;
  while (id == 0) id = ((std::uint64_t(random()) << 32) | random()) & ((std::uint64_t(1) << 23) - 1);
  return id;
}

// A pool of reading workers of the size asked; 0: twice the cores, at least 4.
std::size_t workersOr(std::size_t asked) {
  return asked ? asked : std::max<std::size_t>(4, 2 * std::thread::hardware_concurrency());
}

// Counts a request from the moment it is whole until its answer is written, so that a stopping
// server lets it finish.
class InFlight {
public:
  explicit InFlight(std::atomic<int> &count) : count_(count) { ++count_; }
  ~InFlight() { --count_; }
  InFlight(const InFlight &) = delete;
  InFlight &operator=(const InFlight &) = delete;

private:
  std::atomic<int> &count_;
};

// TLS 1.2 or later with the administrator's certificate chain and key; none without a certificate.
std::optional<ssl::context> tlsContext(const HttpOptions &o) {
  if (o.tlsCertificate.empty() && o.tlsKey.empty()) return std::nullopt;
  if (o.tlsCertificate.empty() || o.tlsKey.empty())
    throw std::runtime_error("TLS precisa do certificado e da chave (--tls-cert e --tls-key)");
  std::optional<ssl::context> context(std::in_place, ssl::context::tls_server);
  context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                       ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 | ssl::context::single_dh_use);
  SSL_CTX_set_min_proto_version(context->native_handle(), TLS1_2_VERSION);
  try {
    context->use_certificate_chain_file(o.tlsCertificate);
  } catch (const boost::system::system_error &e) {
    throw std::runtime_error("não foi possível ler o certificado " + o.tlsCertificate + " (" +
                             e.code().message() + ")");
  }
  try {
    context->use_private_key_file(o.tlsKey, ssl::context::pem);
  } catch (const boost::system::system_error &e) {
    throw std::runtime_error("não foi possível ler a chave " + o.tlsKey + " (" + e.code().message() + ")");
  }
  return context;
}

struct Loop {
  explicit Loop(int logFd) : log(logFd) {}
  asio::io_context context{1};
  RequestLog log;
  asio::steady_timer flushTimer{context};
};

} // namespace

struct HttpFrontState {
  HttpFrontState(Dispatcher &d, HttpOptions o)
      : dispatcher(d), options(std::move(o)), tls(tlsContext(options)),
        guard(options.token, options.address, options.allowedHosts, tls.has_value()),
        pointReaders(workersOr(options.pointReaders)), readers(workersOr(options.readers)),
        writers(std::max<std::size_t>(1, options.writers)) {
    std::size_t n = options.loops ? options.loops : std::max(1u, std::thread::hardware_concurrency());
    for (std::size_t i = 0; i < n; ++i) loops.push_back(std::make_unique<Loop>(options.logFd));
  }

  void accept();
  void flushLogLater(Loop &loop);
  asio::thread_pool &pool(Dispatcher::Place place) {
    switch (place) {
    case Dispatcher::Place::Point:
      return pointReaders;
    case Dispatcher::Place::Writers:
      return writers;
    default:
      return readers;
    }
  }
  std::string scrape();
  // On the first loop: no new connection nor request; the loops end once the requests in flight
  // are answered, or at the stop deadline.
  void stopWhenIdle();
  void endWhenAnswered(Clock::time_point deadline);

  Dispatcher &dispatcher;
  HttpOptions options;
  std::optional<ssl::context> tls; // with a certificate: every connection is TLS
  AccessGuard guard;
  std::vector<std::unique_ptr<Loop>> loops;
  std::optional<tcp::acceptor> acceptor;
  std::optional<asio::steady_timer> acceptRetry;
  std::size_t nextLoop = 0;
  // Request ids are unique across servers: this server's random id above a counter of its own.
  const std::uint64_t serverId = randomServerId();
  std::atomic<std::uint64_t> nextRequest{1};
  Metrics metrics;
  std::atomic<bool> leaving{false}; // stop() was asked: /health says so, requests are still served
  std::atomic<bool> stopping{false};
  std::atomic<int> inFlight{0};
  std::optional<asio::steady_timer> stopTimer, leaveTimer;
  // Last, so that they are joined before the loops their tasks answer on go away.
  asio::thread_pool pointReaders;
  asio::thread_pool readers;
  asio::thread_pool writers;
};

namespace {

// One client connection, served by one loop: read a request, answer it, wait for the next. Stream
// is the plain TCP stream, or TLS over it (which first shakes hands).
template <class Stream> class Connection : public std::enable_shared_from_this<Connection<Stream>> {
public:
  static constexpr bool tls = !std::is_same_v<Stream, beast::tcp_stream>;

  template <class... Tls>
  Connection(HttpFrontState &front, Loop &loop, tcp::socket socket, Tls &...context)
      : front_(front), loop_(loop), stream_(std::move(socket), context...) {}

  void start() {
    if constexpr (!tls) {
      waitForRequest(firstRequestWait);
    } else {
      lowest().expires_after(firstRequestWait);
      stream_.async_handshake(ssl::stream_base::server, [self = this->shared_from_this()](error_code ec) {
        if (ec) return self->close(); // not TLS, an old version, or a client that refused our certificate
        self->waitForRequest(firstRequestWait);
      });
    }
  }

private:
  using std::enable_shared_from_this<Connection<Stream>>::shared_from_this;
  beast::tcp_stream &lowest() { return beast::get_lowest_layer(stream_); }

  // The request's clock and id start with its first byte, not with the wait for it.
  void waitForRequest(Clock::duration idle) {
    if (front_.stopping) return close(); // a stopping server takes no new request
    if (buffer_.size() > 0) return beginRequest();
    lowest().expires_after(idle);
    stream_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](error_code ec, std::size_t n) {
      if (ec) return self->close();
      self->buffer_.commit(n);
      self->beginRequest();
    });
  }

  void beginRequest() {
    id_ = front_.serverId << 40 | (front_.nextRequest++ & ((std::uint64_t(1) << 40) - 1));
    start_ = Clock::now();
    method_.clear();
    path_.clear();
    user_.clear();
    remoteMethod_.clear();
    keepAlive_ = false;
    parser_.emplace();
    parser_->header_limit(headerLimit);
    parser_->body_limit(front_.options.maxBody);
    lowest().expires_after(requestWait);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](error_code ec, std::size_t) { self->onHeader(ec); });
  }

  void onHeader(error_code ec) {
    if (ec) return failRead(ec);
    const auto &req = parser_->get();
    method_ = std::string(req.method_string());
    std::string_view target = req.target();
    path_ = std::string(target.substr(0, target.find('?')));
    keepAlive_ = req.keep_alive();
    http10_ = req.version() == 10;
    if (!parser_->is_done() && beast::iequals(req[http::field::expect], "100-continue")) {
      static constexpr std::string_view goOn = "HTTP/1.1 100 Continue\r\n\r\n";
      asio::async_write(stream_, asio::buffer(goOn.data(), goOn.size()),
                        [self = shared_from_this()](error_code e, std::size_t) {
                          if (e) return self->close();
                          self->readBody();
                        });
      return;
    }
    readBody();
  }

  void readBody() {
    http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](error_code ec, std::size_t) {
      if (ec) return self->failRead(ec);
      self->handle();
    });
  }

  void failRead(const error_code &ec) {
    if (method_.empty()) {
      // Refused within the header: name what was read of the request line, if anything.
      const auto &req = parser_->get();
      method_ = std::string(req.method_string());
      path_ = std::string(req.target().substr(0, req.target().find('?')));
    }
    if (ec == http::error::body_limit) {
      keepAlive_ = false;
      return answer(errorAnswer(ErrorCode::PayloadTooLarge, "O pedido excede o tamanho máximo de " +
                                                                std::to_string(front_.options.maxBody) +
                                                                " bytes."));
    }
    if (isParseError(ec)) {
      keepAlive_ = false;
      return answer(errorAnswer(ErrorCode::InvalidArgument, "Pedido HTTP inválido."));
    }
    // The client left or went silent in the middle of its request: nobody to answer.
    logRequest(0);
    close();
  }

  void handle() {
    flight_.emplace(front_.inFlight);
    auto &req = parser_->get();
    if (req.method() == http::verb::get && path_ == "/health")
      return answer(front_.leaving ? Answer{503, R"({"status":"stopping"})"}
                                   : Answer{200, R"({"status":"ok"})"});
    RequestHeaders headers{req.method() == http::verb::post, req[http::field::host], req[http::field::origin],
                           req[http::field::authorization], req[http::field::content_type]};
    if (auto refusal = front_.guard.check(headers))
      return answer(errorAnswer(refusal->code, refusal->message));
    // The scrape tells how the server runs, never what it holds: the machine token, when the server
    // has one, is what a monitoring job shows.
    if (req.method() == http::verb::get && path_ == "/metrics") {
      if (!front_.guard.metricsAllowed(req[http::field::authorization]))
        return answer(errorAnswer(ErrorCode::Unauthenticated,
                                  "Acesso negado: as métricas exigem o token do servidor."));
      return answer(Answer{200, front_.scrape(), "text/plain; version=0.0.4; charset=utf-8"});
    }
    if (path_ == "/session") return session(req.method());
    auto route = routeOf(path_);
    if (!route || req.method() != http::verb::post)
      return answer(errorAnswer(ErrorCode::NotFound, "Recurso desconhecido: use POST /<Servidor>/<Método>."));
    // Who asks is what the session proves: an X-Kdr-User header or any other claim is not read.
    const Dispatcher::Plan plan = front_.dispatcher.plan(route->module, route->method, req.body());
    remoteMethod_ = plan.known ? std::string(route->method) : "unknown";
    const bool machine = front_.guard.machineToken(req[http::field::authorization]);
    auto call = [self = shared_from_this(), route = *route, machine] {
      auto &r = self->parser_->get();
      return self->front_.dispatcher.call(route.module, route.method, r.body(), self->id_,
                                          Credentials{bearerOf(r[http::field::authorization]), machine},
                                          r["Idempotency-Key"]);
    };
    if (plan.place == Dispatcher::Place::Point && (plan.kept || front_.options.pointReadsOnLoop))
      return answer(call());
    work(plan.place, std::move(call));
  }

  // POST /session signs in (the password check is costly by design: on a worker), DELETE signs out.
  void session(http::verb verb) {
    if (verb == http::verb::post) {
      error_code ec;
      const std::string address = lowest().socket().remote_endpoint(ec).address().to_string();
      return work(Dispatcher::Place::Writers, [self = shared_from_this(), address] {
        return self->front_.dispatcher.signIn(self->parser_->get().body(), address, self->id_);
      });
    }
    if (verb == http::verb::delete_)
      return work(Dispatcher::Place::Writers, [self = shared_from_this()] {
        return self->front_.dispatcher.signOut(bearerOf(self->parser_->get()[http::field::authorization]));
      });
    answer(errorAnswer(ErrorCode::NotFound, "Use POST /session para entrar e DELETE /session para sair."));
  }

  // Runs the request away from the loop and answers on the loop of this connection.
  template <class Work> void work(Dispatcher::Place place, Work task) {
    asio::post(front_.pool(place), [self = shared_from_this(), task = std::move(task)] {
      Answer a = task();
      asio::post(self->stream_.get_executor(),
                 [self, a = std::move(a)]() mutable { self->answer(std::move(a)); });
    });
  }

  // Status line, headers and body leave in one write (the body is not copied: it may be a whole
  // table).
  void answer(Answer a) {
    user_ = std::move(a.user);
    logRequest(a.status);
    if (front_.stopping) keepAlive_ = false;
    answer_ = std::move(a);
    out_.clear();
    out_ += "HTTP/1.1 ";
    out_ += std::to_string(answer_.status);
    out_ += ' ';
    out_ += reasonPhrase(answer_.status);
    out_ += "\r\nContent-Type: ";
    out_ += answer_.contentType;
    out_ += "\r\nContent-Length: ";
    out_ += std::to_string(answer_.body.size());
    out_ += keepAlive_ ? (http10_ ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\n\r\n")
                       : "\r\nConnection: close\r\n\r\n";
    parser_.reset();
    lowest().expires_after(answerWait + std::chrono::seconds(answer_.body.size() / answerBytesPerSecond));
    const std::array<asio::const_buffer, 2> parts{asio::buffer(out_), asio::buffer(answer_.body)};
    asio::async_write(stream_, parts, [self = shared_from_this()](error_code ec, std::size_t) {
      self->answer_.body = std::string();
      self->flight_.reset();
      if (ec) return self->close();
      if (self->keepAlive_) return self->waitForRequest(keepAliveWait);
      error_code ignored;
      self->lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
      self->lowest().expires_after(drainWait);
      self->drain();
    });
  }

  void drain() {
    buffer_.clear();
    stream_.async_read_some(buffer_.prepare(16 * 1024),
                            [self = shared_from_this()](error_code ec, std::size_t) {
                              if (ec) return self->close();
                              self->drain();
                            });
  }

  void close() {
    error_code ignored;
    lowest().socket().close(ignored);
  }

  void logRequest(int status) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    loop_.log.add({id_, user_, method_, path_, status, seconds * 1000});
    front_.metrics.countRequest(remoteMethod_.empty() ? pathKind() : remoteMethod_, status, seconds);
  }

  // The metrics' name of a request that reached no remote method.
  std::string_view pathKind() const {
    if (path_ == "/health") return "health";
    if (path_ == "/metrics") return "metrics";
    return "unknown";
  }

  HttpFrontState &front_;
  Loop &loop_;
  Stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::uint64_t id_ = 0;
  Clock::time_point start_;
  std::string method_, path_, out_; // out_: the status line and headers of the answer
  std::string user_, remoteMethod_; // for the log and the metrics
  std::optional<InFlight> flight_;  // from a whole request to its answer's last byte
  Answer answer_;
  bool keepAlive_ = false, http10_ = false;
};

} // namespace

void HttpFrontState::accept() {
  Loop &target = *loops[nextLoop++ % loops.size()];
  acceptor->async_accept(target.context, [this, &target](error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor->is_open()) return;
    if (ec) {
      // Out of descriptors, most likely: try again shortly instead of spinning.
      logLine("accept: " + ec.message());
      acceptRetry.emplace(acceptor->get_executor());
      acceptRetry->expires_after(std::chrono::milliseconds(100));
      acceptRetry->async_wait([this](error_code e) {
        if (!e) accept();
      });
      return;
    }
    error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    if (tls) {
      auto connection = std::make_shared<Connection<beast::ssl_stream<beast::tcp_stream>>>(
          *this, target, std::move(socket), *tls);
      asio::post(target.context, [connection] { connection->start(); });
    } else {
      auto connection = std::make_shared<Connection<beast::tcp_stream>>(*this, target, std::move(socket));
      asio::post(target.context, [connection] { connection->start(); });
    }
    accept();
  });
}

std::string HttpFrontState::scrape() {
  MetricsGauges g;
  Store::PoolUsage pool = dispatcher.store().poolUsage();
  g.poolOpen = pool.open;
  g.poolIdle = pool.idle;
  AnswerCache::Usage cache = dispatcher.answerCacheUsage();
  g.cacheHits = cache.hits;
  g.cacheMisses = cache.misses;
  g.cacheBytes = cache.bytes;
  g.cacheBudget = cache.budget;
  g.firstLoads = dispatcher.firstLoads();
  return metrics.render(g);
}

void HttpFrontState::flushLogLater(Loop &loop) {
  loop.flushTimer.expires_after(logEvery);
  loop.flushTimer.async_wait([this, &loop](error_code ec) {
    if (ec) return;
    loop.log.flush();
    flushLogLater(loop);
  });
}

HttpFront::HttpFront(Dispatcher &dispatcher, HttpOptions options)
    : impl_(std::make_unique<HttpFrontState>(dispatcher, std::move(options))) {}

HttpFront::~HttpFront() = default;

int HttpFront::bind() {
  const HttpOptions &o = impl_->options;
  try {
    tcp::resolver resolver(impl_->loops[0]->context);
    tcp::endpoint endpoint =
        *resolver.resolve(o.address, std::to_string(o.port), tcp::resolver::numeric_service).begin();
    tcp::acceptor &acceptor = impl_->acceptor.emplace(impl_->loops[0]->context);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
    int port = acceptor.local_endpoint().port();
    impl_->guard.setPort(port);
    return port;
  } catch (const boost::system::system_error &e) {
    throw std::runtime_error("não foi possível escutar em " + o.address + ":" + std::to_string(o.port) +
                             " (" + e.code().message() + ")");
  }
}

void HttpFront::run() {
  auto serve = [](Loop &loop) {
    for (;;) {
      try {
        loop.context.run();
        return;
      } catch (const std::exception &e) {
        logLine(std::string("event loop: ") + e.what());
      }
    }
  };
  for (auto &loop : impl_->loops) impl_->flushLogLater(*loop);
  impl_->accept();
  std::vector<std::thread> threads;
  try {
    for (std::size_t i = 1; i < impl_->loops.size(); ++i)
      threads.emplace_back(serve, std::ref(*impl_->loops[i]));
  } catch (...) {
    // A loop that cannot start fails the run; the loops already serving end first, so no thread
    // is left behind to end the process.
    stop();
    for (auto &t : threads) t.join();
    throw;
  }
  serve(*impl_->loops[0]);
  for (auto &t : threads) t.join();
  for (auto &loop : impl_->loops) loop->log.flush();
}

void HttpFrontState::stopWhenIdle() {
  if (stopping.exchange(true)) return;
  error_code ignored;
  if (acceptor) acceptor->close(ignored);
  if (acceptRetry) acceptRetry->cancel();
  if (inFlight > 0)
    logLine("stopping: waiting for " + std::to_string(inFlight.load()) + " request(s) in flight");
  stopTimer.emplace(loops[0]->context);
  endWhenAnswered(Clock::now() + options.stopWait);
}

void HttpFrontState::endWhenAnswered(Clock::time_point deadline) {
  if (inFlight == 0 || Clock::now() >= deadline) {
    if (inFlight > 0)
      logLine("stopped with " + std::to_string(inFlight.load()) + " request(s) unanswered",
              LogLevel::Warning);
    for (auto &loop : loops) loop->context.stop();
    return;
  }
  stopTimer->expires_after(std::chrono::milliseconds(20));
  stopTimer->async_wait([this, deadline](error_code) { endWhenAnswered(deadline); });
}

void HttpFront::stop() {
  HttpFrontState *state = impl_.get();
  asio::post(state->loops[0]->context, [state] {
    if (state->leaving.exchange(true) || state->options.leaveNotice.count() == 0)
      return state->stopWhenIdle();
    logLine("leaving: /health answers 503 for " + std::to_string(state->options.leaveNotice.count()) +
            " ms before the server stops taking requests");
    state->leaveTimer.emplace(state->loops[0]->context);
    state->leaveTimer->expires_after(state->options.leaveNotice);
    state->leaveTimer->async_wait([state](error_code) { state->stopWhenIdle(); });
  });
}

} // namespace kdr::server
