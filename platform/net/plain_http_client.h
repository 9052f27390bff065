#pragma once
// HTTP/1.1 over a plain TCP connection, kept open between requests while the server keeps it.
// Reads answers with a length, chunked answers and answers that end with the connection; every
// wait (connecting, each read, each write) is bounded by the endpoint's time-outs.
#include <string>

#include "platform/net/http_client.h"

namespace kdr::net {

class PlainHttpClient final : public HttpClient {
public:
  explicit PlainHttpClient(HttpEndpoint endpoint);
  ~PlainHttpClient() override;
  PlainHttpClient(const PlainHttpClient &) = delete;
  PlainHttpClient &operator=(const PlainHttpClient &) = delete;

  HttpAnswer send(std::string_view method, const std::string &path, const HttpHeaders &headers,
                  const std::string &body, std::string_view contentType) override;

private:
  HttpFailure connect();
  // A kept connection the server has not closed meanwhile (nothing to read on it).
  bool reusable() const;
  void disconnect();
  bool writeAll(std::string_view bytes);
  bool fill(); // reads what has come, waiting at most the read time-out; false at the end or on failure
  bool readLine(std::string &line);
  bool readBytes(std::size_t count, std::string &into);
  bool readChunked(std::string &into);
  // The answer on the connection; keepOpen says whether the server keeps the connection.
  bool readAnswer(HttpAnswer &answer, bool &keepOpen);

  HttpEndpoint endpoint_;
  std::string hostHeader_;
  int socket_ = -1;
  std::string received_;     // bytes read and not yet used
  std::size_t position_ = 0; // of the first unused byte in received_
};

} // namespace kdr::net
