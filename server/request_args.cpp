#include "server/request_args.h"

#include <boost/json.hpp>

#include "platform/data/json_document.h"
#include "platform/data/packet_json.h"
#include "platform/data/packet_reader.h"
#include "platform/rtl/datapacket.h"
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
  boost::json::value doc;
  try {
    doc = parseJsonDocument(body);
  } catch (const EDuplicateJsonKey &e) {
    refuse("Pedido inválido: a chave \"" + quoted(e.key()) + "\" aparece mais de uma vez no mesmo objeto.");
  } catch (const EConvertError &) {
    refuse("Pedido inválido: o corpo não é um objeto JSON.");
  }
  if (!doc.is_object()) refuse("Pedido inválido: o corpo não é um objeto JSON.");
  const boost::json::value *args = doc.as_object().if_contains("args");
  if (!args || !args->is_array()) refuse("Pedido inválido: falta a lista \"args\".");
  std::vector<Variant> out;
  for (const boost::json::value &a : args->as_array()) {
    out.push_back(variantFromJson(a));
    if (holdsNul(out.back())) refuse("Pedido inválido: um texto traz o caractere nulo (\\u0000).");
  }
  return out;
}

} // namespace kdr::server
