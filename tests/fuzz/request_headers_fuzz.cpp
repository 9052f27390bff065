// The headers of a request as anyone may send them: the guard lets a request through only with
// the server's token, and the user name it lets through is one the history shows as it is (UTF-8,
// no control or bidirectional character, at most 100 characters) and travels back unchanged.
// The input is the headers' values separated by newlines: host, origin, authorization, content
// type, user.
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/rtl/utf8.h"
#include "server/http/access_guard.h"
#include "tests/fuzz/fuzz_database.h"

using namespace kdr;
using namespace kdr::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  std::vector<std::string_view> values;
  for (std::size_t start = 0; values.size() < 4;) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;
    values.push_back(text.substr(start, end - start));
    start = end + 1;
    if (values.size() == 4) text.remove_prefix(start);
  }
  values.resize(4);
  const RequestHeaders headers{true, values[0], values[1], values[2], values[3], text};

  static const AccessGuard guard("segredo", "127.0.0.1", {"kdr.example.com"});
  const auto refusal = guard.check(headers);
  if (!refusal && headers.authorization != "Bearer segredo") fuzz::fault("let in without the token");

  const auto user = userNameOf(headers.user);
  if (!refusal && !user) fuzz::fault("let in with a user name it cannot read");
  if (!user) return 0;
  if (!utf8::isValid(*user) || utf8::length(*user) > 100) fuzz::fault("a user name that is not one");
  for (std::size_t i = 0; i < user->size();) {
    const char32_t cp = utf8::decode(*user, i);
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || utf8::isBidiControl(cp))
      fuzz::fault("a user name with a control character");
  }
  if (userNameOf(utf8::percentEncode(*user)) != user) fuzz::fault("a user name that does not travel back");
  return 0;
}
