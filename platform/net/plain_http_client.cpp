#include "platform/net/plain_http_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

namespace kdr::net {
namespace {

// A request whose bytes stop moving for this long is not going to be sent.
constexpr int writeWaitSeconds = 5;
// An answer's status line and headers together; more is not an answer of our server.
constexpr std::size_t headerLimit = 64 * 1024;

bool waitFor(int socket, short events, int seconds) {
  pollfd p{socket, events, 0};
  for (;;) {
    const int n = ::poll(&p, 1, seconds * 1000);
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char &c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

template <typename Number> bool parseNumber(std::string_view text, Number &value, int base = 10) {
  text = trimmed(text);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end != text.data();
}

} // namespace

PlainHttpClient::PlainHttpClient(HttpEndpoint endpoint) : endpoint_(std::move(endpoint)) {
  hostHeader_ = endpoint_.authority();
}

PlainHttpClient::~PlainHttpClient() { disconnect(); }

void PlainHttpClient::disconnect() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  received_.clear();
  position_ = 0;
}

HttpFailure PlainHttpClient::connect() {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  if (::getaddrinfo(endpoint_.host.c_str(), std::to_string(endpoint_.port).c_str(), &hints, &found) != 0)
    return HttpFailure::Connection;
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
  HttpFailure failure = HttpFailure::Connection;
  for (const addrinfo *a = found; a; a = a->ai_next) {
    const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (s < 0) continue;
    int error = 0;
    if (::connect(s, a->ai_addr, a->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS) {
        if (!waitFor(s, POLLOUT, endpoint_.connectTimeoutSeconds)) {
          failure = HttpFailure::ConnectionTimeout;
          ::close(s);
          continue;
        }
        socklen_t size = sizeof error;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size);
      }
    }
    if (error != 0) {
      ::close(s);
      continue;
    }
    const int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    socket_ = s;
    return HttpFailure::None;
  }
  return failure;
}

bool PlainHttpClient::reusable() const {
  // Bytes left over from the last answer mean the server and we no longer agree where one ends.
  if (socket_ < 0 || position_ != received_.size()) return false;
  pollfd p{socket_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

bool PlainHttpClient::writeAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!waitFor(socket_, POLLOUT, writeWaitSeconds)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool PlainHttpClient::fill() {
  if (position_ > 0 && position_ == received_.size()) {
    received_.clear();
    position_ = 0;
  }
  char buffer[16 * 1024];
  for (;;) {
    const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
    if (n > 0) {
      received_.append(buffer, static_cast<std::size_t>(n));
      return true;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    if (!waitFor(socket_, POLLIN, endpoint_.readTimeoutSeconds)) return false;
  }
}

bool PlainHttpClient::readLine(std::string &line) {
  for (;;) {
    const std::size_t end = received_.find("\r\n", position_);
    if (end != std::string::npos) {
      line.assign(received_, position_, end - position_);
      position_ = end + 2;
      return true;
    }
    if (received_.size() - position_ > headerLimit || !fill()) return false;
  }
}

bool PlainHttpClient::readBytes(std::size_t count, std::string &into) {
  while (count > 0) {
    if (position_ == received_.size() && !fill()) return false;
    const std::size_t take = std::min(count, received_.size() - position_);
    into.append(received_, position_, take);
    position_ += take;
    count -= take;
  }
  return true;
}

bool PlainHttpClient::readChunked(std::string &into) {
  std::string line;
  for (;;) {
    std::size_t size = 0;
    if (!readLine(line) || !parseNumber(std::string_view(line).substr(0, line.find(';')), size, 16))
      return false;
    if (size == 0) break;
    if (!readBytes(size, into) || !readLine(line) || !line.empty()) return false;
  }
  // Trailers, up to the empty line that ends the answer.
  do {
    if (!readLine(line)) return false;
  } while (!line.empty());
  return true;
}

bool PlainHttpClient::readAnswer(HttpAnswer &answer, bool &keepOpen) {
  std::string line;
  bool http10 = false;
  // An interim answer (100 Continue) comes before the real one.
  do {
    if (!readLine(line) || line.size() < 12 || line.compare(0, 5, "HTTP/") != 0 ||
        !parseNumber(std::string_view(line).substr(9, 3), answer.status))
      return false;
    http10 = line.compare(5, 3, "1.0") == 0;
    std::string header;
    std::optional<std::size_t> length;
    bool chunked = false;
    std::string connection;
    for (;;) {
      if (!readLine(header)) return false;
      if (header.empty()) break;
      const std::size_t colon = header.find(':');
      if (colon == std::string::npos) return false;
      const std::string name = lower(trimmed(std::string_view(header).substr(0, colon)));
      const std::string_view value = trimmed(std::string_view(header).substr(colon + 1));
      if (name == "content-length") {
        std::size_t n = 0;
        if (!parseNumber(value, n)) return false;
        length = n;
      } else if (name == "transfer-encoding") {
        chunked = lower(value).find("chunked") != std::string::npos;
      } else if (name == "connection") {
        connection = lower(value);
      }
    }
    if (answer.status < 200) continue;
    keepOpen = http10 ? connection == "keep-alive" : connection != "close";
    answer.body.clear();
    if (answer.status == 204 || answer.status == 304) return true;
    if (chunked) return readChunked(answer.body);
    if (length) return readBytes(*length, answer.body);
    // No length: the answer ends with the connection.
    keepOpen = false;
    while (fill()) {
      answer.body.append(received_, position_, std::string::npos);
      position_ = received_.size();
    }
    return true;
  } while (true);
}

HttpAnswer PlainHttpClient::send(std::string_view method, const std::string &path, const HttpHeaders &headers,
                                 const std::string &body, std::string_view contentType) {
  HttpAnswer answer;
  if (!reusable()) {
    disconnect();
    if (HttpFailure failure = connect(); failure != HttpFailure::None) {
      answer.failure = failure;
      return answer;
    }
  }
  std::string request;
  request.reserve(256 + body.size());
  request.append(method).append(" ").append(path).append(" HTTP/1.1\r\nHost: ").append(hostHeader_);
  request.append("\r\nAccept: */*\r\nUser-Agent: kdr-desktop\r\n");
  for (const auto &[name, value] : headers) request.append(name).append(": ").append(value).append("\r\n");
  if (!contentType.empty()) request.append("Content-Type: ").append(contentType).append("\r\n");
  if (!body.empty() || method == "POST")
    request.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
  request.append("\r\n").append(body);
  if (!writeAll(request)) {
    disconnect();
    answer.failure = HttpFailure::Write;
    return answer;
  }
  bool keepOpen = false;
  if (!readAnswer(answer, keepOpen)) {
    disconnect();
    answer = HttpAnswer{HttpFailure::Read, 0, {}};
    return answer;
  }
  if (!keepOpen) disconnect();
  return answer;
}

} // namespace kdr::net
