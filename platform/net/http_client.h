#pragma once
// The desktop's side of an HTTP/1.1 conversation with the application server, over one kept-alive
// connection: a request goes out, its answer (or why none came) comes back.
//
// Plain HTTP is spoken by our own small client. HTTPS lives in libkdr-tls.so, mapped only when a
// desktop is pointed at an https address: the TLS libraries cost a desktop on plain HTTP several
// megabytes of memory for nothing. The library is looked for beside the code that asks for it.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kdr::net {

// Why no answer came. The TLS cases come only from an HTTPS client.
enum class HttpFailure {
  None,
  Connection,        // refused, or the name does not resolve
  ConnectionTimeout, // nobody answered the connection in time
  Read,              // the answer did not come, or came cut
  Write,             // the request could not be sent
  TlsConnection,     // the secure handshake failed
  TlsUnavailable,    // libkdr-tls.so could not be loaded
  TlsVerification,   // the server's certificate was refused
  Other,
};

struct HttpAnswer {
  HttpFailure failure = HttpFailure::None;
  int status = 0;
  std::string body;
  explicit operator bool() const { return failure == HttpFailure::None; }
};

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpEndpoint {
  std::string host; // a name, an IPv4 address or a bare IPv6 address
  int port = 0;
  bool tls = false;
  std::string caFile; // HTTPS: the authority to trust instead of the system's store
  int connectTimeoutSeconds = 5;
  int readTimeoutSeconds = 300;

  // "host:port" as a Host header and an address write it: an IPv6 address in brackets.
  std::string authority() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
  }
};

class HttpClient {
public:
  virtual ~HttpClient() = default;
  // Never raises: a failure comes back in the answer. contentType names a non-empty body.
  virtual HttpAnswer send(std::string_view method, const std::string &path, const HttpHeaders &headers,
                          const std::string &body, std::string_view contentType) = 0;

  HttpAnswer get(const std::string &path, const HttpHeaders &headers = {}) {
    return send("GET", path, headers, {}, {});
  }
  HttpAnswer postJson(const std::string &path, const HttpHeaders &headers, const std::string &body) {
    return send("POST", path, headers, body, "application/json");
  }
};

// Plain or TLS as the endpoint asks. Connects at the first request, not here.
std::unique_ptr<HttpClient> openHttpClient(const HttpEndpoint &endpoint);

// The entry point libkdr-tls.so exports, by this name; the caller owns what it returns.
using OpenTlsClient = HttpClient *(const HttpEndpoint &endpoint);
inline constexpr const char *openTlsClientSymbol = "kdr_open_tls_client";

} // namespace kdr::net
