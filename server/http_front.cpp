#include "server/http_front.h"

#include <httplib.h>

#include <charconv>
#include <chrono>
#include <stdexcept>

#include "server/errors.h"

namespace kdr::server {
namespace {

constexpr const char *jsonType = "application/json; charset=utf-8";

// The request a worker thread is serving: set before routing, read by the log line.
thread_local std::uint64_t currentRequest = 0;
thread_local std::chrono::steady_clock::time_point requestStart;

bool sameToken(const std::string &given, const std::string &expected) {
  // Compares every byte so the time taken does not tell how much of a guess was right.
  unsigned diff = given.size() != expected.size();
  for (std::size_t i = 0; i < expected.size(); ++i)
    diff |=
        static_cast<unsigned char>(i < given.size() ? given[i] : 0) ^ static_cast<unsigned char>(expected[i]);
  return diff == 0;
}

// "[id] METHOD /path status 1.23ms", without printf: it is written for every request.
std::string requestLine(std::uint64_t id, const httplib::Request &req, int status, double ms) {
  char buf[32];
  std::string line = "[";
  line.reserve(req.method.size() + req.path.size() + 48);
  line.append(buf, std::to_chars(buf, buf + sizeof buf, id).ptr);
  line += "] ";
  line += req.method;
  line += ' ';
  line += req.path;
  line += ' ';
  line.append(buf, std::to_chars(buf, buf + sizeof buf, status).ptr);
  line += ' ';
  line.append(buf, std::to_chars(buf, buf + sizeof buf, ms, std::chars_format::fixed, 2).ptr);
  line += "ms";
  return line;
}

void setAnswer(httplib::Response &res, Answer a) {
  res.status = a.status;
  res.body = std::move(a.body);
  res.headers.erase("Content-Type");
  res.set_header("Content-Type", jsonType);
}

} // namespace

HttpFront::HttpFront(Dispatcher &dispatcher, HttpOptions options)
    : dispatcher_(dispatcher), options_(std::move(options)), server_(std::make_unique<httplib::Server>()) {
  httplib::Server &svr = *server_;
  std::size_t threads = options_.threads;
  svr.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  svr.set_tcp_nodelay(true);
  svr.set_keep_alive_max_count(1000000);
  svr.set_keep_alive_timeout(30);
  svr.set_payload_max_length(options_.maxBody);

  svr.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
    currentRequest = nextRequest_++;
    requestStart = std::chrono::steady_clock::now();
    if (options_.token.empty() || req.path == "/health") return httplib::Server::HandlerResponse::Unhandled;
    std::string auth = req.get_header_value("Authorization");
    const std::string bearer = "Bearer ";
    if (auth.rfind(bearer, 0) == 0 && sameToken(auth.substr(bearer.size()), options_.token))
      return httplib::Server::HandlerResponse::Unhandled;
    setAnswer(res,
              errorAnswer(ErrorCode::Unauthenticated, "Acesso negado: o servidor exige um token válido."));
    // The refused request's body was never read: kept alive, the connection would take it for the
    // next request.
    res.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
  });

  svr.Get("/health", [](const httplib::Request &, httplib::Response &res) {
    res.set_content(R"({"status":"ok"})", jsonType);
  });

  svr.Post(R"(/([^/]+)/([^/]+))", [this](const httplib::Request &req, httplib::Response &res) {
    setAnswer(res, dispatcher_.call(req.matches[1].str(), req.matches[2].str(), req.body, currentRequest));
  });

  svr.set_error_handler([this](const httplib::Request &, httplib::Response &res) {
    if (!res.body.empty()) return;
    if (res.status == 413)
      setAnswer(res,
                errorAnswer(ErrorCode::PayloadTooLarge, "O pedido excede o tamanho máximo de " +
                                                            std::to_string(options_.maxBody) + " bytes."));
    else if (res.status == 404 || res.status == 405)
      setAnswer(res,
                errorAnswer(ErrorCode::NotFound, "Recurso desconhecido: use POST /<Servidor>/<Método>."));
    else if (res.status < 500)
      setAnswer(res, errorAnswer(ErrorCode::InvalidArgument, "Pedido HTTP inválido."));
  });

  svr.set_logger([](const httplib::Request &req, const httplib::Response &res) {
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - requestStart).count();
    logLine(requestLine(currentRequest, req, res.status, ms));
  });
}

HttpFront::~HttpFront() = default;

int HttpFront::bind() {
  int port = options_.port == 0
                 ? server_->bind_to_any_port(options_.address)
                 : (server_->bind_to_port(options_.address, options_.port) ? options_.port : -1);
  if (port < 0)
    throw std::runtime_error("não foi possível escutar em " + options_.address + ":" +
                             std::to_string(options_.port));
  return port;
}

void HttpFront::run() { server_->listen_after_bind(); }

void HttpFront::stop() { server_->stop(); }

} // namespace kdr::server
