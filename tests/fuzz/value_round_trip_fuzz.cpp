// Values written and read back: every value the fuzzer makes goes out as JSON and comes back
// alone and as the result of a call, and into a SQLite column and back, unchanged (a double to the bit; NaN,
// which JSON cannot carry, as null; the database refuses NaN and text with a NUL).
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstring>

#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/utf8.h"
#include "server/errors.h"
#include "server/store/session.h"
#include "tests/fuzz/fuzz_database.h"

using namespace kdr;
using namespace kdr::server;

namespace {

std::string text(FuzzedDataProvider &in) {
  std::string out;
  const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 40);
  for (std::size_t i = 0; i < n && in.remaining_bytes(); ++i) {
    char32_t cp = in.ConsumeIntegralInRange<char32_t>(0, 0x10FFFF);
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD; // no text holds half of a surrogate pair
    utf8::append(out, cp);
  }
  return out;
}

Variant value(FuzzedDataProvider &in) {
  switch (in.ConsumeIntegralInRange(0, 4)) {
  case 0:
    return in.ConsumeFloatingPoint<double>();
  case 1: {
    double d;
    const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  case 2:
    return Variant(in.ConsumeIntegral<std::int64_t>());
  case 3:
    return text(in);
  default:
    return nullptr;
  }
}

// As JSON carries it: NaN becomes null.
Variant expected(const Variant &v) {
  return v.kind() == Variant::Kind::Float && std::isnan(v.asFloat()) ? Variant(nullptr) : v;
}

bool same(const Variant &a, const Variant &b) {
  if (a.kind() != b.kind()) return false;
  if (a.kind() != Variant::Kind::Float) return a == b;
  const double x = a.asFloat(), y = b.asFloat();
  return std::memcmp(&x, &y, sizeof x) == 0;
}

void checkJson(const Variant &v) {
  const std::string written = variantToJsonText(v);
  if (!same(variantFromJsonText(written), expected(v))) fuzz::fault("the reader read another value");
  if (!same(readCallEnvelope("{\"result\":" + written + "}").result.value(), expected(v)))
    fuzz::fault("the answer of a call read another value");
}

// The database refuses what it could not give back unchanged: a NaN, and text with a NUL, which
// SQL functions would cut.
void checkStore(const Variant &v) {
  const bool refusable = !same(expected(v), v) || (v.isString() && v.str().find('\0') != std::string::npos);
  auto session = fuzz::demoStore().session();
  session->executeScript("CREATE TEMP TABLE IF NOT EXISTS KDR_FUZZ (V)");
  Transaction tx(*session, Transaction::Mode::Write);
  try {
    session->execute("INSERT INTO KDR_FUZZ (V) VALUES (?)", {v});
  } catch (const EngineError &) {
    if (!refusable) fuzz::fault("the database refused a value it can hold");
    return;
  }
  if (refusable) fuzz::fault("the database took a value it cannot give back");
  Rows back = session->query("SELECT V FROM KDR_FUZZ");
  session->execute("DELETE FROM KDR_FUZZ");
  tx.commit();
  if (back.size() != 1 || !same(back[0][0], v)) fuzz::fault("the database gave back another value");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  DataPacket packet;
  packet.fields = {{"VALOR", FieldType::Float, 0, false}, {"TEXTO", FieldType::String, 0, false}};
  while (in.remaining_bytes()) {
    const Variant v = value(in);
    checkJson(v);
    checkStore(v);
    if (v.kind() == Variant::Kind::Float || v.isNull())
      packet.rows.push_back({RowStatus::Unmodified, {expected(v), Variant(text(in))}});
  }
  checkJson(makePacketVariant(packet));
  return 0;
}
