// Packets and deltas as a desktop sends them. The reader refuses a text with a reason or reads a
// value that, written again, reads back the same, alone or as the argument of a call; a packet it
// accepts is applied as a delta of each table to the demo database (then rolled back), which must
// save it or refuse it with a reason, never fail otherwise.
#include <cstdint>
#include <optional>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"
#include "server/errors.h"
#include "server/methods/delta_writer.h"
#include "server/methods/param_fat_cli.h"
#include "tests/fuzz/fuzz_database.h"

using namespace kdr;
using namespace kdr::server;

namespace {

std::optional<Variant> decode(std::string_view text) {
  try {
    return variantFromJsonText(text);
  } catch (const EConvertError &) {
    return std::nullopt;
  }
}

Variant asArgument(std::string_view text) {
  return readCallEnvelope("{\"args\":[" + std::string(text) + "]}").args.value().array().at(0);
}

void apply(const DeltaTable &table, const DataPacket &delta) {
  auto session = fuzz::demoStore().session();
  Transaction tx(*session, Transaction::Mode::Write);
  try {
    applyDelta(*session, table, delta);
  } catch (const ServiceError &e) {
    if (e.code() == ErrorCode::Internal) fuzz::fault("internal error applying a delta");
  } catch (const EngineError &e) {
    // Constraints of the schema the rules do not check first (a key the database refuses).
    if (e.kind() != EngineError::Kind::Constraint && e.kind() != EngineError::Kind::Duplicate)
      fuzz::fault("database error applying a delta");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  const std::optional<Variant> read = decode(text);
  if (!read) return 0;
  const std::string written = variantToJsonText(*read);
  if (!(variantFromJsonText(written) == *read)) fuzz::fault("written again, the value read back otherwise");
  if (!(asArgument(text) == *read)) fuzz::fault("as the argument of a call, the value read otherwise");
  if (read->isPacket()) {
    apply(rdmParamFatCli::parClieKdr(), *read->packet());
    apply(rdmParamFatCli::parEmpKdr(), *read->packet());
  }
  return 0;
}
