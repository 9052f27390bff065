// Sign-in bodies as anyone may send them: the request is read or refused as invalid, never
// anything else, and the server's answer is a session, a refusal of the password, a wait, or a
// malformed request, always as JSON.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/data/packet_reader.h"
#include "platform/rtl/utf8.h"
#include "server/auth/sign_in_request.h"
#include "server/errors.h"
#include "server/methods/dispatch.h"
#include "tests/fuzz/fuzz_database.h"

using namespace kdr;
using namespace kdr::server;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Every well-formed guess checks a password: at the product's cost a run would try a few a second.
  setenv("KDR_TEST_PASSWORD_COST", "minimum", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char *>(data), size);
  try {
    const SignInRequest r = readSignInRequest(body);
    if (r.operatorCode.empty() || utf8::length(r.operatorCode) > 12)
      fuzz::fault("an operator code out of shape");
  } catch (const ServiceError &e) {
    if (e.code() != ErrorCode::InvalidArgument) fuzz::fault("refused with another code");
  }

  static Dispatcher dispatcher(fuzz::demoStore());
  const Answer answer = dispatcher.signIn(body, "fuzz", 1);
  if (answer.status != 200 && answer.status != 400 && answer.status != 401 && answer.status != 429)
    fuzz::fault("unexpected status");
  try {
    const CallEnvelope read = readCallEnvelope(answer.body);
    if (read.failed == (answer.status == 200)) fuzz::fault("the answer is neither a session nor an error");
    if (answer.status == 200 && !read.members.count("session")) fuzz::fault("a sign-in without its session");
  } catch (const EConvertError &) {
    fuzz::fault("the answer is not JSON");
  }
  return 0;
}
