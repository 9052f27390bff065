// Packets and deltas as a desktop sends them. The streaming reader and the document decoder must
// accept and refuse the same texts and agree on what they read; a packet they accept is applied
// as a delta of each table to the demo database (then rolled back), which must save it or refuse
// it with a reason, never fail otherwise.
#include <cstdint>
#include <optional>

#include "platform/data/json_document.h"
#include "platform/data/packet_json.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/exceptions.h"
#include "server/delta_writer.h"
#include "server/errors.h"
#include "server/param_fat_cli.h"
#include "tests/fuzz/fuzz_database.h"

using namespace kdr;
using namespace kdr::server;

namespace {

std::optional<Variant> decode(Variant (*reader)(std::string_view), std::string_view text) {
  try {
    return reader(text);
  } catch (const EConvertError &) {
    return std::nullopt;
  }
}

Variant viaDocument(std::string_view text) { return variantFromJson(parseJsonDocument(text)); }

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
  const std::optional<Variant> streamed = decode(variantFromJsonText, text);
  const std::optional<Variant> document = decode(viaDocument, text);
  if (streamed.has_value() != document.has_value()) fuzz::fault("the two decoders disagree on accepting");
  if (!streamed) return 0;
  if (!(*streamed == *document)) fuzz::fault("the two decoders read different values");
  if (streamed->isPacket()) {
    apply(rdmParamFatCli::parClieKdr(), *streamed->packet());
    apply(rdmParamFatCli::parEmpKdr(), *streamed->packet());
  }
  return 0;
}
