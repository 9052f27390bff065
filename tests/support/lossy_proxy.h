#pragma once
// A stand-in for a load balancer between a desktop's connection and a real server, for tests that
// need the network's failures on purpose: each request, in turn, is passed on, passed on with its
// answer lost on the way back (the server applied it, the desktop hears nothing: a server killed
// after its commit, a cut connection), or answered 502 by the balancer itself (no server behind
// it). It keeps the Idempotency-Key each request carried.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kdr::test {

class LossyProxy {
public:
  enum class Fate { Pass, LoseAnswer, BadGateway };

  // Listens at once, so that the server can be told the balancer's address; passes requests on
  // once forwardTo() names the server's port.
  LossyProxy() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at = loopback(0);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 ||
        ::listen(listener_, 16) != 0)
      throw std::runtime_error("the proxy cannot listen");
    socklen_t size = sizeof at;
    ::getsockname(listener_, reinterpret_cast<sockaddr *>(&at), &size);
    port_ = ntohs(at.sin_port);
    acceptor_ = std::thread([this] { accept(); });
  }
  ~LossyProxy() {
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    {
      std::lock_guard lock(mutex_);
      for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
    }
    for (auto &t : connections_) t.join();
    for (int fd : clients_) ::close(fd);
    ::close(listener_);
  }
  LossyProxy(const LossyProxy &) = delete;
  LossyProxy &operator=(const LossyProxy &) = delete;

  int port() const { return port_; }
  void forwardTo(int serverPort) { serverPort_ = serverPort; }
  // The fates of the next requests, in order; the requests after them pass.
  void plan(std::vector<Fate> fates) {
    std::lock_guard lock(mutex_);
    plan_.assign(fates.begin(), fates.end());
  }
  // The Idempotency-Key of every request seen so far ("" for none), in order.
  std::vector<std::string> keys() const {
    std::lock_guard lock(mutex_);
    return keys_;
  }

private:
  static sockaddr_in loopback(int port) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<std::uint16_t>(port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return at;
  }

  void accept() {
    for (;;) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      std::lock_guard lock(mutex_);
      clients_.push_back(fd);
      connections_.emplace_back([this, fd] { serve(fd); });
    }
  }

  // One HTTP message with a Content-Length (or none) from fd, after what buffer already holds.
  static std::optional<std::string> readMessage(int fd, std::string &buffer) {
    std::size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos)
      if (!receive(fd, buffer)) return std::nullopt;
    const std::size_t length = contentLength(buffer.substr(0, end));
    while (buffer.size() < end + 4 + length)
      if (!receive(fd, buffer)) return std::nullopt;
    std::string message = buffer.substr(0, end + 4 + length);
    buffer.erase(0, message.size());
    return message;
  }
  static bool receive(int fd, std::string &buffer) {
    char chunk[16384];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
  static std::string header(const std::string &head, std::string name) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) return {};
    std::size_t from = at + name.size() + 3, to = head.find("\r\n", from);
    while (from < to && head[from] == ' ') ++from;
    return head.substr(from, to - from);
  }
  static std::size_t contentLength(const std::string &head) {
    const std::string value = header(head, "Content-Length");
    return value.empty() ? 0 : std::stoul(value);
  }
  static bool sendAll(int fd, const std::string &data) {
    for (std::size_t sent = 0; sent < data.size();) {
      const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  Fate next(const std::string &request) {
    std::lock_guard lock(mutex_);
    keys_.push_back(header(request.substr(0, request.find("\r\n\r\n")), "Idempotency-Key"));
    if (plan_.empty()) return Fate::Pass;
    Fate fate = plan_.front();
    plan_.pop_front();
    return fate;
  }

  std::optional<std::string> forward(const std::string &request) {
    int upstream = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = loopback(serverPort_);
    std::optional<std::string> answer;
    std::string buffer;
    if (upstream >= 0 && ::connect(upstream, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0 &&
        sendAll(upstream, request))
      answer = readMessage(upstream, buffer);
    if (upstream >= 0) ::close(upstream);
    return answer;
  }

  void serve(int client) {
    std::string buffer;
    while (auto request = readMessage(client, buffer)) {
      const Fate fate = next(*request);
      if (fate == Fate::BadGateway) {
        const std::string body = "<html><body><h1>502 Bad Gateway</h1></body></html>\n";
        sendAll(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/html\r\nContent-Length: " +
                            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        break;
      }
      std::optional<std::string> answer = forward(*request);
      if (!answer || fate == Fate::LoseAnswer || !sendAll(client, *answer)) break;
    }
    ::shutdown(client, SHUT_RDWR);
  }

  std::atomic<int> serverPort_{0};
  int listener_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::deque<Fate> plan_;
  std::vector<std::string> keys_;
  std::vector<int> clients_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
};

} // namespace kdr::test
