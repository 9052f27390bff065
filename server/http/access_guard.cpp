#include "server/http/access_guard.h"

#include "platform/rtl/utf8.h"

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <cctype>
#include <charconv>

#include "server/auth/password.h"

namespace kdr::server {
namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string withoutBrackets(std::string_view name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  return lower(name);
}

bool isAddressLiteral(const std::string &name) {
  boost::system::error_code ec;
  boost::asio::ip::make_address(name, ec);
  return !ec;
}

bool isJson(std::string_view contentType) {
  std::string_view media = trim(contentType.substr(0, contentType.find(';')));
  return lower(media) == "application/json";
}

// An allowed host as the administrator wrote it: "name:port" or "[v6]:port" into its name and
// port; a bare IPv6 address has no port.
std::pair<std::string_view, std::string_view> splitPort(std::string_view host) {
  if (!host.empty() && host.front() == '[') {
    std::size_t close = host.find(']');
    if (close == std::string_view::npos || close + 1 == host.size()) return {host, {}};
    if (host[close + 1] != ':') return {host, "?"};
    return {host.substr(0, close + 1), host.substr(close + 2)};
  }
  std::size_t colon = host.rfind(':');
  if (colon == std::string_view::npos || host.find(':') != colon) return {host, {}};
  return {host.substr(0, colon), host.substr(colon + 1)};
}

// A port as digits, or 0 when it is anything else.
int portNumber(std::string_view text) {
  int n = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  return ec == std::errc() && end == text.data() + text.size() && n > 0 && n <= 65535 ? n : 0;
}

} // namespace

std::string_view bearerOf(std::string_view authorization) {
  constexpr std::string_view bearer = "Bearer ";
  return authorization.starts_with(bearer) ? authorization.substr(bearer.size()) : std::string_view();
}

bool AccessGuard::machineToken(std::string_view authorization) const {
  // Compares every byte, so the time taken does not tell how much of a guess was right.
  return !token_.empty() && sameSecret(bearerOf(authorization), token_);
}

bool AccessGuard::metricsAllowed(std::string_view authorization) const {
  return token_.empty() || machineToken(authorization);
}

bool isLoopback(std::string_view address) {
  std::string name = withoutBrackets(address);
  if (name == "localhost") return true;
  boost::system::error_code ec;
  auto ip = boost::asio::ip::make_address(name, ec);
  return !ec && ip.is_loopback();
}

AccessGuard::AccessGuard(std::string token, std::string listenAddress, std::vector<std::string> allowedHosts,
                         bool tls)
    : token_(std::move(token)), scheme_(tls ? "https://" : "http://") {
  std::string listen = withoutBrackets(listenAddress);
  boost::system::error_code ec;
  auto ip = boost::asio::ip::make_address(listen, ec);
  anyAddressLiteral_ = !ec && ip.is_unspecified();
  names_.push_back(listen);
  if (isLoopback(listen)) names_.insert(names_.end(), {"localhost", "127.0.0.1", "::1"});
  for (const std::string &allowed : allowedHosts) {
    auto [name, port] = splitPort(allowed);
    if (int n = portNumber(port); n != 0)
      namesWithPort_.emplace_back(withoutBrackets(name), n);
    else
      names_.push_back(withoutBrackets(allowed));
  }
}

bool AccessGuard::nameAccepted(const std::string &name) const {
  // A name typed as an address cannot be pointed elsewhere by a web site's DNS, so when the server
  // listens on every interface any of its addresses will do.
  if (anyAddressLiteral_ && isAddressLiteral(name)) return true;
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

bool AccessGuard::hostAccepted(std::string_view host) const {
  std::string_view name = host, port;
  if (!host.empty() && host.front() == '[') {
    std::size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    name = host.substr(0, close + 1);
    if (close + 1 < host.size()) {
      if (host[close + 1] != ':') return false;
      port = host.substr(close + 2);
    }
  } else if (std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    name = host.substr(0, colon);
    port = host.substr(colon + 1);
  }
  if (port.empty()) return nameAccepted(withoutBrackets(name));
  const int n = portNumber(port);
  if (n != 0 && n == port_) return nameAccepted(withoutBrackets(name));
  // Another port: only a name given with that very port (a balancer's) is ours.
  return n != 0 && std::find(namesWithPort_.begin(), namesWithPort_.end(),
                             std::pair<std::string, int>(withoutBrackets(name), n)) != namesWithPort_.end();
}

std::optional<Refusal> AccessGuard::check(const RequestHeaders &r) const {
  // A request without Host or Origin does not come from a browser, which always sends the first
  // and sends the second on every cross-site write.
  if (!r.host.empty() && !hostAccepted(r.host))
    return Refusal{ErrorCode::Forbidden,
                   "Acesso negado: este servidor não atende pelo nome usado no pedido."};
  if (!r.origin.empty() && (r.host.empty() || lower(r.origin) != scheme_ + lower(r.host)))
    return Refusal{ErrorCode::Forbidden, "Acesso negado: pedidos vindos de outro site não são aceitos."};
  if (r.isPost && !isJson(r.contentType))
    return Refusal{ErrorCode::UnsupportedMediaType,
                   "O corpo do pedido deve ser JSON (Content-Type: application/json)."};
  return std::nullopt;
}

} // namespace kdr::server
