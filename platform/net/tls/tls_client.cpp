// libkdr-tls.so: the desktop's HTTPS client, mapped by openHttpClient only for an https address,
// so that the TLS libraries it links are not loaded by a desktop on plain HTTP. The server's
// certificate must come from an authority of the system's store, or of the endpoint's CA file,
// and name the address dialled.
#include <httplib.h>

#include <type_traits>

#include "platform/net/http_client.h"

namespace kdr::net {
namespace {

HttpFailure failureOf(httplib::Error error) {
  switch (error) {
  case httplib::Error::Connection:
    return HttpFailure::Connection;
  case httplib::Error::ConnectionTimeout:
    return HttpFailure::ConnectionTimeout;
  case httplib::Error::Read:
    return HttpFailure::Read;
  case httplib::Error::Write:
    return HttpFailure::Write;
  case httplib::Error::SSLConnection:
    return HttpFailure::TlsConnection;
  case httplib::Error::SSLServerVerification:
    return HttpFailure::TlsVerification;
  default:
    return HttpFailure::Other;
  }
}

class TlsClient final : public HttpClient {
public:
  explicit TlsClient(const HttpEndpoint &endpoint) : http_("https://" + endpoint.authority()) {
    http_.enable_server_certificate_verification(true);
    if (!endpoint.caFile.empty()) http_.set_ca_cert_path(endpoint.caFile.c_str());
    http_.set_keep_alive(true);
    http_.set_tcp_nodelay(true);
    http_.set_connection_timeout(endpoint.connectTimeoutSeconds, 0);
    http_.set_read_timeout(endpoint.readTimeoutSeconds, 0);
  }

  HttpAnswer send(std::string_view method, const std::string &path, const HttpHeaders &headers,
                  const std::string &body, std::string_view contentType) override {
    try {
      httplib::Request request;
      request.method = std::string(method);
      request.path = path;
      request.headers.insert(headers.begin(), headers.end());
      if (!contentType.empty()) request.headers.emplace("Content-Type", std::string(contentType));
      request.body = body;
      httplib::Result result = http_.send(request);
      if (!result) return HttpAnswer{failureOf(result.error()), 0, {}};
      return HttpAnswer{HttpFailure::None, result->status, std::move(result->body)};
    } catch (...) {
      return HttpAnswer{HttpFailure::Other, 0, {}};
    }
  }

private:
  httplib::Client http_;
};

} // namespace
} // namespace kdr::net

extern "C" __attribute__((visibility("default"))) kdr::net::HttpClient *
kdr_open_tls_client(const kdr::net::HttpEndpoint &endpoint) {
  try {
    return new kdr::net::TlsClient(endpoint);
  } catch (...) {
    return nullptr;
  }
}
static_assert(std::is_same_v<decltype(kdr_open_tls_client), kdr::net::OpenTlsClient>,
              "the entry point keeps the type openHttpClient calls it by");
