// Request bodies as anyone may send them, to every reading method: the arguments are decoded or
// refused with a reason, and the answer is always well-formed JSON with a status the wire names;
// an internal error is a fault. The first byte chooses the method.
#include <array>
#include <cstdint>
#include <string_view>

#include "platform/data/packet_reader.h"
#include "platform/rtl/exceptions.h"
#include "server/errors.h"
#include "server/methods/dispatch.h"
#include "server/methods/request_args.h"
#include "tests/fuzz/fuzz_database.h"

using namespace kdr;
using namespace kdr::server;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) return 0;
  constexpr std::array<std::pair<std::string_view, std::string_view>, 6> methods{{
      {"KDR03020.rdmParamFatCli", "GetCliente"},
      {"KDR03020.rdmParamFatCli", "GetParamFatCli"},
      {"KDR03020.rdmParamFatCli", "GetDescPadrao"},
      {"KDR03020.rdmParamFatCli", "GetTipoDeServico"},
      {"KDR03020.rdmParamFatCli", "GetParEmpKdr"},
      {"KDR.rdmCache", "GetTable"},
  }};
  const auto &[module, method] = methods[data[0] % methods.size()];
  const std::string_view body(reinterpret_cast<const char *>(data + 1), size - 1);

  try {
    decodeArgs(body);
  } catch (const ServiceError &e) {
    if (e.code() != ErrorCode::InvalidArgument) fuzz::fault("decodeArgs refused with another code");
  } catch (const EConvertError &) {
  }

  static Dispatcher dispatcher(fuzz::demoStore());
  // Signed in once, as the demo supervisor, so that every input reaches its method.
  static const std::string key = [] {
    const Answer in = dispatcher.signIn(R"({"operator":"supervisor","password":"supervisor"})", "fuzz", 0);
    return readCallEnvelope(in.body).members.at("session").str();
  }();
  const Answer answer = dispatcher.call(module, method, body, 1, Credentials{key, false});
  if (answer.status != 200 && answer.status != 400 && answer.status != 404) fuzz::fault("unexpected status");
  try {
    const CallEnvelope read = readCallEnvelope(answer.body);
    if (read.failed == (answer.status == 200) || read.failed == read.result.has_value())
      fuzz::fault("the answer is neither a result nor an error");
  } catch (const EConvertError &) {
    fuzz::fault("the answer is not JSON");
  }
  return 0;
}
