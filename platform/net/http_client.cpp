#include "platform/net/http_client.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>

#include "platform/net/plain_http_client.h"

namespace kdr::net {
namespace {

// libkdr-tls.so sits beside the library (or program) this code was linked into.
std::string tlsLibraryPath() {
  Dl_info self{};
  if (::dladdr(reinterpret_cast<void *>(&openHttpClient), &self) == 0 || !self.dli_fname)
    return "libkdr-tls.so";
  return (std::filesystem::path(self.dli_fname).parent_path() / "libkdr-tls.so").string();
}

// Mapped once, at the first HTTPS connection, and kept: the TLS libraries are not made to be
// unloaded while the process lives.
OpenTlsClient *tlsEntry() {
  static OpenTlsClient *entry = nullptr;
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    if (void *library = ::dlopen(tlsLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL))
      entry = reinterpret_cast<OpenTlsClient *>(::dlsym(library, openTlsClientSymbol));
  });
  return entry;
}

// Stands for the HTTPS client when libkdr-tls.so cannot be loaded: every request fails saying so,
// and the user reads why the server cannot be reached.
class NoTlsClient final : public HttpClient {
public:
  HttpAnswer send(std::string_view, const std::string &, const HttpHeaders &, const std::string &,
                  std::string_view) override {
    return HttpAnswer{HttpFailure::TlsUnavailable, 0, {}};
  }
};

} // namespace

std::unique_ptr<HttpClient> openHttpClient(const HttpEndpoint &endpoint) {
  if (!endpoint.tls) return std::make_unique<PlainHttpClient>(endpoint);
  if (OpenTlsClient *open = tlsEntry())
    if (HttpClient *client = open(endpoint)) return std::unique_ptr<HttpClient>(client);
  return std::make_unique<NoTlsClient>();
}

} // namespace kdr::net
