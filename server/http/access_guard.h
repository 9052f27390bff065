#pragma once
// The checks that keep a web page the user happens to open from writing through a server on the
// user's own machine (its requests carry another site's Origin, a Host of another name, or a body a
// browser may send without asking first), and the recognition of the machine token. Who the
// operator is, the dispatcher learns from the session the bearer key names.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/errors.h"

namespace kdr::server {

// The parts of a request the guard looks at; absent headers are empty.
struct RequestHeaders {
  bool isPost = false; // its body must be JSON
  std::string_view host, origin, authorization, contentType;
};

struct Refusal {
  ErrorCode code;
  std::string message;
};

class AccessGuard {
public:
  // listenAddress is what the server binds; allowedHosts are further names the administrator lets
  // clients use to reach it (a DNS name, a proxy's name), each with the server's port or none; or
  // NAME:PORT, a name and port of their own (a load balancer in front, reached on another port).
  // tls: the server is reached as https://, which a page's Origin then names.
  AccessGuard(std::string token, std::string listenAddress, std::vector<std::string> allowedHosts,
              bool tls = false);
  // The port is known only once bound; a Host naming another port is refused.
  void setPort(int port) { port_ = port; }

  // Every request but GET /health passes here.
  std::optional<Refusal> check(const RequestHeaders &request) const;
  // True when the Authorization header carries the machine token the server was started with.
  bool machineToken(std::string_view authorization) const;
  // GET /metrics: with the machine token, or by anyone the guard let through when there is none.
  bool metricsAllowed(std::string_view authorization) const;

  bool hostAccepted(std::string_view host) const;

private:
  bool nameAccepted(const std::string &name) const;

  std::string token_;
  std::string scheme_;                                     // "http://" or "https://"
  std::vector<std::string> names_;                         // lower case, IPv6 without brackets
  std::vector<std::pair<std::string, int>> namesWithPort_; // the same, each with its port
  bool anyAddressLiteral_ = false; // bound to every interface: any address typed as digits is ours
  int port_ = 0;
};

// The key of "Authorization: Bearer KEY"; empty for anything else.
std::string_view bearerOf(std::string_view authorization);

// True for 127.0.0.0/8, ::1 and "localhost": addresses no other machine can reach.
bool isLoopback(std::string_view address);

} // namespace kdr::server
