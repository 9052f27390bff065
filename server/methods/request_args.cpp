#include "server/methods/request_args.h"

#include "platform/data/packet_reader.h"
#include "platform/rtl/datapacket.h"
#include "platform/rtl/utf8.h"
#include "server/errors.h"

namespace kdr::server {
namespace {

bool holdsNul(const Variant &v) {
  switch (v.kind()) {
  case Variant::Kind::String:
    return v.str().find('\0') != std::string::npos;
  case Variant::Kind::Array:
    for (const Variant &item : v.array())
      if (holdsNul(item)) return true;
    return false;
  case Variant::Kind::Packet:
    for (const FieldDef &f : v.packet()->fields)
      if (f.name.find('\0') != std::string::npos) return true;
    for (const PacketRow &row : v.packet()->rows)
      for (const Variant &value : row.values)
        if (holdsNul(value)) return true;
    return false;
  default:
    return false;
  }
}

} // namespace

std::vector<Variant> decodeArgs(std::string_view body) {
  if (!utf8::isValid(body)) refuse("Pedido inválido: o corpo não está em UTF-8.");
  CallEnvelope call;
  try {
    call = readCallEnvelope(body);
  } catch (const EDuplicateJsonKey &e) {
    refuse("Pedido inválido: a chave \"" + quoted(e.key()) + "\" aparece mais de uma vez no mesmo objeto.");
  } catch (const EInvalidJson &) {
    refuse("Pedido inválido: o corpo não é um objeto JSON.");
  }
  if (!call.object) refuse("Pedido inválido: o corpo não é um objeto JSON.");
  if (!call.args || !call.args->isArray()) refuse("Pedido inválido: falta a lista \"args\".");
  std::vector<Variant> out = std::move(call.args->array());
  for (const Variant &a : out)
    if (holdsNul(a)) refuse("Pedido inválido: um texto traz o caractere nulo (\\u0000).");
  return out;
}

} // namespace kdr::server
