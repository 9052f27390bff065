// The headers of a request as anyone may send them: the guard lets through only a request whose
// Host names this server and whose Origin, if any, is that same server, and the machine token is
// recognised only when it is sent whole and exactly. The input is the headers' values separated
// by newlines: host, origin, authorization, content type.
#include <cstdint>
#include <string_view>
#include <vector>

#include "server/http/access_guard.h"
#include "tests/fuzz/fuzz_database.h"

using namespace kdr;
using namespace kdr::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  std::vector<std::string_view> values;
  for (std::size_t start = 0; values.size() < 3;) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;
    values.push_back(text.substr(start, end - start));
    start = end + 1;
    if (values.size() == 3) text.remove_prefix(start);
  }
  values.resize(3);
  const RequestHeaders headers{true, values[0], values[1], values[2], text};

  static const AccessGuard guard("segredo", "127.0.0.1", {"kdr.example.com"});
  if (guard.machineToken(headers.authorization) != (headers.authorization == "Bearer segredo"))
    fuzz::fault("the machine token recognised in another text, or missed");
  if (guard.metricsAllowed(headers.authorization) != guard.machineToken(headers.authorization))
    fuzz::fault("the metrics open without the machine token");
  if (guard.check(headers) && headers.host.empty() && headers.origin.empty() &&
      headers.contentType == "application/json")
    fuzz::fault("a request with no Host nor Origin refused");
  return 0;
}
